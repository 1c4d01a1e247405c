#pragma once

#include "abstractserialnotifier.h"
#include "win32.h"

#ifdef GRELVIX_WIN32_STANDIN
namespace Win32StandIn {
#endif

class NativeSerialEngine;
class NativeSerialEnginePrivate;

// Keeps one WaitCommEvent pending on the port for the kinds asked for and turns its
// completion, seen through the event of its own overlapped record, into notifications.
class NativeSerialNotifier : public QWinEventNotifier, public AbstractSerialNotifier
{
    Q_OBJECT

public:
    // How often a wait is tried again while the port still counts the last one as running.
    static constexpr int busyRetries = 20;

    NativeSerialNotifier(NativeSerialEngine *owner, NativeSerialEnginePrivate *ownerState);
    ~NativeSerialNotifier() override;

    bool isReadNotificationEnabled() const override;
    void setReadNotificationEnabled(bool enable) override;
    bool isWriteNotificationEnabled() const override;
    void setWriteNotificationEnabled(bool enable) override;
    bool isExceptionNotificationEnabled() const override;
    void setExceptionNotificationEnabled(bool enable) override;
    bool isLineNotificationEnabled() const override;
    void setLineNotificationEnabled(bool enable) override;

    // Ends the pending wait and stops watching until resume(), so that the engine can wait
    // on the port itself (a port has one WaitCommEvent at a time).
    void pause();
    void resume();

private:
    bool hasAny(DWORD bits) const;
    void setBits(DWORD bits, bool enable);
    void update();
    void rearm();
    DWORD endWait(DWORD mask);
    void onActivated();
    void deliverMissed();
    void dispatch(DWORD events);

    NativeSerialEngine *engine;
    NativeSerialEnginePrivate *state;
    OVERLAPPED overlapped = {};
    DWORD eventWord = 0;
    DWORD wantedMask = 0;
    DWORD activeMask = 0;   // what the port is asked to report
    int linesReadable = -1; // unknown until line changes are first asked for
    DWORD missed = 0;       // events of a wait that was ended to change the mask
    bool waiting = false;   // a wait of ours may still be running
    bool paused = false;
};

#ifdef GRELVIX_WIN32_STANDIN
} // namespace Win32StandIn
#endif
