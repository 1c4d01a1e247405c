#pragma once

#include "serialdeviceinfo_p.h"

#include <QString>

#include <memory>

class SerialDeviceEnumerator;
class SerialDeviceEnumeratorEngine;

class SerialDeviceEnumeratorPrivate
{
public:
    SerialDeviceEnumeratorPrivate(SerialDeviceEnumerator *owner,
                                  SerialDeviceEnumeratorEngine *platform);
    ~SerialDeviceEnumeratorPrivate();

    // Enumerates; a set that differs from the stored one replaces it and is announced.
    void processWatcher();

    SerialDeviceMap devices;
    QString selectedName;
    SerialDeviceInfo selected;
    std::unique_ptr<SerialDeviceEnumeratorEngine> engine;
    SerialDeviceEnumerator *q;
};
