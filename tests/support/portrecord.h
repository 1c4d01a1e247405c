#pragma once

#include "serialdeviceenumerator.h"

// Every field of the enumerator's selected port, in the order of its getters.
inline QStringList portRecord(const SerialDeviceEnumerator &ports)
{
    return {ports.name(),
            ports.bus(),
            ports.description(),
            ports.friendlyName(),
            ports.hardwareID().join(QLatin1Char(',')),
            ports.locationInfo(),
            ports.manufacturer(),
            ports.deviceClass(),
            ports.service(),
            ports.driver(),
            ports.physicalObjectName(),
            ports.vendorID(),
            ports.productID()};
}
