#pragma once

#include "logfilewriter.h"
#include "station.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

// Recording: one log file per start of recording, named after the local time of the start, in
// the working directory; one record per completed poll cycle.
class LogRecorder final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogRecorder)

public:
    explicit LogRecorder(QObject *parent = nullptr);

    static QString MakeLogFileName(const QDateTime &start);
    // A value as the log records it, and as the station reports it anywhere else: the text
    // stream's own form of a float, "23.5", "-10", "125", and "nan" for no reading.
    static QString LoggedValue(float value);
    // Channels of a log of this many devices: two per device, never more than the station shows.
    static int logChannels(int deviceCount);

    bool isRecording() const { return LogActive; }
    // The current or last log file; empty until recording first starts.
    QString logFilePath() const { return LogFilePath; }

    // Starts a new file in `directory` (a prefix: the file name follows it directly) for the
    // first logChannels(deviceCount) of these names. Recording is on even when the file could
    // not be written; every record retries.
    void start(const QString &directory, const QStringList &names, int deviceCount);
    void stop();
    // One record of the first values; a changed device count first starts a new file.
    void WriteLogRecord(const QString &directory, const QStringList &names, int deviceCount,
                        const Station::Readings &values);

signals:
    void recordingChanged(bool recording);
    // A file was started and its header written; forNewDevices when a search changed the
    // devices while recording. Not told of a first file whose header ended a write failure:
    // writeRecovered tells that.
    void fileStarted(const QString &path, bool forNewDevices);
    // Writing started to fail, and works again with `lost` records lost in between.
    void writeFailed(const QString &path);
    void writeRecovered(const QString &path, qint64 lost);

private:
    bool StartLogFile(const QString &directory, const QStringList &names, int deviceCount);
    QByteArray LogHeader() const;
    bool report(LogFileWriter::Outcome outcome);

    bool LogActive = false;
    QString LogFilePath;
    // Channels in the header of the log file being written, and their names.
    int LogChannelCount = 0;
    QStringList LogNames;
    LogFileWriter LogWriter;
};
