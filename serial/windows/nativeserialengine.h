#pragma once

#include "abstractserialengine.h"

#ifdef GRELVIX_WIN32_STANDIN
namespace Win32StandIn {
#endif

class NativeSerialEnginePrivate;

// The engine for Windows: a COM port opened as an overlapped file, set through its
// control block and time-outs, watched through WaitCommEvent.
class NativeSerialEngine : public AbstractSerialEngine
{
    Q_OBJECT

public:
    explicit NativeSerialEngine(QObject *parent = nullptr);
    ~NativeSerialEngine() override;

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

private:
    NativeSerialEnginePrivate *d_func() const;
};

#ifdef GRELVIX_WIN32_STANDIN
} // namespace Win32StandIn
#endif
