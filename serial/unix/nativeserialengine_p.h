#pragma once

#include "abstractserialengine_p.h"

#include <QIODevice>
#include <QLoggingCategory>
#include <QString>

#include <asm/termbits.h>

Q_DECLARE_LOGGING_CATEGORY(lcSerialEngine)

class NativeSerialEngine;
class NativeSerialNotifier;
class QTimer;

class NativeSerialEnginePrivate : public AbstractSerialEnginePrivate
{
public:
    // How long one chunk of a transfer may wait for the port.
    static constexpr int transferWaitMsecs = 5000;
    // How often a lost port is looked for again.
    static constexpr int reopenIntervalMsecs = 500;

    explicit NativeSerialEnginePrivate(NativeSerialEngine *engine);

    bool nativeOpen(const QIODevice::OpenMode &mode);
    bool nativeClose();
    bool nativeSetBaudRate(int baudRate, AbstractSerial::BaudDirection direction);
    bool nativeSetDataBits(AbstractSerial::DataBits dataBits);
    bool nativeSetParity(AbstractSerial::Parity parity);
    bool nativeSetStopBits(AbstractSerial::StopBits stopBits);
    bool nativeSetFlowControl(AbstractSerial::Flow flow);
    bool nativeSetDtr(bool set);
    bool nativeSetRts(bool set);
    quint16 nativeLineStatus() const;
    bool nativeSendBreak(int duration);
    bool nativeSetBreak(bool set);
    bool nativeFlush();
    bool nativeReset();
    qint64 nativeBytesAvailable();
    qint64 nativeRead(char *data, qint64 len);
    qint64 nativeWrite(const char *data, qint64 len);
    int nativeSelect(int msecs, bool checkRead, bool checkWrite, bool *readyToRead,
                     bool *readyToWrite);

    void setTotalReadConstant(int msecs);
    int totalReadConstant() const { return readTotalConstant; }
    void updateAutoReadConstant();
    void createNotifier();
    void releaseNotifier();

    // Hang-up handling, shared with the notifier.
    bool checkHangUp();
    void portHungUp();
    void tryReopen();
    bool takeNotifierLineError();

    int fd() const { return int(descriptor); }
    // Holding the port, or waiting for a lost one to come back.
    bool isOpen() const { return fd() >= 0 || portLost; }

    // The port for this process alone (also for root), or -1; quiet leaves no trace.
    static int openExclusive(const QString &path, const QIODevice::OpenMode &mode, bool quiet);
    // Lets go of a port taken with openExclusive; false when close() reported an error.
    static bool closeExclusive(int handle);

    NativeSerialEngine *q;
    NativeSerialNotifier *notifier = nullptr;
    struct termios2 tio = {};      // line settings as last written
    struct termios2 savedTio = {}; // found at open, written back at close
    int readTotalConstant = 0;     // ms a read waits for the rest of a chunk
    QIODevice::OpenMode openMode;
    QString path;
    bool portLost = false;
    bool hangUpSeen = false;
    QTimer *reopenTimer = nullptr;
    int dtrWanted = -1; // -1: left as the driver sets it at open
    int rtsWanted = -1;
    bool lineErrorsCounted = false;
    quint64 lineErrorsSeenByRead = 0;
    quint64 lineErrorsSeenByNotifier = 0;

private:
    bool writeSettings(const struct termios2 &wanted, tcflag_t cflagMask, tcflag_t iflagMask,
                       bool checkSpeed);
    void detectDefaultCurrentSettings();
    void baselineLineErrors();
    qint64 lineErrorCount() const;
    bool setModemLine(int line, bool set);
    // Lets go of the port; false when close() reported an error.
    bool closeDescriptor();
};
