#include "settings.h"

#include "ui_settings.h"

#include "stationcore.h"
#include "stationpaths.h"

#include <QFileDialog>

namespace {
// Range of the threshold spin boxes in the form.
constexpr double LowestLimit = -50.0;
constexpr double HighestLimit = 120.0;
// Gap the spin boxes keep between the lower and the upper threshold.
constexpr double LimitGap = 0.1;
} // namespace

Settings::Settings(StationCore &stationCore, QWidget *parent)
    : QMainWindow(parent)
    , station(stationCore)
    , ui(std::make_unique<Ui::Settings>())
    , WorkingDirectory(defaultWorkingDirectory())
{
    ui->setupUi(this);
    rows[0] = {ui->T0channel, ui->NameSensorT0, ui->HighLevelT0, ui->LowLevelT0, ui->ChanlEnableT0};
    rows[1] = {ui->T1channel, ui->NameSensorT1, ui->HighLevelT1, ui->LowLevelT1, ui->ChanlEnableT1};
    rows[2] = {ui->T2channel, ui->NameSensorT2, ui->HighLevelT2, ui->LowLevelT2, ui->ChanlEnableT2};
    rows[3] = {ui->T3channel, ui->NameSensorT3, ui->HighLevelT3, ui->LowLevelT3, ui->ChanlEnableT3};
    rows[4] = {ui->T4channel, ui->NameSensorT4, ui->HighLevelT4, ui->LowLevelT4, ui->ChanlEnableT4};
    rows[5] = {ui->T5channel, ui->NameSensorT5, ui->HighLevelT5, ui->LowLevelT5, ui->ChanlEnableT5};
    rows[6] = {ui->T6channel, ui->NameSensorT6, ui->HighLevelT6, ui->LowLevelT6, ui->ChanlEnableT6};
    rows[7] = {ui->T7channel, ui->NameSensorT7, ui->HighLevelT7, ui->LowLevelT7, ui->ChanlEnableT7};
    rows[8] = {ui->T8channel, ui->NameSensorT8, ui->HighLevelT8, ui->LowLevelT8, ui->ChanlEnableT8};
    rows[9] = {ui->T9channel, ui->NameSensorT9, ui->HighLevelT9, ui->LowLevelT9, ui->ChanlEnableT9};
    rows[10] = {ui->T10channel, ui->NameSensorT10, ui->HighLevelT10, ui->LowLevelT10,
                ui->ChanlEnableT10};
    rows[11] = {ui->T11channel, ui->NameSensorT11, ui->HighLevelT11, ui->LowLevelT11,
                ui->ChanlEnableT11};
    connect(&station, &StationCore::configurationApplied, this, &Settings::ShowAllChannels);
    connect(&station, &StationCore::workingDirectoryChanged, this,
            [this](const QString &directory) { WorkingDirectory = directory; });
    connect(&station, &StationCore::soundFileChanged, ui->PathWavFile, &QLabel::setText);
    ShowAllChannels();
}

Settings::~Settings() = default;

void Settings::ShowChannel(int channel)
{
    if (channel < 0 || channel >= Station::ChannelCount)
        return;
    const ChannelSettings record = station.alarms().channel(channel);
    const ChannelWidgets &row = rows[channel];
    row.name->setText(record.ChannelName);
    // Bounds left from the previous record would clamp the new values, and the next
    // edit of the channel would store the clamped ones.
    row.upper->setRange(LowestLimit, HighestLimit);
    row.lower->setRange(LowestLimit, HighestLimit);
    row.upper->setValue(record.UpperLimit);
    row.lower->setValue(record.LowerLimit);
    setCrossLimits(channel);
    row.box->setEnabled(record.ChannelEnabled != 0);
    row.enable->setChecked(record.ChannelEnabled != 0);
}

void Settings::ShowAllChannels()
{
    for (int channel = 0; channel < Station::ChannelCount; ++channel)
        ShowChannel(channel);
}

QString Settings::askSoundFile()
{
    return QFileDialog::getOpenFileName(this, tr("Открыть файл"), WorkingDirectory,
                                        tr("Аудио файлы(*.wav);;Все файлы (*.*)"));
}

void Settings::on_SelectWavFile_clicked()
{
    const QString path = askSoundFile();
    if (!path.isEmpty())
        station.setSoundFile(path);
}

void Settings::ApplyChannelEdits(int channel)
{
    const ChannelWidgets &row = rows[channel];
    station.setChannel(channel, row.name->text(), static_cast<float>(row.upper->value()),
                       static_cast<float>(row.lower->value()));
    setCrossLimits(channel);
}

void Settings::ApplyChannelEnable(int channel)
{
    const bool enabled = rows[channel].enable->isChecked();
    station.setChannelEnabled(channel, enabled);
    rows[channel].box->setEnabled(enabled);
}

void Settings::setCrossLimits(int channel)
{
    const ChannelSettings record = station.alarms().channel(channel);
    rows[channel].upper->setMinimum(static_cast<double>(record.LowerLimit) + LimitGap);
    rows[channel].lower->setMaximum(static_cast<double>(record.UpperLimit) - LimitGap);
}
