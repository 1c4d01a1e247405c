#include "nativeserialnotifier.h"

#include "nativeserialengine.h"
#include "nativeserialengine_p.h"

#include <QPointer>

#include <utility>

#ifdef GRELVIX_WIN32_STANDIN
namespace Win32StandIn {
#endif

namespace {
constexpr DWORD readBits = EV_RXCHAR;
constexpr DWORD writeBits = EV_TXEMPTY;
constexpr DWORD exceptionBits = EV_ERR;
constexpr DWORD lineBits = EV_CTS | EV_DSR | EV_RING;
} // namespace

NativeSerialNotifier::NativeSerialNotifier(NativeSerialEngine *owner,
                                           NativeSerialEnginePrivate *ownerState)
    : QWinEventNotifier(owner)
    , engine(owner)
    , state(ownerState)
{
    overlapped.hEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    setHandle(overlapped.hEvent);
    connect(this, &QWinEventNotifier::activated, this, &NativeSerialNotifier::onActivated);
}

NativeSerialNotifier::~NativeSerialNotifier()
{
    setEnabled(false);
    endWait(0);
    if (overlapped.hEvent)
        ::CloseHandle(overlapped.hEvent);
}

// One wait at a time, and none left behind: a new mask ends the pending wait (at once on
// Windows, shortly after from another thread under Wine, which cannot cancel it otherwise),
// and its end is awaited here with the event unwatched, so that nothing writes into the
// record or the event word later. Returns the events it ended with.
DWORD NativeSerialNotifier::endWait(DWORD mask)
{
    ::SetCommMask(state->handle(), mask);
    state->cancelPending(&overlapped);
    const DWORD events = waiting ? eventWord : 0;
    waiting = false;
    return events;
}

void NativeSerialNotifier::pause()
{
    if (paused || !isEnabled())
        return;
    setEnabled(false);
    missed |= endWait(0);
    paused = true;
}

void NativeSerialNotifier::resume()
{
    if (!paused)
        return;
    paused = false;
    update();
}

bool NativeSerialNotifier::hasAny(DWORD bits) const
{
    return (isEnabled() || paused) && (wantedMask & bits);
}

void NativeSerialNotifier::setBits(DWORD bits, bool enable)
{
    wantedMask = enable ? (wantedMask | bits) : (wantedMask & ~bits);
    update();
}

void NativeSerialNotifier::update()
{
    if (paused)
        return;
    DWORD mask = wantedMask;
    if (mask & lineBits) {
        // A port that cannot report its modem lines (a pseudo-terminal under Wine) refuses every
        // wait that asks for line changes, which would leave the other kinds unwatched for good.
        if (linesReadable < 0) {
            DWORD status = 0;
            linesReadable = ::GetCommModemStatus(state->handle(), &status) ? 1 : 0;
        }
        if (!linesReadable)
            mask &= ~lineBits;
    }
    if (isEnabled())
        setEnabled(false);
    missed |= endWait(mask);
    activeMask = mask;
    if (!wantedMask)
        return;
    rearm();
    setEnabled(true);
    // Events the ended wait had caught just before are delivered from the event loop.
    if (missed & wantedMask)
        QMetaObject::invokeMethod(this, &NativeSerialNotifier::deliverMissed, Qt::QueuedConnection);
}

void NativeSerialNotifier::rearm()
{
    if (waiting || !activeMask)
        return;
    for (int attempt = 0;; ++attempt) {
        eventWord = 0;
        if (::WaitCommEvent(state->handle(), &eventWord, &overlapped)) {
            waiting = true;
            return;
        }
        // Under Wine a wait that has just ended counts as running for a moment longer; one
        // that still counts after the retries is left to end (and to be waited for) later.
        const DWORD error = ::GetLastError();
        waiting = error == ERROR_IO_PENDING || error == ERROR_INVALID_PARAMETER;
        if (error != ERROR_INVALID_PARAMETER || attempt == busyRetries)
            return;
        ::Sleep(1);
    }
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
        deliverWrite(this, engine);
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

void NativeSerialNotifier::onActivated()
{
    waiting = false;
    dispatch(eventWord | std::exchange(missed, 0));
}

void NativeSerialNotifier::deliverMissed()
{
    if (missed && isEnabled())
        dispatch(std::exchange(missed, 0));
}

void NativeSerialNotifier::dispatch(DWORD events)
{
    // A handler may switch kinds off or close the port (and so delete this notifier).
    QPointer<NativeSerialNotifier> self(this);
    if (events & wantedMask & readBits) {
        engine->readNotification();
        if (!self)
            return;
    }
    if (events & wantedMask & writeBits) {
        deliverWrite(this, engine);
        if (!self)
            return;
    }
    if (events & wantedMask & exceptionBits) {
        engine->exceptionNotification();
        if (!self)
            return;
    }
    if (events & wantedMask & lineBits) {
        engine->lineNotification();
        if (!self)
            return;
    }
    if (wantedMask && !paused)
        rearm();
}

#ifdef GRELVIX_WIN32_STANDIN
} // namespace Win32StandIn
#endif
