#include "wineventnotifier.h"

#include "simulatedmachine_p.h"

QWinEventNotifier::QWinEventNotifier(QObject *parent)
    : QObject(parent)
{}

QWinEventNotifier::QWinEventNotifier(HANDLE hEvent, QObject *parent)
    : QObject(parent)
    , eventHandle(hEvent)
{
    setEnabled(true);
}

QWinEventNotifier::~QWinEventNotifier()
{
    setEnabled(false);
}

void QWinEventNotifier::setHandle(HANDLE hEvent)
{
    setEnabled(false);
    eventHandle = hEvent;
}

HANDLE QWinEventNotifier::handle() const
{
    return eventHandle;
}

bool QWinEventNotifier::isEnabled() const
{
    return enabled;
}

void QWinEventNotifier::setEnabled(bool enable)
{
    if (enable == enabled || !eventHandle)
        return;
    enabled = enable;
    if (enable) {
        Win32StandIn::Machine::watch(eventHandle, this);
        signalled(); // it may be signalled already
    } else {
        Win32StandIn::Machine::unwatch(eventHandle, this);
    }
}

void QWinEventNotifier::signalled()
{
    QMetaObject::invokeMethod(this, &QWinEventNotifier::deliver, Qt::QueuedConnection);
}

void QWinEventNotifier::deliver()
{
    if (enabled && Win32StandIn::Machine::takeSignal(eventHandle))
        emit activated(eventHandle);
}
