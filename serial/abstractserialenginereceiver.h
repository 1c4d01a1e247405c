#pragma once

// What an engine reports back to the device that owns it.
class AbstractSerialEngineReceiver
{
public:
    virtual ~AbstractSerialEngineReceiver() = default;

    virtual bool handleReadNotification() = 0;
    virtual bool handleWriteNotification() = 0;
    virtual void handleExceptionNotification() = 0;
    virtual bool handleLineNotification() = 0;
};
