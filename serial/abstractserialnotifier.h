#pragma once

#include "abstractserialengine.h"

#include <QPointer>

// Watches an open port from the event loop and calls the engine's notification
// slots. Owned and deleted as its concrete type by the engine that made it.
class AbstractSerialNotifier
{
public:
    virtual bool isReadNotificationEnabled() const = 0;
    virtual void setReadNotificationEnabled(bool enable) = 0;
    virtual bool isWriteNotificationEnabled() const = 0;
    virtual void setWriteNotificationEnabled(bool enable) = 0;
    virtual bool isExceptionNotificationEnabled() const = 0;
    virtual void setExceptionNotificationEnabled(bool enable) = 0;
    virtual bool isLineNotificationEnabled() const = 0;
    virtual void setLineNotificationEnabled(bool enable) = 0;

protected:
    ~AbstractSerialNotifier() = default;

    // Switching writes on hands buffered output over at once. The handler switches writes
    // on again while output remains; that nested request is served by this loop instead of
    // recursing once per block. `self` is this notifier, which a handler may delete.
    void deliverWrite(QObject *self, AbstractSerialEngine *engine)
    {
        if (deliveringWrite) {
            writePending = true;
            return;
        }
        QPointer<QObject> alive(self);
        deliveringWrite = true;
        do {
            writePending = false;
            engine->writeNotification();
        } while (alive && writePending && isWriteNotificationEnabled());
        if (alive)
            deliveringWrite = false;
    }

private:
    bool deliveringWrite = false;
    bool writePending = false;
};
