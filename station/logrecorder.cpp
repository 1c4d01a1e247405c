#include "logrecorder.h"

#include <QTextStream>

LogRecorder::LogRecorder(QObject *parent)
    : QObject(parent)
{}

QString LogRecorder::MakeLogFileName(const QDateTime &start)
{
    return QStringLiteral("Log_") + start.toString(QStringLiteral("hhmmss_ddMMyyyy")) +
           QStringLiteral(".dat");
}

QString LogRecorder::LoggedValue(float value)
{
    // "nan" is what the text stream reads back as not-a-number.
    QString text;
    QTextStream(&text) << value;
    return text;
}

int LogRecorder::logChannels(int deviceCount)
{
    return 2 * qBound(0, deviceCount, Station::ChannelCount / 2);
}

void LogRecorder::start(const QString &directory, const QStringList &names, int deviceCount)
{
    StartLogFile(directory, names, deviceCount);
    if (!LogActive) {
        LogActive = true;
        emit recordingChanged(true);
    }
}

void LogRecorder::stop()
{
    const bool was = LogActive;
    LogActive = false;
    if (was)
        emit recordingChanged(false);
}

bool LogRecorder::StartLogFile(const QString &directory, const QStringList &names, int deviceCount)
{
    const QString previous = LogFilePath;
    QDateTime start = QDateTime::currentDateTime();
    LogFilePath = directory + MakeLogFileName(start);
    // A file that replaces the running one within the same second must not overwrite it.
    while (LogActive && LogFilePath == previous) {
        start = start.addSecs(1);
        LogFilePath = directory + MakeLogFileName(start);
    }
    LogChannelCount = logChannels(deviceCount);
    LogNames = names.mid(0, LogChannelCount);
    const bool forNewDevices = LogActive;
    const LogFileWriter::Outcome outcome = LogWriter.create(LogFilePath, LogHeader());
    const bool written = report(outcome);
    // A new file for new devices is told even when it ends a failure; a first one then leaves
    // the recovery to be told.
    if (outcome == LogFileWriter::Outcome::Written || (written && forNewDevices))
        emit fileStarted(LogFilePath, forNewDevices);
    return written;
}

QByteArray LogRecorder::LogHeader() const
{
    return LogFileWriter::header(LogNames);
}

bool LogRecorder::report(LogFileWriter::Outcome outcome)
{
    switch (outcome) {
    case LogFileWriter::Outcome::Written:
        return true;
    case LogFileWriter::Outcome::Recovered:
        emit writeRecovered(LogFilePath, LogWriter.lostRecords());
        return true;
    case LogFileWriter::Outcome::StartedFailing:
        emit writeFailed(LogFilePath);
        return false;
    case LogFileWriter::Outcome::Failing:
        break;
    }
    return false;
}

void LogRecorder::WriteLogRecord(const QString &directory, const QStringList &names,
                                 int deviceCount, const Station::Readings &values)
{
    const quint32 stamp = quint32(QDateTime::currentSecsSinceEpoch());
    // A search while recording changed the devices: their records go to a file of their own.
    if (logChannels(deviceCount) != LogChannelCount)
        StartLogFile(directory, names, deviceCount);
    if (LogChannelCount <= 0)
        return;
    // A file still missing gets its header with the names the channels have now.
    LogNames = names.mid(0, LogChannelCount);
    QStringList texts;
    for (int i = 0; i < LogChannelCount; ++i)
        texts << LoggedValue(values[i]);
    report(LogWriter.append(LogFilePath, LogHeader(), LogFileWriter::record(stamp, texts)));
}
