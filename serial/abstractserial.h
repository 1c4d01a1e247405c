#pragma once

#include <QDateTime>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include <memory>

class AbstractSerialPrivate;
class QDebug;

// A serial port as a sequential QIODevice. The operating-system work is done by
// the engine behind it; this class buffers, reports every outcome as a status
// and names the line settings for people.
class AbstractSerial : public QIODevice
{
    Q_OBJECT

public:
    // All int-based, so a value cast from outside the list stays well-defined
    // and can be refused instead of being undefined behaviour.
    enum BaudRate : int {
        BaudRateUndefined = -1,
        BaudRate50 = 0,
        BaudRate75,
        BaudRate110,
        BaudRate134,
        BaudRate150,
        BaudRate200,
        BaudRate300,
        BaudRate600,
        BaudRate1200,
        BaudRate1800,
        BaudRate2400,
        BaudRate4800,
        BaudRate9600,
        BaudRate14400,
        BaudRate19200,
        BaudRate38400,
        BaudRate56000,
        BaudRate57600,
        BaudRate76800,
        BaudRate115200,
        BaudRate128000,
        BaudRate230400,
        BaudRate256000,
        BaudRate460800,
        BaudRate500000,
        BaudRate576000,
        BaudRate921600,
        BaudRate1000000,
        BaudRate1152000,
        BaudRate1500000,
        BaudRate2000000,
        BaudRate2500000,
        BaudRate3000000,
        BaudRate3500000,
        BaudRate4000000
    };

    enum BaudDirection : int { BaudInput = 1, BaudOutput = 2, BaudBoth = 3 };

    enum DataBits : int {
        DataBitsUndefined = -1,
        DataBits5 = 0,
        DataBits6 = 1,
        DataBits7 = 2,
        DataBits8 = 3
    };

    enum Parity : int {
        ParityUndefined = -1,
        ParityNone = 0,
        ParityOdd = 1,
        ParityEven = 2,
        ParityMark = 3,
        ParitySpace = 4
    };

    enum StopBits : int { StopBitsUndefined = -1, StopBits1 = 0, StopBits1_5 = 1, StopBits2 = 2 };

    enum Flow : int {
        FlowControlUndefined = -1,
        FlowControlOff = 0,
        FlowControlHardware = 1,
        FlowControlXonXoff = 2
    };

    enum LineStatus : int {
        LineLE = 0x0001,
        LineDTR = 0x0002,
        LineRTS = 0x0004,
        LineST = 0x0008,
        LineSR = 0x0010,
        LineCTS = 0x0020,
        LineDCD = 0x0040,
        LineRI = 0x0080,
        LineDSR = 0x0100,
        LineError = 0x8000
    };

    // Codes up to 31 are successes; from 32 on they are errors.
    enum Status : int {
        StatusNoError = 0,
        StatusOpened = 1,
        StatusClosed = 2,
        StatusBaudRateSet = 3,
        StatusParitySet = 4,
        StatusDataBitsSet = 5,
        StatusStopBitsSet = 6,
        StatusFlowSet = 7,
        StatusCharTimeoutSet = 8,
        StatusDtrChanged = 9,
        StatusRtsChanged = 10,
        StatusLinesRead = 11,
        StatusBreakSent = 12,
        StatusBreakSet = 13,
        StatusFlushed = 14,
        StatusReset = 15,

        ErrorOpen = 32,
        ErrorNotOpen = 33,
        ErrorOpenModeUnsupported = 34,
        ErrorOpenModeUndefined = 35,
        ErrorInvalidDescriptor = 36,
        ErrorSaveOldSettings = 37,
        ErrorGetCurrentSettings = 38,
        ErrorSetDefaultSettings = 39,
        ErrorAlreadyOpen = 40,
        ErrorRestoreOldSettings = 41,
        ErrorCloseDescriptor = 42,
        ErrorClose = 43,

        ErrorSetBaudRate = 64,
        ErrorSetDataBits = 65,
        ErrorSetParity = 66,
        ErrorSetStopBits = 67,
        ErrorSetFlowControl = 68,
        ErrorSetCharIntervalTimeout = 69,
        ErrorSetTotalReadConstantTimeout = 70,

        ErrorBytesAvailable = 96,
        ErrorSetDtr = 97,
        ErrorSetRts = 98,
        ErrorLineStatus = 99,
        ErrorWaitReadyReadIo = 100,
        ErrorWaitReadyReadTimeout = 101,
        ErrorWaitBytesWrittenIo = 102,
        ErrorWaitBytesWrittenTimeout = 103,
        ErrorReadIo = 104,
        ErrorWriteIo = 105,
        ErrorFlush = 106,
        ErrorSendBreak = 107,
        ErrorSetBreak = 108,
        ErrorReset = 109
    };

    explicit AbstractSerial(QObject *parent = nullptr);
    ~AbstractSerial() override;

    void setDeviceName(const QString &deviceName);
    QString deviceName() const;

    bool open(OpenMode mode) override;
    void close() override;
    bool isSequential() const override;

    bool setBaudRate(int baudRate, BaudDirection direction);
    bool setBaudRate(BaudRate baudRate, BaudDirection direction);
    bool setBaudRate(const QString &baudRate, BaudDirection direction);
    bool setDataBits(DataBits dataBits);
    bool setDataBits(const QString &dataBits);
    bool setParity(Parity parity);
    bool setParity(const QString &parity);
    bool setStopBits(StopBits stopBits);
    bool setStopBits(const QString &stopBits);
    bool setFlowControl(Flow flow);
    bool setFlowControl(const QString &flow);

    QString baudRate(BaudDirection direction) const;
    QString dataBits() const;
    QString parity() const;
    QString stopBits() const;
    QString flowControl() const;

    QStringList baudRateNames() const;
    QStringList dataBitsNames() const;
    QStringList parityNames() const;
    QStringList stopBitsNames() const;
    QStringList flowControlNames() const;

    void setCharIntervalTimeout(int usecs);
    int charIntervalTimeout() const;
    void setTotalReadConstantTimeout(int msecs);
    int totalReadConstantTimeout() const;

    bool setDtr(bool set);
    bool setRts(bool set);
    quint16 lineStatus();
    bool sendBreak(int duration);
    bool setBreak(bool set);
    bool flush();
    bool reset() override;

    qint64 bytesAvailable() const override;
    qint64 bytesToWrite() const override;
    bool canReadLine() const override;
    bool waitForReadyRead(int msecs) override;
    bool waitForBytesWritten(int msecs) override;

    // Hide QIODevice's own pair: this limit applies to the port's receive buffer.
    qint64 readBufferSize() const;
    void setReadBufferSize(qint64 size);

    bool isStatusSignalEnabled() const;
    void setStatusSignalEnabled(bool enable);

    static QString statusToString(Status status);

    // Rates of the BaudRate indices; -1 for an index outside the table.
    static int baudRateValue(BaudRate baudRate);
    // The first run of digits in a text as a rate; -1 when there is none.
    static int baudRateFromText(const QString &text);

Q_SIGNALS:
    void signalStatus(const QString &status, const QDateTime &current);
    void exception();
    void ctsChanged(bool value);
    void dsrChanged(bool value);
    void ringChanged(bool value);
    // The open port went away and the engine waits for it, or it came back.
    void portLostChanged(bool lost);

protected:
    // Lines are read by QIODevice::readLineData() through readData().
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    friend class AbstractSerialPrivate;
    std::unique_ptr<AbstractSerialPrivate> d;
};

QDebug operator<<(QDebug debug, AbstractSerial::BaudRate value);
QDebug operator<<(QDebug debug, AbstractSerial::DataBits value);
QDebug operator<<(QDebug debug, AbstractSerial::Parity value);
QDebug operator<<(QDebug debug, AbstractSerial::StopBits value);
QDebug operator<<(QDebug debug, AbstractSerial::Flow value);
QDebug operator<<(QDebug debug, AbstractSerial::LineStatus value);
