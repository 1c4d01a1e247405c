#pragma once

#include "serialdeviceenumeratorengine_p.h"
#include "win32setupapi.h"

#ifdef GRELVIX_WIN32_STANDIN
namespace Win32StandIn {
#endif

// Ports on Windows: the port, multiport and modem classes of SetupAPI, watched through a
// registry notification on the services key, which changes whenever a driver gains or loses
// a device.
class NativeDeviceEnumerator : public SerialDeviceEnumeratorEngine
{
    Q_OBJECT

public:
    NativeDeviceEnumerator();
    ~NativeDeviceEnumerator() override;

    SerialDeviceMap enumerate() override;
    bool setWatching(bool enable) override;
    bool isWatching() const override;
    void rearm() override;
    bool isInUse(const QString &name) override;

private:
    HANDLE eventHandle = nullptr;
    HKEY servicesKey = nullptr;
    QWinEventNotifier *notifier = nullptr;
    bool armed = false;
};

#ifdef GRELVIX_WIN32_STANDIN
} // namespace Win32StandIn
#endif
