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
    NativeSerialNotifier(NativeSerialEngine *engine, NativeSerialEnginePrivate *state);
    ~NativeSerialNotifier() override;

    bool isReadNotificationEnabled() const override;
    void setReadNotificationEnabled(bool enable) override;
    bool isWriteNotificationEnabled() const override;
    void setWriteNotificationEnabled(bool enable) override;
    bool isExceptionNotificationEnabled() const override;
    void setExceptionNotificationEnabled(bool enable) override;
    bool isLineNotificationEnabled() const override;
    void setLineNotificationEnabled(bool enable) override;

private:
    bool hasAny(DWORD bits) const;
    void setBits(DWORD bits, bool enable);
    void update();
    void rearm();
    void onActivated();
    void deliverWrite();

    NativeSerialEngine *engine;
    NativeSerialEnginePrivate *state;
    OVERLAPPED overlapped = {};
    DWORD eventWord = 0;
    DWORD wantedMask = 0;
    bool deliveringWrite = false;
    bool writePending = false;
};

#ifdef GRELVIX_WIN32_STANDIN
} // namespace Win32StandIn
#endif
