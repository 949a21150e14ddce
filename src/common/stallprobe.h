#pragma once

#include <QObject>

#include <memory>

// Measures how late the event loop runs a short repeating timer: the longest gap between two
// ticks beyond the interval is the longest time the loop could not react (a stall). Used by
// `zorbix-cli serve` when ZORBIX_STALL_PROBE holds an interval in milliseconds, and by the
// desktop's start-up report.
class StallProbe : public QObject
{
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 10;

    explicit StallProbe(int intervalMs = kIntervalMs, QObject *parent = nullptr);
    ~StallProbe() override;

    // The longest lateness since the start or the last reset in milliseconds (a stall still
    // going on counts too), and the ticks counted.
    double worstMs() const;
    void reset();
    qint64 ticks() const;
    // One line for the log: "stall probe: longest stall X ms in N ticks of I ms; longest busy
    // Y ms", Y being the most CPU time the loop's thread spent between two ticks (X counts also
    // the time it waited for a core on a loaded machine).
    QString report() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
