// Monitor.ini: one line of tab-terminated values in a fixed order, read at start, written at exit.
#include "ui_velunor.h"
#include "velunor.h"

#include "configtokens.h"
#include "settings.h"
#include "textcodecs.h"

#include <QFile>
#include <QSaveFile>
#include <QTextStream>

namespace {
const QString configFileName = QStringLiteral("Monitor.ini");
} // namespace

void Velunor::ReadIniFromFile()
{
    if (!QFile::exists(configFileName))
        return;
    QFile file(configFileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning("Can not open file Monitor.ini to read");
        return;
    }
    const QByteArray content = file.readAll();
    file.close();
    ApplyConfiguration(content);
    on_pbPortOpen_clicked();
}

void Velunor::ApplyConfiguration(const QByteArray &content)
{
    ConfigTokens in(decodeStationText(content));
    ui->lePort->setText(in.text());
    ui->cbBaud->setCurrentIndex(in.integer());
    const QString directory = in.text();
    ui->PathCurrentDirectory->setText(directory);
    SettingsWindow->SetWorkingDirectory(directory);
    ui->SensorsReadInterval->setValue(in.integer());

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
}

void Velunor::SaveIniToFile()
{
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
