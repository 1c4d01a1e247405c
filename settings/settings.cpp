#include "settings.h"

#include "ui_settings.h"

#include <QFileDialog>

namespace {
// Range of the threshold spin boxes in the form.
constexpr double LowestLimit = -50.0;
constexpr double HighestLimit = 120.0;
// Gap the spin boxes keep between the lower and the upper threshold.
constexpr double LimitGap = 0.1;
// One alarm start repeats the file this often.
constexpr int AlarmLoops = 50;
} // namespace

Settings::Settings(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::Settings>())
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
    SettingsChanged = 0;
}

Settings::~Settings() = default;

void Settings::SetWorkingDirectory(const QString &dir)
{
    WorkingDirectory = dir;
}

void Settings::SetSoundFile(const QString &path)
{
    SoundFilePath = path;
    // The replaced sound falls silent with its file; the new one waits for the next alarm.
    if (AlarmSound)
        AlarmSound->stop();
    AlarmSound.reset();
    AlarmSound = createSoundOutput(path);
    if (AlarmSound)
        AlarmSound->setLoops(AlarmLoops);
    ui->PathWavFile->setText(path);
}

void Settings::ShowChannel(int channel)
{
    if (channel < 0 || channel >= Station::ChannelCount)
        return;
    const ChannelSettings &record = Channel[channel];
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
        SetSoundFile(path);
}

void Settings::ApplyChannelEdits(int channel)
{
    ChannelSettings &record = Channel[channel];
    const ChannelWidgets &row = rows[channel];
    record.ChannelName = row.name->text();
    record.UpperLimit = static_cast<float>(row.upper->value());
    record.LowerLimit = static_cast<float>(row.lower->value());
    setCrossLimits(channel);
    SettingsChanged = 1;
}

void Settings::ApplyChannelEnable(int channel)
{
    const bool enabled = rows[channel].enable->isChecked();
    Channel[channel].ChannelEnabled = enabled ? 1 : 0;
    rows[channel].box->setEnabled(enabled);
}

void Settings::setCrossLimits(int channel)
{
    const ChannelSettings &record = Channel[channel];
    rows[channel].upper->setMinimum(static_cast<double>(record.LowerLimit) + LimitGap);
    rows[channel].lower->setMaximum(static_cast<double>(record.UpperLimit) - LimitGap);
}
