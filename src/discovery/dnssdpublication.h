#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

// One announcement handed to the responder. withdraw() or destroying it takes the announcement
// off the network at once. Results arrive as signals on the event loop, never from inside start().
class DnsSdPublication : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // TXT strings ("key=value") announced with the service; set before start().
    void setTextRecords(const QList<QByteArray> &records) { m_textRecords = records; }
    const QList<QByteArray> &textRecords() const { return m_textRecords; }

    virtual void start() = 0;
    // Takes the announcement off the network now; no signal follows.
    virtual void withdraw() = 0;

signals:
    // The responder took the service and is announcing it.
    void registering();
    // The name is ours on the network.
    void established();
    // A NetServiceError code; the publication is dead afterwards and says nothing more.
    void failed(int errorCode);

private:
    QList<QByteArray> m_textRecords;
};
