#include "serialdeviceenumerator.h"

#include "serialdeviceenumerator_p.h"
#include "serialdeviceenumeratorengine_p.h"

SerialDeviceEnumeratorPrivate::SerialDeviceEnumeratorPrivate(SerialDeviceEnumerator *owner,
                                                             SerialDeviceEnumeratorEngine *platform)
    : engine(platform)
    , q(owner)
{}

SerialDeviceEnumeratorPrivate::~SerialDeviceEnumeratorPrivate() = default;

void SerialDeviceEnumeratorPrivate::processWatcher()
{
    if (!engine)
        return;
    // The watch is set again before looking, so that a change during the look is not lost.
    if (engine->isWatching())
        engine->rearm();
    // Also without a watch: a list taken once beats an empty one.
    SerialDeviceMap fresh = engine->enumerate();
    if (fresh != devices) {
        devices = std::move(fresh);
        emit q->hasChanged(devices.keys());
    }
}

SerialDeviceEnumerator *SerialDeviceEnumerator::instance()
{
    // Never deleted: its watch may be wanted until the process ends.
    static SerialDeviceEnumerator *const enumerator =
        new SerialDeviceEnumerator(createSerialDeviceEnumeratorEngine());
    return enumerator;
}

SerialDeviceEnumerator::SerialDeviceEnumerator(SerialDeviceEnumeratorEngine *engine,
                                               QObject *parent)
    : QObject(parent)
    , d(std::make_unique<SerialDeviceEnumeratorPrivate>(this, engine))
{
    if (engine) {
        engine->setParent(nullptr); // owned through d
        connect(engine, &SerialDeviceEnumeratorEngine::changed, this,
                &SerialDeviceEnumerator::_q_processWatcher);
    }
    setWatching(true);
}

SerialDeviceEnumerator::~SerialDeviceEnumerator()
{
    setWatching(false);
}

void SerialDeviceEnumerator::setWatching(bool enable)
{
    if (!d->engine)
        return;
    d->engine->setWatching(enable);
    if (enable)
        d->processWatcher();
}

bool SerialDeviceEnumerator::isWatching() const
{
    return d->engine && d->engine->isWatching();
}

QStringList SerialDeviceEnumerator::portNames() const
{
    return d->devices.keys();
}

void SerialDeviceEnumerator::selectPort(const QString &name)
{
    d->selectedName = name;
    d->selected = d->devices.value(name);
}

bool SerialDeviceEnumerator::isPresent() const
{
    return d->devices.contains(d->selectedName);
}

bool SerialDeviceEnumerator::isInUse() const
{
    return isPresent() && d->engine->isInUse(d->selectedName);
}

void SerialDeviceEnumerator::_q_processWatcher()
{
    d->processWatcher();
}

// clang-format off
QString SerialDeviceEnumerator::name() const { return d->selected.name; }
QString SerialDeviceEnumerator::bus() const { return d->selected.bus; }
QString SerialDeviceEnumerator::description() const { return d->selected.description; }
QString SerialDeviceEnumerator::friendlyName() const { return d->selected.friendlyName; }
QStringList SerialDeviceEnumerator::hardwareID() const { return d->selected.hardwareID; }
QString SerialDeviceEnumerator::locationInfo() const { return d->selected.locationInfo; }
QString SerialDeviceEnumerator::manufacturer() const { return d->selected.manufacturer; }
QString SerialDeviceEnumerator::deviceClass() const { return d->selected.deviceClass; }
QString SerialDeviceEnumerator::service() const { return d->selected.service; }
QString SerialDeviceEnumerator::driver() const { return d->selected.driver; }
QString SerialDeviceEnumerator::physicalObjectName() const { return d->selected.physicalObjectName; }
QString SerialDeviceEnumerator::vendorID() const { return d->selected.vendorID; }
QString SerialDeviceEnumerator::productID() const { return d->selected.productID; }
// clang-format on
