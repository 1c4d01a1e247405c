#include "networkserialnotifier.h"

#include "networkserialengine.h"
#include "networkserialengine_p.h"

#include <QPointer>

NetworkSerialNotifier::NetworkSerialNotifier(NetworkSerialEngine *owner,
                                             NetworkSerialEnginePrivate *ownerState)
    : QObject(owner)
    , engine(owner)
    , state(ownerState)
{}

void NetworkSerialNotifier::setReadNotificationEnabled(bool enable)
{
    const bool rearm = enable && !readEnabled;
    readEnabled = enable;
    // Bytes that came while reads were off are told now, as a re-armed watch would.
    if (rearm && !state->received.isEmpty())
        dataArrived(true);
}

void NetworkSerialNotifier::setWriteNotificationEnabled(bool enable)
{
    writeEnabled = enable;
    // The socket takes every write at once, so the handler runs straight away.
    if (enable)
        deliverWrite(this, engine);
}

void NetworkSerialNotifier::dataArrived(bool later)
{
    if (!later) {
        if (readEnabled)
            engine->readNotification();
        return;
    }
    if (arrivalPosted)
        return;
    arrivalPosted = true;
    QMetaObject::invokeMethod(this, &NetworkSerialNotifier::deliverArrival, Qt::QueuedConnection);
}

void NetworkSerialNotifier::deliverArrival()
{
    arrivalPosted = false;
    if (readEnabled && !state->received.isEmpty())
        engine->readNotification();
}

void NetworkSerialNotifier::linesChanged()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (lineEnabled)
                engine->lineNotification();
        },
        Qt::QueuedConnection);
}

void NetworkSerialNotifier::lineError()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (exceptionEnabled)
                engine->exceptionNotification();
        },
        Qt::QueuedConnection);
}
