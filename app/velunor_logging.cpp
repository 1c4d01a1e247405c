// Recording: one log file per start, one record per completed poll cycle.
#include "ui_velunor.h"
#include "velunor.h"

#include "settings.h"

#include <QDateTime>
#include <QFileDialog>
#include <QStatusBar>
#include <QTextStream>

namespace {
// Channels of a log that starts now: two per device, never more than the station shows.
int logChannels(int deviceCount)
{
    return 2 * qBound(0, deviceCount, Velunor::ShownDevices);
}
} // namespace

QString Velunor::MakeLogFileName(const QDateTime &start) const
{
    return QStringLiteral("Log_") + start.toString(QStringLiteral("hhmmss_ddMMyyyy")) +
           QStringLiteral(".dat");
}

bool Velunor::StartLogFile()
{
    const QString previous = LogFilePath;
    QDateTime start = QDateTime::currentDateTime();
    LogFilePath = ui->PathCurrentDirectory->text() + MakeLogFileName(start);
    // A file that replaces the running one within the same second must not overwrite it.
    while (LogActive && LogFilePath == previous) {
        start = start.addSecs(1);
        LogFilePath = ui->PathCurrentDirectory->text() + MakeLogFileName(start);
    }
    LogChannelCount = logChannels(DeviceCount);
    return ShowLogOutcome(LogWriter.create(LogFilePath, LogHeader()));
}

QByteArray Velunor::LogHeader() const
{
    QStringList names;
    for (int i = 0; i < LogChannelCount; ++i)
        names << SettingsWindow->Channel[i].ChannelName;
    return LogFileWriter::header(names);
}

bool Velunor::ShowLogOutcome(LogFileWriter::Outcome outcome)
{
    switch (outcome) {
    case LogFileWriter::Outcome::Written:
        return true;
    case LogFileWriter::Outcome::Recovered:
        statusBar()->showMessage(
            tr("Запись в файл регистрации %1 возобновлена, потеряно записей: %2")
                .arg(LogFilePath)
                .arg(LogWriter.lostRecords()));
        return true;
    case LogFileWriter::Outcome::StartedFailing:
        statusBar()->showMessage(tr("Не удалось записать файл регистрации %1").arg(LogFilePath));
        return false;
    case LogFileWriter::Outcome::Failing:
        break;
    }
    return false;
}

void Velunor::on_StartLog_pressed()
{
    if (DeviceCount <= 0)
        return;
    if (LogActive) {
        on_StopLog_clicked();
        return;
    }
    const bool wasFailing = LogWriter.failing();
    if (StartLogFile() && !wasFailing)
        statusBar()->clearMessage();
    LogActive = true;
}

void Velunor::on_StartLog_released()
{
    // The button toggles itself on every click; recording decides what it shows.
    ui->StartLog->setChecked(LogActive);
}

void Velunor::on_StartLog_clicked() {}

void Velunor::on_StopLog_clicked()
{
    LogActive = false;
    ui->StartLog->setChecked(false);
}

void Velunor::WriteLogRecord()
{
    const quint32 stamp = quint32(QDateTime::currentSecsSinceEpoch());

    // A search while recording changed the devices: their records go to a file of their own.
    if (logChannels(DeviceCount) != LogChannelCount) {
        if (StartLogFile())
            statusBar()->showMessage(tr("Новый файл регистрации %1").arg(LogFilePath));
    }
    if (LogChannelCount <= 0)
        return;
    QStringList values;
    for (int i = 0; i < LogChannelCount; ++i)
        values << LoggedValue(i);
    ShowLogOutcome(
        LogWriter.append(LogFilePath, LogHeader(), LogFileWriter::record(stamp, values)));
}

QString Velunor::LoggedValue(int channel) const
{
    if (channel < 0 || channel >= ChannelCount)
        return QString();
    // The text stream's own form of a float: "23.5", "-10", "125", and "nan" for no reading,
    // which the stream reads back as not-a-number.
    QString text;
    QTextStream(&text) << CurrentTemp[channel];
    return text;
}

QString Velunor::AskLogDirectory()
{
    return QFileDialog::getExistingDirectory(
        this, tr("Выберите папку для сохранения считанных данных"), QString(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
}

void Velunor::on_CurrentDirectory_clicked()
{
    const QString directory = AskLogDirectory();
    if (directory.isEmpty())
        return;
    const QString path = directory + QLatin1Char('/');
    ui->PathCurrentDirectory->setText(path);
    SettingsWindow->SetWorkingDirectory(path);
}
