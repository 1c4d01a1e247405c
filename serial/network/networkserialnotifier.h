#pragma once

#include "abstractserialnotifier.h"

#include <QObject>

class NetworkSerialEngine;
class NetworkSerialEnginePrivate;

// Turns what the connection brings into the engine's notifications. Arrivals are told once
// each, like the Linux notifier's edge-triggered watch; line changes and line errors always
// from the event loop, never from inside the call that read them.
class NetworkSerialNotifier final : public QObject, public AbstractSerialNotifier
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NetworkSerialNotifier)

public:
    NetworkSerialNotifier(NetworkSerialEngine *engine, NetworkSerialEnginePrivate *state);

    bool isReadNotificationEnabled() const override { return readEnabled; }
    void setReadNotificationEnabled(bool enable) override;
    bool isWriteNotificationEnabled() const override { return writeEnabled; }
    void setWriteNotificationEnabled(bool enable) override;
    bool isExceptionNotificationEnabled() const override { return exceptionEnabled; }
    void setExceptionNotificationEnabled(bool enable) override { exceptionEnabled = enable; }
    bool isLineNotificationEnabled() const override { return lineEnabled; }
    void setLineNotificationEnabled(bool enable) override { lineEnabled = enable; }

    // New bytes are waiting; `later` while a call of the engine waits on the socket.
    void dataArrived(bool later);
    void linesChanged();
    void lineError();

private:
    void deliverArrival();

    NetworkSerialEngine *engine;
    NetworkSerialEnginePrivate *state;
    bool readEnabled = false;
    bool writeEnabled = false;
    bool exceptionEnabled = false;
    bool lineEnabled = false;
    bool arrivalPosted = false;
};
