#include "serialenginefactory_p.h"

#include "serialdeviceenumeratorengine_p.h"

#include <QString>
#include <QtGlobal>

#if defined(GRELVIX_SERIAL_NATIVE_ENGINE) && defined(Q_OS_WIN)
#include "windows/nativedeviceenumerator.h"
#include "windows/nativeserialengine.h"
#elif defined(GRELVIX_SERIAL_NATIVE_ENGINE)
#include "unix/nativedeviceenumerator.h"
#include "unix/nativeserialengine.h"
#endif
#if defined(GRELVIX_SERIAL_NETWORK_ENGINE)
#include "network/networkserialengine.h"
#endif

namespace {
SerialEngineCreator engineCreator = nullptr;
}

SerialEngineKind serialEngineKind(const QString &deviceName)
{
#if defined(GRELVIX_SERIAL_NETWORK_ENGINE)
    if (NetworkSerialEngine::isNetworkName(deviceName))
        return SerialEngineKind::Network;
#else
    Q_UNUSED(deviceName);
#endif
    return SerialEngineKind::Native;
}

AbstractSerialEngine *createSerialEngine(AbstractSerial *owner, SerialEngineKind kind)
{
    if (engineCreator)
        return engineCreator(owner);
#if defined(GRELVIX_SERIAL_NETWORK_ENGINE)
    if (kind == SerialEngineKind::Network)
        return new NetworkSerialEngine(owner);
#else
    Q_UNUSED(kind);
#endif
#if defined(GRELVIX_SERIAL_NATIVE_ENGINE)
    return new NativeSerialEngine(owner);
#else
    // No engine for this system: every open fails with "Error opening".
    Q_UNUSED(owner);
    return nullptr;
#endif
}

SerialEngineCreator setSerialEngineCreator(SerialEngineCreator creator)
{
    const SerialEngineCreator previous = engineCreator;
    engineCreator = creator;
    return previous;
}

SerialDeviceEnumeratorEngine *createSerialDeviceEnumeratorEngine()
{
#if defined(GRELVIX_SERIAL_NATIVE_ENGINE) && defined(Q_OS_WIN)
    return new NativeDeviceEnumerator();
#elif defined(GRELVIX_SERIAL_NATIVE_ENGINE)
    return new NativeDeviceEnumerator(NativeDeviceEnumerator::systemSource());
#else
    return nullptr;
#endif
}
