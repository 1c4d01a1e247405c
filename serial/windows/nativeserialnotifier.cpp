#include "nativeserialnotifier.h"

#include "nativeserialengine.h"
#include "nativeserialengine_p.h"

#include <QPointer>

#ifdef GRELVIX_WIN32_STANDIN
namespace Win32StandIn {
#endif

namespace {
constexpr DWORD readBits = EV_RXCHAR;
constexpr DWORD writeBits = EV_TXEMPTY;
constexpr DWORD exceptionBits = EV_ERR;
constexpr DWORD lineBits = EV_CTS | EV_DSR | EV_RING;
} // namespace

NativeSerialNotifier::NativeSerialNotifier(NativeSerialEngine *engine,
                                           NativeSerialEnginePrivate *state)
    : QWinEventNotifier(engine)
    , engine(engine)
    , state(state)
{
    overlapped.hEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    setHandle(overlapped.hEvent);
    connect(this, &QWinEventNotifier::activated, this, &NativeSerialNotifier::onActivated);
}

NativeSerialNotifier::~NativeSerialNotifier()
{
    // Stop watching the event first, so that the end of the cancelled wait is seen here.
    setEnabled(false);
    state->cancelPending(&overlapped);
    if (overlapped.hEvent)
        ::CloseHandle(overlapped.hEvent);
}

bool NativeSerialNotifier::hasAny(DWORD bits) const
{
    return isEnabled() && (wantedMask & bits);
}

void NativeSerialNotifier::setBits(DWORD bits, bool enable)
{
    wantedMask = enable ? (wantedMask | bits) : (wantedMask & ~bits);
    update();
}

// Setting the mask ends a pending wait (with an empty event word); a new one starts at once.
void NativeSerialNotifier::update()
{
    ::SetCommMask(state->handle(), wantedMask);
    if (wantedMask) {
        rearm();
        if (!isEnabled())
            setEnabled(true);
    } else if (isEnabled()) {
        setEnabled(false);
    }
}

void NativeSerialNotifier::rearm()
{
    ::WaitCommEvent(state->handle(), &eventWord, &overlapped);
}

bool NativeSerialNotifier::isReadNotificationEnabled() const
{
    return hasAny(readBits);
}

void NativeSerialNotifier::setReadNotificationEnabled(bool enable)
{
    setBits(readBits, enable);
}

bool NativeSerialNotifier::isWriteNotificationEnabled() const
{
    return hasAny(writeBits);
}

void NativeSerialNotifier::setWriteNotificationEnabled(bool enable)
{
    QPointer<NativeSerialNotifier> self(this);
    setBits(writeBits, enable);
    if (enable && self)
        deliverWrite();
}

bool NativeSerialNotifier::isExceptionNotificationEnabled() const
{
    return hasAny(exceptionBits);
}

void NativeSerialNotifier::setExceptionNotificationEnabled(bool enable)
{
    setBits(exceptionBits, enable);
}

bool NativeSerialNotifier::isLineNotificationEnabled() const
{
    return hasAny(lineBits);
}

void NativeSerialNotifier::setLineNotificationEnabled(bool enable)
{
    setBits(lineBits, enable);
}

// Switching writes on hands buffered output over at once. The handler switches writes on
// again while output remains; that nested request is served by this loop instead of
// recursing once per block.
void NativeSerialNotifier::deliverWrite()
{
    if (deliveringWrite) {
        writePending = true;
        return;
    }
    QPointer<NativeSerialNotifier> self(this);
    deliveringWrite = true;
    do {
        writePending = false;
        engine->writeNotification();
    } while (self && writePending && isWriteNotificationEnabled());
    if (self)
        deliveringWrite = false;
}

void NativeSerialNotifier::onActivated()
{
    // A handler may switch kinds off or close the port (and so delete this notifier).
    QPointer<NativeSerialNotifier> self(this);
    if (eventWord & wantedMask & readBits) {
        engine->readNotification();
        if (!self)
            return;
    }
    if (eventWord & wantedMask & writeBits) {
        deliverWrite();
        if (!self)
            return;
    }
    if (eventWord & wantedMask & exceptionBits) {
        engine->exceptionNotification();
        if (!self)
            return;
    }
    eventWord &= lineBits;
    if (eventWord & wantedMask) {
        engine->lineNotification();
        if (!self)
            return;
    }
    if (wantedMask)
        rearm();
}

#ifdef GRELVIX_WIN32_STANDIN
} // namespace Win32StandIn
#endif
