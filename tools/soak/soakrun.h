#pragma once

#include "devicesimulator.h"
#include "soakcheck.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

// One soak: the station's own binary in a directory of its own, polling six simulated devices
// at a period of 1 s with recording on, while the devices' faults change phase by phase. Every
// temperature answer carries values no earlier answer of that device carried, so each logged
// value tells which answer it came from.
class SoakRun : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        int seconds = 600;
        int phaseSeconds = 30;
        int gapMarginMs = 0;
        quint32 seed = 1;
        QString station;
        QString pluginDir; // holds generic/ with the plugin that presses the recording button
        QString leakSuppressions;
        QString directory; // kept after the run; a temporary one otherwise
    };

    explicit SoakRun(const Options &runOptions, QObject *parent = nullptr);
    ~SoakRun() override;

    // Starts the run; false (with the reason printed) when it cannot.
    bool start();
    // 0 when every check held, 1 otherwise.
    int exitCode() const { return failed ? 1 : 0; }

signals:
    void finished();

private:
    enum Phase { Healthy, Silent, Delay, Gap, BadCrc, Range, PortGone, SlowBytes, Mixed };

    bool writeConfiguration();
    void setNextValues(int device);
    void onRequest(quint8 address, ModbusSlave::RequestKind kind);
    void onAnswer(quint8 address, const QByteArray &answer);
    void nextPhase();
    QString applyPhase(Phase phase);
    QStringList pickDevices(int count, QList<int> *devices);
    void removePort();
    void restorePort();
    void watchLog();
    void parseLog();
    void sample();
    void stop();
    void report(int exitStatus, QProcess::ExitStatus how);
    bool reportStation(int exitStatus, QProcess::ExitStatus how);
    void reportLog();
    void writeTrace() const;
    void fail(const QString &why);
    qint64 now() const { return clock.elapsed(); }

    Options options;
    std::unique_ptr<QTemporaryDir> temporary;
    QString directory;
    QString portLink;
    DeviceSimulator bus;
    QProcess station;
    QElapsedTimer clock;
    QRandomGenerator random;
    QTimer phaseTimer;
    QTimer watchTimer;
    QTimer sampleTimer;
    int phaseNumber = 0;
    bool portAway = false;
    bool stopping = false;
    bool failed = false;

    QList<quint64> counters; // per device: values handed out so far
    // Requests answered one byte at a time, by the values of their answer: requests received
    // when the first byte could go out.
    QHash<quint64, int> gappedRequests;
    SoakCheck::Input input;

    QString logPath;
    qint64 logOffset = 0;
    qint64 lastReadMs = 0;
    QByteArray logPending;
    int logChannels = -1;
    int logNames = 0;
    qint64 formatErrors = 0;
    QStringList formatExamples;

    qint64 cpuStartTicks = -1;
    qint64 cpuStartMs = 0;
    qint64 cpuEndTicks = -1;
    qint64 cpuEndMs = 0;
    qint64 rssMinuteKb = -1;
    qint64 rssEndKb = -1;
};
