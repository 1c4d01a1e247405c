#pragma once

#include "abstractserialnotifier.h"

#include <QObject>

class NativeSerialEngine;
class NativeSerialEnginePrivate;
class QSocketNotifier;
class QTimer;

// Watches a tty through an edge-triggered epoll set, so that like a Windows
// port it reports new arrivals and drained output once each instead of
// "still readable" on every pass of the event loop. Modem lines have no event
// on Linux short of a blocking ioctl, so they are polled while watched.
class NativeSerialNotifier : public QObject, public AbstractSerialNotifier
{
    Q_OBJECT

public:
    static constexpr int linePollMsecs = 100;

    NativeSerialNotifier(NativeSerialEngine *engine, NativeSerialEnginePrivate *state);
    ~NativeSerialNotifier() override;

    // Starts or stops watching a descriptor; the enabled kinds are kept.
    void attach(int descriptor);
    void detach();

    bool isReadNotificationEnabled() const override;
    void setReadNotificationEnabled(bool enable) override;
    bool isWriteNotificationEnabled() const override;
    void setWriteNotificationEnabled(bool enable) override;
    bool isExceptionNotificationEnabled() const override;
    void setExceptionNotificationEnabled(bool enable) override;
    bool isLineNotificationEnabled() const override;
    void setLineNotificationEnabled(bool enable) override;

private:
    void update(bool rearm);
    void onActivated();
    void pollLines();

    NativeSerialEngine *engine;
    NativeSerialEnginePrivate *state;
    int epollFd = -1;
    int descriptor = -1;
    bool registered = false;
    unsigned registeredEvents = 0;
    QSocketNotifier *socketNotifier = nullptr;
    QTimer *lineTimer = nullptr;
    bool readEnabled = false;
    bool writeEnabled = false;
    bool exceptionEnabled = false;
    bool lineEnabled = false;
    bool linesReadable = false;
    int lastLines = 0;
};
