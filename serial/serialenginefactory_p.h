#pragma once

class AbstractSerial;
class AbstractSerialEngine;

using SerialEngineCreator = AbstractSerialEngine *(*)(AbstractSerial *owner);

// The platform engine for a device, with the device as its parent.
AbstractSerialEngine *createSerialEngine(AbstractSerial *owner);

// Lets tests put their own engine behind AbstractSerial; nullptr restores the
// platform engine. Returns the creator that was in force.
SerialEngineCreator setSerialEngineCreator(SerialEngineCreator creator);
