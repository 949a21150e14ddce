#pragma once

#include <QObject>

#include <memory>

// Measures how responsive the event loop is: a timer every 10 ms notes by how much it came late.
// The worst lateness is the longest time the thread did something else in one go.
class StallProbe : public QObject
{
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 10;

    explicit StallProbe(QObject *parent = nullptr);
    ~StallProbe() override;

    // The worst lateness since the start or the last reset, in milliseconds.
    qint64 worstMs() const;
    void reset();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
