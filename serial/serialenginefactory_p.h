#pragma once

class AbstractSerial;
class AbstractSerialEngine;
class QString;

using SerialEngineCreator = AbstractSerialEngine *(*)(AbstractSerial *owner);

enum class SerialEngineKind { Native, Network };

// The network engine for "rfc2217://" and "tcp://" names where it is built, the platform
// engine for every other name.
SerialEngineKind serialEngineKind(const QString &deviceName);

// The engine of that kind for a device, with the device as its parent.
AbstractSerialEngine *createSerialEngine(AbstractSerial *owner,
                                         SerialEngineKind kind = SerialEngineKind::Native);

// Lets tests put their own engine behind AbstractSerial; nullptr restores the
// platform engine. Returns the creator that was in force.
SerialEngineCreator setSerialEngineCreator(SerialEngineCreator creator);
