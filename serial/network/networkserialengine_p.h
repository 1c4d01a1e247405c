#pragma once

#include "abstractserialengine_p.h"
#include "telnetcodec.h"

#include <QHash>
#include <QIODevice>
#include <QLoggingCategory>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

Q_DECLARE_LOGGING_CATEGORY(lcNetworkSerial)

class NetworkSerialEngine;
class NetworkSerialNotifier;
class QTcpSocket;
class QTimer;

class NetworkSerialEnginePrivate final : public AbstractSerialEnginePrivate
{
public:
    enum class Mode { Rfc2217, Raw };
    // Connecting covers the host lookup, the connection and the telnet negotiation; Waiting is
    // the pause before the next attempt.
    enum class Link { Closed, Connecting, Up, Waiting };

    static constexpr int connectTimeoutMsecs = 5000;
    // How long a setting waits for the server's answer.
    static constexpr int answerWaitMsecs = 1500;
    static constexpr int firstRetryMsecs = 1000;
    static constexpr int lastRetryMsecs = 30000;
    // Like a local port: how long one transfer may wait for the line.
    static constexpr int transferWaitMsecs = 5000;
    // Received bytes nobody reads are dropped past this, as a UART overruns.
    static constexpr qsizetype receiveLimit = 1 << 20;

    explicit NetworkSerialEnginePrivate(NetworkSerialEngine *engine);
    ~NetworkSerialEnginePrivate() override;
    // Connects the socket and timers; the engine calls it once it is built.
    void init();

    // "rfc2217://HOST:PORT" or "tcp://HOST:PORT"; HOST may be [IPv6]. False for anything else.
    static bool parseName(const QString &name, Mode *mode, QString *host, quint16 *port);

    bool isOpen() const { return link != Link::Closed; }
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

    NetworkSerialEngine *q;
    NetworkSerialNotifier *notifier = nullptr;
    Link link = Link::Closed;
    QString error;
    // The received line bytes, taken from the socket and out of the telnet layer.
    QByteArray received;

private:
    // The five line settings, in the order the server is told them.
    enum Setting { Baud, DataSize, ParityValue, StopSize, Flow, SettingCount };

    void connectNow();
    void onConnected();
    void onReadyRead();
    void linkLost(const QString &why);
    void becomeUp();
    bool pump();
    void handleMessage(const TelnetCodec::Message &message);
    void advanceNegotiation();
    void sendLineState();
    bool waitUntil(const std::function<bool()> &done, int msecs);
    void send(const QByteArray &bytes);
    void tellLines();

    bool setSetting(Setting setting, int value);
    bool apply(quint8 code, const QByteArray &value, const QByteArray &previous);
    std::optional<QByteArray> command(quint8 code, const QByteArray &value);
    void takeSetting(Setting setting, const QByteArray &applied);
    void takeConnectAnswer(Setting setting, const QByteArray &applied);
    static QByteArray encode(Setting setting, int value);
    QByteArray settingValue(Setting setting) const;
    bool rawSetting();
    void trace(const QString &text) const;

    std::unique_ptr<QTcpSocket> socket;
    std::unique_ptr<QTimer> retryTimer;
    std::unique_ptr<QTimer> connectTimer;
    TelnetCodec codec;
    Mode mode = Mode::Raw;
    QString host;
    quint16 port = 0;
    int retryMsecs = firstRetryMsecs;
    int waitDepth = 0;
    quint64 attempt = 0;
    int readTotalConstant = 0;
    bool rawNoteGiven = false;
    bool settingsSent = false;
    // Settings the caller chose; the others are asked of the server at every connection.
    bool chosen[SettingCount] = {};
    // Commands sent and not answered yet, and the last answer, by answer key.
    QHash<int, int> pending;
    QHash<int, QByteArray> answers;
    int dtrWanted = -1; // -1: as the server has it
    int rtsWanted = -1;
    quint8 modemState = 0;
};
