#pragma once

#include "serialdeviceinfo_p.h"

#include <QObject>

// What a platform does for SerialDeviceEnumerator: list the ports, watch for changes, try a
// port. changed() asks the enumerator to enumerate again.
class SerialDeviceEnumeratorEngine : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual SerialDeviceMap enumerate() = 0;
    // Returns whether watching is on afterwards: false where the system reports no changes.
    virtual bool setWatching(bool enable) = 0;
    virtual bool isWatching() const = 0;
    // Called after every enumeration while watching: a watch that fires once is set again.
    virtual void rearm() {}
    // Whether an exclusive open of the port fails.
    virtual bool isInUse(const QString &name) = 0;

Q_SIGNALS:
    void changed();
};

// The engine for this system; nullptr where there is none.
SerialDeviceEnumeratorEngine *createSerialDeviceEnumeratorEngine();
