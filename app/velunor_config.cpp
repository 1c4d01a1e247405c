// Monitor.ini: one line of tab-terminated values in a fixed order, read at start, written at exit.
#include "ui_velunor.h"
#include "velunor.h"

#include "configtokens.h"
#include "settings.h"
#include "textcodecs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStatusBar>
#include <QTextStream>

namespace {
const QString configFileName = QStringLiteral("Monitor.ini");
const QString badConfigFileName = QStringLiteral("Monitor.ini.bad");
// A real file is a few KB; anything far larger is not one, and reading it costs seconds.
constexpr qint64 maxConfigBytes = 1 << 20;

// A save cut short (killed, power lost) leaves its temporary file behind: "Monitor.ini." and six
// random letters or digits. A name of six lower-case letters is more likely an operator's own
// copy ("Monitor.ini.backup") and is left alone.
void removeSaveLeftovers()
{
    static const QRegularExpression leftover(
        QStringLiteral("^Monitor\\.ini\\.(?![a-z]{6}$)[A-Za-z0-9]{6}$"));
    const QDir here(QStringLiteral("."));
    const QStringList names =
        here.entryList({QStringLiteral("Monitor.ini.??????")}, QDir::Files | QDir::NoSymLinks);
    for (const QString &name : names) {
        if (leftover.match(name).hasMatch())
            QFile::remove(here.filePath(name));
    }
}
} // namespace

void Velunor::ReadIniFromFile()
{
    removeSaveLeftovers();
    const QFileInfo info(configFileName);
    if (!info.exists())
        return;
    QFile file(configFileName);
    // Only a regular file: opening a FIFO would wait for a writer for ever.
    if (!info.isFile() || !file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning("Can not open file Monitor.ini to read");
        return;
    }
    const QByteArray content = file.read(maxConfigBytes + 1);
    file.close();
    if (content.size() > maxConfigBytes) {
        qWarning("Monitor.ini: larger than %lld bytes, not read", maxConfigBytes);
        KeepBadConfiguration();
        return;
    }
    if (!ApplyConfiguration(content))
        KeepBadConfiguration();
    on_pbPortOpen_clicked();
}

void Velunor::KeepBadConfiguration()
{
    // Saving at exit will replace the file with what the station made of it; the operator
    // keeps the original to mend.
    QFile::remove(badConfigFileName);
    if (QFile::copy(configFileName, badConfigFileName)) {
        qWarning("Monitor.ini: damaged, kept as Monitor.ini.bad");
        statusBar()->showMessage(
            tr("Файл Monitor.ini повреждён, копия сохранена в Monitor.ini.bad"));
        return;
    }
    // Without a copy the damaged file is not replaced at all.
    KeepConfigFile = true;
    qWarning("Monitor.ini: damaged, and Monitor.ini.bad could not be written");
    statusBar()->showMessage(tr("Файл Monitor.ini повреждён и не будет перезаписан"));
}

bool Velunor::ApplyConfiguration(const QByteArray &content)
{
    ConfigTokens in(decodeStationText(content));
    ui->lePort->setText(in.text());
    const int speed = in.integer();
    ui->cbBaud->setCurrentIndex(speed);
    const QString directory = in.text();
    ui->PathCurrentDirectory->setText(directory);
    SettingsWindow->SetWorkingDirectory(directory);
    const int interval = in.integer();
    ui->SensorsReadInterval->setValue(interval);

    const int stored = in.integer();
    const int maxDevices = int(sizeof(DeviceAddress));
    DeviceCount = qBound(0, stored, maxDevices);
    if (DeviceCount != stored)
        qWarning("Monitor.ini: device count %d out of range, using %d", stored, DeviceCount);
    ui->NumberOfDevices->display(DeviceCount);
    SetDisplayTempEnable(DeviceCount);
    // Every stored address is consumed, kept or not, so the values after them stay in place.
    for (int i = 0; i < stored && !in.atEnd(); ++i) {
        const int address = in.integer();
        if (i < maxDevices)
            DeviceAddress[i] = quint8(address);
    }

    for (ChannelSettings &channel : SettingsWindow->Channel) {
        channel.ChannelName = in.text();
        channel.UpperLimit = in.real();
        channel.LowerLimit = in.real();
        channel.ChannelEnabled = in.integer();
    }
    SettingsWindow->SetSoundFile(in.text());
    SettingsWindow->ShowAllChannels();

    // Whole when saving it back would write what was read.
    return in.intact() && in.atEnd() && DeviceCount == stored &&
           ui->cbBaud->currentIndex() == speed && ui->SensorsReadInterval->value() == interval;
}

void Velunor::SaveIniToFile()
{
    if (KeepConfigFile)
        return;
    // Written aside and renamed, so a failed write leaves the previous file whole.
    QSaveFile file(configFileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        qWarning("Can not open file Monitor.ini to write");
        return;
    }
    QTextStream out(&file);
    out.setEncoding(QStringConverter::System);
    const QChar tab = QLatin1Char('\t');

    out << ui->lePort->text() << tab << ui->cbBaud->currentIndex() << tab
        << ui->PathCurrentDirectory->text() << tab << ui->SensorsReadInterval->value() << tab
        << DeviceCount << tab;
    for (int i = 0; i < DeviceCount; ++i)
        out << int(DeviceAddress[i]) << tab;
    for (const ChannelSettings &channel : SettingsWindow->Channel) {
        out << channel.ChannelName << tab << channel.UpperLimit << tab << channel.LowerLimit << tab
            << channel.ChannelEnabled << tab;
    }
    out << SettingsWindow->SoundFilePath << tab;
    out.flush();
    if (out.status() != QTextStream::Ok || !file.commit())
        qWarning("Can not open file Monitor.ini to write");
}
