#pragma once

#include "modbusslave.h"

#include <QElapsedTimer>
#include <QObject>
#include <QRandomGenerator>
#include <QString>
#include <QTimer>

#include <array>
#include <deque>

class QSocketNotifier;

// Plays the measuring devices on the far end of a serial line: on a pseudo-terminal it creates,
// whose other side the station opens, or on a real port. Runs in the caller's event loop and
// never blocks, so a test can run it beside the station in one thread and change temperatures
// and faults between two ticks by plain calls.
class DeviceSimulator : public QObject
{
    Q_OBJECT

public:
    explicit DeviceSimulator(QObject *parent = nullptr);
    ~DeviceSimulator() override;

    // Creates a pseudo-terminal in raw mode; portName() is then the path for the station.
    bool openPty();
    // Opens an existing serial device (8N1, raw, no flow control) at one of the standard speeds.
    bool openPort(const QString &path, int baudRate = 9600);
    // Hangs up the line (the pty disappears), drops answers not yet sent, removes the link.
    void close();
    bool isOpen() const { return m_fd >= 0; }
    QString portName() const { return m_portName; }
    QString errorString() const { return m_error; }

    // Points a symbolic link at portName(), replacing an older link but never another kind of
    // file; close() removes it again if it still points there.
    bool createLink(const QString &linkPath);
    QString linkPath() const { return m_linkPath; }

    // The device table; pointers stay valid until the device is removed. Adding an address
    // served already returns its device; address 0 (broadcast) cannot be served.
    SimulatedDevice *addDevice(quint8 address);
    bool removeDevice(quint8 address);
    SimulatedDevice *device(quint8 address) { return m_bus.device(address); }
    QList<quint8> addresses() const { return m_bus.addresses(); }
    const ModbusSlave &bus() const { return m_bus; }

    // How often drifting devices take a step; 0 leaves it to driftStep() calls.
    void setDriftInterval(int ms);
    int driftInterval() const { return m_driftInterval; }
    void setSeed(quint32 seed) { m_random.seed(seed); }

    quint64 requestCount(quint8 address) const { return m_bus.requestCount(address); }
    // Answers whose last byte has been handed to the line.
    quint64 answerCount(quint8 address) const { return m_answers[address]; }
    // Answers waiting for their delay or in the middle of a gapped write.
    int pendingAnswers() const { return static_cast<int>(m_queue.size()); }

public slots:
    void driftStep();

signals:
    // For every request with a valid check, to a served address or not.
    void requestReceived(quint8 address, ModbusSlave::RequestKind kind, const QByteArray &request);
    void answerWritten(quint8 address, const QByteArray &answer);
    void errorOccurred(const QString &message);

private:
    struct PendingAnswer
    {
        quint8 address = 0;
        QByteArray bytes;
        qint64 dueMs = 0;
        int gapMs = -1;
        qsizetype sent = 0;
    };

    bool setUp(int fd, const QString &name);
    void fail(const QString &message);
    void readLine();
    void enqueue(const ModbusSlave::Exchange &exchange);
    void sendDue();
    void write(const QByteArray &bytes);
    void flushOutput();
    void removeLink();

    ModbusSlave m_bus;
    int m_fd = -1;
    // Counts close() calls: a slot run from a signal of ours may close or reopen the line.
    quint64 m_session = 0;
    int m_slaveFd = -1;
    QString m_portName;
    QString m_linkPath;
    QString m_error;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QByteArray m_output;
    std::deque<PendingAnswer> m_queue;
    QTimer m_sendTimer;
    QElapsedTimer m_clock;
    QTimer m_driftTimer;
    int m_driftInterval = 1000;
    QRandomGenerator m_random;
    std::array<quint64, 256> m_answers{};
};
