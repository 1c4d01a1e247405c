#include "wineventnotifier.h"

#include "simulatedmachine_p.h"

QWinEventNotifier::QWinEventNotifier(QObject *parent)
    : QObject(parent)
{}

QWinEventNotifier::QWinEventNotifier(HANDLE event, QObject *parent)
    : QObject(parent)
    , event(event)
{
    setEnabled(true);
}

QWinEventNotifier::~QWinEventNotifier()
{
    setEnabled(false);
}

void QWinEventNotifier::setHandle(HANDLE newEvent)
{
    setEnabled(false);
    event = newEvent;
}

HANDLE QWinEventNotifier::handle() const
{
    return event;
}

bool QWinEventNotifier::isEnabled() const
{
    return enabled;
}

void QWinEventNotifier::setEnabled(bool enable)
{
    if (enable == enabled || !event)
        return;
    enabled = enable;
    if (enable) {
        Win32StandIn::Machine::watch(event, this);
        signalled(); // it may be signalled already
    } else {
        Win32StandIn::Machine::unwatch(event, this);
    }
}

void QWinEventNotifier::signalled()
{
    QMetaObject::invokeMethod(this, &QWinEventNotifier::deliver, Qt::QueuedConnection);
}

void QWinEventNotifier::deliver()
{
    if (enabled && Win32StandIn::Machine::takeSignal(event))
        emit activated(event);
}
