#pragma once

#include "abstractserialengine.h"

#include <QByteArray>
#include <QList>

// A scripted engine: the test decides what the "port" answers and looks at
// what AbstractSerial asked of it.
class FakeSerialEngine : public AbstractSerialEngine
{
    Q_OBJECT

public:
    explicit FakeSerialEngine(QObject *parent = nullptr);

    // Installs a creator that puts a FakeSerialEngine behind every new
    // AbstractSerial; last() is the most recent one.
    static void install();
    static void uninstall();
    static FakeSerialEngine *last();

    // Script
    bool openResult = true;
    bool settingResult = true;
    bool controlResult = true;
    QByteArray incoming;                // bytes waiting in the port
    qint64 bytesAvailableOverride = -2; // anything above -2 replaces incoming.size()
    qint64 writeLimit = -1;             // at most this many bytes per write; -1 all
    bool writeFails = false;
    bool immediateWriteNotification = true;
    quint16 lines = 0;
    bool selectResult = true;
    bool selectReadyWrite = false;

    // Record
    QByteArray written;
    QList<QByteArray> writeCalls;
    QList<int> baudRates;
    QList<int> dataBitsCalls;
    QList<int> parityCalls;
    QList<int> stopBitsCalls;
    QList<int> flowCalls;
    QList<int> breakDurations;
    int openCalls = 0;
    int closeCalls = 0;
    int flushCalls = 0;
    int resetCalls = 0;
    int selectCalls = 0;
    int releases = 0;
    QIODevice::OpenMode lastOpenMode;

    void setRates(int input, int output);

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
    bool isReadNotificationEnabled() const override { return readOn; }
    void setReadNotificationEnabled(bool enable, bool release = false) override;
    bool isWriteNotificationEnabled() const override { return writeOn; }
    void setWriteNotificationEnabled(bool enable, bool release = false) override;
    bool isExceptionNotificationEnabled() const override { return exceptionOn; }
    void setExceptionNotificationEnabled(bool enable, bool release = false) override;
    bool isLineNotificationEnabled() const override { return lineOn; }
    void setLineNotificationEnabled(bool enable, bool release = false) override;

private:
    bool readOn = false;
    bool writeOn = false;
    bool exceptionOn = false;
    bool lineOn = false;
    int charInterval = 0;
    int readConstant = 0;
};
