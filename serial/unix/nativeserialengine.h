#pragma once

#include "nativeserialenginebase_p.h"

class NativeSerialEnginePrivate;

// The engine for Linux: termios on a tty node, watched from the event loop.
class NativeSerialEngine : public NativeSerialEngineBase<NativeSerialEnginePrivate>
{
    Q_OBJECT

public:
    explicit NativeSerialEngine(QObject *parent = nullptr);
    ~NativeSerialEngine() override;

    // The port went away while open (adapter unplugged, other side of a
    // pseudo-terminal closed); the engine is waiting for it to come back.
    bool isPortLost() const override;
    // The file the device name stands for: "ttyUSB0" is /dev/ttyUSB0 and
    // "COM3" is /dev/ttyS2; a name with a slash is a path already.
    static QString portPath(const QString &deviceName);
};
