#pragma once

#include "abstractserial.h"

#include <QIODevice>
#include <QObject>

#include <algorithm>
#include <memory>

class AbstractSerialEnginePrivate;
class AbstractSerialEngineReceiver;

// The half of the serial layer that talks to the operating system.
class AbstractSerialEngine : public QObject
{
    Q_OBJECT

public:
    explicit AbstractSerialEngine(QObject *parent = nullptr);
    ~AbstractSerialEngine() override;

    virtual bool open(const QIODevice::OpenMode &mode) = 0;
    virtual bool close() = 0;

    virtual bool setBaudRate(int baudRate, const AbstractSerial::BaudDirection &direction) = 0;
    virtual bool setDataBits(AbstractSerial::DataBits dataBits) = 0;
    virtual bool setParity(AbstractSerial::Parity parity) = 0;
    virtual bool setStopBits(AbstractSerial::StopBits stopBits) = 0;
    virtual bool setFlowControl(AbstractSerial::Flow flow) = 0;

    virtual void setCharIntervalTimeout(int usecs) = 0;
    virtual int charIntervalTimeout() const = 0;
    virtual void setTotalReadConstantTimeout(int msecs) = 0;
    virtual int totalReadConstantTimeout() const = 0;

    virtual bool setDtr(bool set) = 0;
    virtual bool setRts(bool set) = 0;
    virtual quint16 lineStatus() = 0;
    virtual bool sendBreak(int duration) = 0;
    virtual bool setBreak(bool set) = 0;
    virtual bool flush() = 0;
    virtual bool reset() = 0;

    virtual qint64 bytesAvailable() = 0;
    virtual qint64 read(char *data, qint64 maxSize) = 0;
    virtual qint64 write(const char *data, qint64 maxSize) = 0;
    virtual bool select(bool *readyToRead, bool *readyToWrite, bool checkRead, bool checkWrite,
                        int msecs) = 0;

    virtual bool isReadNotificationEnabled() const = 0;
    virtual void setReadNotificationEnabled(bool enable, bool release = false) = 0;
    virtual bool isWriteNotificationEnabled() const = 0;
    virtual void setWriteNotificationEnabled(bool enable, bool release = false) = 0;
    virtual bool isExceptionNotificationEnabled() const = 0;
    virtual void setExceptionNotificationEnabled(bool enable, bool release = false) = 0;
    virtual bool isLineNotificationEnabled() const = 0;
    virtual void setLineNotificationEnabled(bool enable, bool release = false) = 0;

    // The open port went away (an adapter unplugged, a device server's connection lost) and the
    // engine waits for it to come back. Engines tell a change by a line notification.
    virtual bool isPortLost() const { return false; }

    void setDeviceName(const QString &deviceName);
    QString deviceName() const;
    // For BaudBoth the common rate, or 0 while input and output differ.
    int baudRate(AbstractSerial::BaudDirection direction) const;
    AbstractSerial::DataBits dataBits() const;
    AbstractSerial::Parity parity() const;
    AbstractSerial::StopBits stopBits() const;
    AbstractSerial::Flow flowControl() const;
    void setReceiver(AbstractSerialEngineReceiver *receiver);

    // Character formats no engine accepts: values outside the enumerations,
    // 5 data bits with 2 stop bits, 1.5 stop bits with 6, 7 or 8 data bits.
    static bool acceptsDataBits(AbstractSerial::DataBits value, AbstractSerial::StopBits stopBits);
    static bool acceptsStopBits(AbstractSerial::StopBits value, AbstractSerial::DataBits dataBits);

    // Milliseconds for 256 characters plus 255 character intervals at this
    // line setting: the read time-out an engine uses in automatic mode.
    static int autoReadTotalConstant(int baudRate, AbstractSerial::DataBits dataBits,
                                     AbstractSerial::Parity parity,
                                     AbstractSerial::StopBits stopBits, int charIntervalUsecs);

public Q_SLOTS:
    void readNotification();
    void writeNotification();
    void exceptionNotification();
    void lineNotification();

protected:
    AbstractSerialEngine(AbstractSerialEnginePrivate *state, QObject *parent);

    // Reads in chunks of at most 256 bytes until a chunk comes back short or fails;
    // the bytes read, never negative.
    template<typename ReadChunk>
    static qint64 readInChunks(char *data, qint64 maxSize, ReadChunk readChunk)
    {
        constexpr qint64 chunk = 256;
        qint64 total = 0;
        while (total < maxSize) {
            const qint64 wanted = std::min(chunk, maxSize - total);
            const qint64 got = readChunk(data + total, wanted);
            if (got <= 0)
                break;
            total += got;
            if (got < wanted)
                break;
        }
        return total;
    }

    // Writes in chunks of at most 512 bytes: the length when every chunk went out whole,
    // otherwise (and for nothing to write) -1.
    template<typename WriteChunk>
    static qint64 writeInChunks(const char *data, qint64 maxSize, WriteChunk writeChunk)
    {
        constexpr qint64 chunk = 512;
        if (maxSize <= 0)
            return -1;
        for (qint64 done = 0; done < maxSize;) {
            const qint64 wanted = std::min(chunk, maxSize - done);
            if (writeChunk(data + done, wanted) < wanted)
                return -1;
            done += wanted;
        }
        return maxSize;
    }

    std::unique_ptr<AbstractSerialEnginePrivate> d_ptr;
};
