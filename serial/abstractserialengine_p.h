#pragma once

#include "abstractserial.h"

#include <QString>
#include <QtGlobal>

class AbstractSerialEngineReceiver;

// State every engine keeps; a platform engine extends it with its own fields.
class AbstractSerialEnginePrivate
{
public:
    virtual ~AbstractSerialEnginePrivate() = default;

    QString deviceName;
    int inputBaudRate = 9600;
    int outputBaudRate = 9600;
    AbstractSerial::DataBits dataBitsValue = AbstractSerial::DataBits8;
    AbstractSerial::Parity parityValue = AbstractSerial::ParityNone;
    AbstractSerial::StopBits stopBitsValue = AbstractSerial::StopBits1;
    AbstractSerial::Flow flowValue = AbstractSerial::FlowControlOff;
    int charIntervalValue = 0;
    bool settingsSaved = false;
    // A file descriptor or a Windows handle; -1 is invalid for both.
    qintptr descriptor = -1;
    AbstractSerialEngineReceiver *receiver = nullptr;
    bool autoTotalReadConstant = false;
};
