#pragma once

#include "abstractserialengine.h"

class AbstractSerialNotifier;

// What the platform engines share: every operation goes to the same-named native work of the
// engine's state record (Private, its NativeSerialEnginePrivate), which also owns the notifier.
// The definitions are in nativeserialenginebase_impl_p.h; each engine's source includes them
// and instantiates the template for its record.
template<typename Private>
class NativeSerialEngineBase : public AbstractSerialEngine
{
public:
    bool open(const QIODevice::OpenMode &mode) override;
    bool close() override;

    bool setBaudRate(int baudRate, const AbstractSerial::BaudDirection &direction) override;
    bool setDataBits(AbstractSerial::DataBits dataBits) override;
    bool setParity(AbstractSerial::Parity parity) override;
    bool setStopBits(AbstractSerial::StopBits stopBits) override;
    bool setFlowControl(AbstractSerial::Flow flow) override;

    void setCharIntervalTimeout(int usecs) override;
    int charIntervalTimeout() const override;
    void setTotalReadConstantTimeout(int msecs) override;
    int totalReadConstantTimeout() const override;

    bool setDtr(bool set) override;
    bool setRts(bool set) override;
    quint16 lineStatus() override;
    bool sendBreak(int duration) override;
    bool setBreak(bool set) override;
    bool flush() override;
    bool reset() override;

    qint64 bytesAvailable() override;
    qint64 read(char *data, qint64 maxSize) override;
    qint64 write(const char *data, qint64 maxSize) override;
    bool select(bool *readyToRead, bool *readyToWrite, bool checkRead, bool checkWrite,
                int msecs) override;

    bool isReadNotificationEnabled() const override;
    void setReadNotificationEnabled(bool enable, bool release = false) override;
    bool isWriteNotificationEnabled() const override;
    void setWriteNotificationEnabled(bool enable, bool release = false) override;
    bool isExceptionNotificationEnabled() const override;
    void setExceptionNotificationEnabled(bool enable, bool release = false) override;
    bool isLineNotificationEnabled() const override;
    void setLineNotificationEnabled(bool enable, bool release = false) override;

protected:
    NativeSerialEngineBase(Private *state, QObject *parent);
    Private *d_func() const { return static_cast<Private *>(d_ptr.get()); }

private:
    const AbstractSerialNotifier *notifier() const;
    void switchNotification(void (AbstractSerialNotifier::*set)(bool), bool enable, bool release);
};
