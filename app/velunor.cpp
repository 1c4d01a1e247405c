#include "velunor.h"
#include "ui_velunor.h"

#include "alarmsound.h"
#include "channeltable.h"
#include "journallauncher.h"
#include "linkstatusbar.h"
#include "modbus.h"
#include "plotfiles.h"
#include "plotpictures.h"
#include "portcompleter.h"
#include "realtimegraph.h"
#include "serialdeviceenumerator.h"
#include "settings.h"
#include "stationcore.h"

#include <QFileDialog>

#include <algorithm>

namespace {
using DisplayMember = QLCDNumber *Ui::Velunor::*;
using ButtonMember = QPushButton *Ui::Velunor::*;

constexpr DisplayMember displays[Velunor::ChannelCount] = {
    &Ui::Velunor::TemperatureT0, &Ui::Velunor::TemperatureT1,  &Ui::Velunor::TemperatureT2,
    &Ui::Velunor::TemperatureT3, &Ui::Velunor::TemperatureT4,  &Ui::Velunor::TemperatureT5,
    &Ui::Velunor::TemperatureT6, &Ui::Velunor::TemperatureT7,  &Ui::Velunor::TemperatureT8,
    &Ui::Velunor::TemperatureT9, &Ui::Velunor::TemperatureT10, &Ui::Velunor::TemperatureT11,
};

constexpr ButtonMember buttons[Velunor::ChannelCount] = {
    &Ui::Velunor::label_sensT0, &Ui::Velunor::label_sensT1,  &Ui::Velunor::label_sensT2,
    &Ui::Velunor::label_sensT3, &Ui::Velunor::label_sensT4,  &Ui::Velunor::label_sensT5,
    &Ui::Velunor::label_sensT6, &Ui::Velunor::label_sensT7,  &Ui::Velunor::label_sensT8,
    &Ui::Velunor::label_sensT9, &Ui::Velunor::label_sensT10, &Ui::Velunor::label_sensT11,
};

struct StatusLook
{
    const char *text;
    const char *styleSheet;
};

constexpr StatusLook statusLooks[] = {
    {QT_TRANSLATE_NOOP("Velunor", "ОЖИДАНИЕ"),
     "QLabel { background-color : rgb(48, 255, 25); color : black; }"},
    {QT_TRANSLATE_NOOP("Velunor", "ЗАПРОС"),
     "QLabel { background-color : rgb(255, 255, 0); color : black; }"},
    {QT_TRANSLATE_NOOP("Velunor", "НЕТ СВЯЗИ"),
     "QLabel { background-color : rgb(255, 17, 68); color : black; }"},
    {QT_TRANSLATE_NOOP("Velunor", "ПОИСК..."),
     "QLabel { background-color : rgb(238, 130, 238); color : black; }"},
};

const QString normalStyle = QStringLiteral("color: rgb(0, 255, 0);background-color: rgb(0, 0, 0);");
const QString alarmLitStyle =
    QStringLiteral("color: rgb(255, 0, 0);background-color: rgb(0, 0, 0);");
const QString alarmDarkStyle =
    QStringLiteral("color: rgb(0, 0, 0);background-color: rgb(0, 0, 0);");

// Setting a style sheet re-polishes a widget even when nothing changes.
void setStyleSheetOf(QWidget *widget, const QString &styleSheet)
{
    if (widget->styleSheet() != styleSheet)
        widget->setStyleSheet(styleSheet);
}
} // namespace

Velunor::Velunor(QWidget *parent, StationTimer::Mode timers, SoundOutputFactory sounds)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::Velunor>())
{
    ui->setupUi(this);
    core = std::make_unique<StationCore>(timers);
    // The Speed row's container starts inside the title of its box, whose descenders the row
    // covered, in Windows' own style too; its layout now keeps the row below them.
    const int titleBottom = ui->gbConn->fontMetrics().height();
    ui->formLayout->setContentsMargins(0, std::max(0, titleBottom - ui->formLayoutWidget->y()), 0,
                                       0);
    ui->PathCurrentDirectory->setText(core->workingDirectory());
    new PortCompleter(SerialDeviceEnumerator::instance(), ui->lePort);
    LinkStatus = new LinkStatusBar(statusBar(), ui->label_status_dev, core->link());
    Sound = new AlarmSound(*core, std::move(sounds), this);
    connect(Sound, &AlarmSound::passesEnded, core.get(), &StationCore::AlarmSoundEnded);
    Journal = new JournalLauncher(*core, this, ui->AlarmReset);

    ShowStatusDevice(StatusWaiting);
    ui->StartLog->setEnabled(false);
    ui->StopLog->setEnabled(false);
    SetDisplayTempEnable(0);
    ui->CurrentDisplayTempBox->setEnabled(false);
    ui->StatusDevBox->setEnabled(false);
    ui->SearchDevicesBox->setEnabled(false);

    SettingsWindow = std::make_unique<Settings>(*core, this);
    AnalysisWindow = std::make_unique<plotfiles>(this);
    // Only the main window's close ends the program, whatever else is open.
    SettingsWindow->setAttribute(Qt::WA_QuitOnClose, false);
    AnalysisWindow->setAttribute(Qt::WA_QuitOnClose, false);
    QPalette palette;
    for (int n = 0; n < ChannelCount; ++n) {
        GraphWindow[n] = new RealTimeGraph(this);
        GraphWindow[n]->setAttribute(Qt::WA_QuitOnClose, false);
        GraphWindow[n]->setWindowTitle(tr("График Т%1").arg(n));
        GraphWindow[n]->SetGraphColors(channelLineColor(n), channelFillColor(n));
        GraphWindow[n]->pictures()->directory = [this] { return core->workingDirectory(); };
        palette.setBrush(QPalette::All, QPalette::ButtonText, QBrush(channelLineColor(n)));
        channelButton(n)->setPalette(palette);
    }

    ui->StartLog->setToolTip(tr("Запуск Регистрации Температуры"));
    ui->StopLog->setToolTip(tr("Остановка Регистрации Температуры"));
    ui->SettingAlarm->setToolTip(tr("Настройка Оповещения"));
    ui->GraphAnalisys->setToolTip(tr("Просмотр Архива Регистрации"));

    ConnectCore();
    ConnectWidgets();
    core->start();
}

Velunor::~Velunor()
{
    core->SaveIniToFile();
    core->SaveStateToFile();
    // The windows go before the core they show.
    AnalysisWindow.reset();
    SettingsWindow.reset();
    delete Journal;
    Journal = nullptr;
    delete Sound;
    Sound = nullptr;
    core.reset();
}

void Velunor::ConnectCore()
{
    const DeviceLink &link = core->link();
    connect(&link, &DeviceLink::portStateChanged, this, &Velunor::ShowPortState);
    connect(&link, &DeviceLink::statusChanged, this, &Velunor::ShowStatusDevice);
    connect(&link, &DeviceLink::readingArrived, this, &Velunor::ShowReading);
    connect(&link, &DeviceLink::devicesChanged, this, &Velunor::ShowDevices);
    connect(core.get(), &StationCore::configurationApplied, this, &Velunor::ShowConfiguration);
    connect(core.get(), &StationCore::workingDirectoryChanged, ui->PathCurrentDirectory,
            &QLabel::setText);
    connect(core.get(), &StationCore::channelNamesChanged, this, &Velunor::UpdateChannelLabels);
    connect(&core->alarms(), &AlarmMonitor::alarmsEvaluated, this, &Velunor::ShowAlarms);
    connect(core.get(), &StationCore::configurationDamaged, this, [this](bool copyKept) {
        statusBar()->showMessage(
            copyKept ? tr("Файл Monitor.ini повреждён, копия сохранена в Monitor.ini.bad")
                     : tr("Файл Monitor.ini повреждён и не будет перезаписан"));
    });

    const LogRecorder &recorder = core->recorder();
    connect(&recorder, &LogRecorder::recordingChanged, ui->StartLog, &QToolButton::setChecked);
    connect(&recorder, &LogRecorder::fileStarted, this, [this](const QString &path, bool fresh) {
        if (fresh)
            statusBar()->showMessage(tr("Новый файл регистрации %1").arg(path));
        else
            statusBar()->clearMessage();
    });
    connect(&recorder, &LogRecorder::writeFailed, this, [this](const QString &path) {
        statusBar()->showMessage(tr("Не удалось записать файл регистрации %1").arg(path));
    });
    connect(&recorder, &LogRecorder::writeRecovered, this,
            [this](const QString &path, qint64 lost) {
                statusBar()->showMessage(
                    tr("Запись в файл регистрации %1 возобновлена, потеряно записей: %2")
                        .arg(path)
                        .arg(lost));
            });
}

void Velunor::ConnectWidgets()
{
    // The fields are the core's configuration as the operator edits it, saved as it is.
    connect(ui->lePort, &QLineEdit::textChanged, core.get(), &StationCore::setPortName);
    connect(ui->cbBaud, &QComboBox::currentIndexChanged, core.get(), &StationCore::setSpeedIndex);
    connect(ui->SensorsReadInterval, &QSpinBox::valueChanged, core.get(),
            &StationCore::setPollInterval);
    core->setPortName(ui->lePort->text());
    core->setSpeedIndex(ui->cbBaud->currentIndex());
    core->setPollInterval(ui->SensorsReadInterval->value());
}

QLCDNumber *Velunor::display(int channel) const
{
    if (channel < 0 || channel >= ChannelCount)
        return nullptr;
    return ui.get()->*displays[channel];
}

QPushButton *Velunor::channelButton(int channel) const
{
    if (channel < 0 || channel >= ChannelCount)
        return nullptr;
    return ui.get()->*buttons[channel];
}

RealTimeGraph *Velunor::graphWindow(int channel) const
{
    return channel >= 0 && channel < ChannelCount ? GraphWindow[channel] : nullptr;
}

void Velunor::ShowStatusDevice(int statusDisp)
{
    if (statusDisp < StatusWaiting || statusDisp > StatusSearch)
        return;
    const StatusLook &look = statusLooks[statusDisp];
    ui->label_status_dev->setText(tr(look.text));
    setStyleSheetOf(ui->label_status_dev, QString::fromLatin1(look.styleSheet));
}

void Velunor::SetDisplayTempEnable(int NumberDev)
{
    int enabledButtons = 0;
    if (NumberDev >= 1 && NumberDev <= ChannelCount / 2)
        enabledButtons = 2 * NumberDev;
    for (int n = 0; n < ChannelCount; ++n)
        channelButton(n)->setEnabled(n < enabledButtons);
    if (NumberDev == 0) {
        for (int n = 0; n < ChannelCount; ++n)
            display(n)->display(QStringLiteral(" "));
    }
}

void Velunor::ShowPortState(bool open)
{
    ui->cbBaud->setEnabled(!open);
    ui->lePort->setEnabled(!open);
    ui->pbPortOpen->setText(open ? QStringLiteral("Close") : QStringLiteral("Open"));
    SetLinkControlsEnabled(open);
}

void Velunor::SetLinkControlsEnabled(bool enabled)
{
    ui->StartLog->setEnabled(enabled);
    ui->StopLog->setEnabled(enabled);
    ui->CurrentDisplayTempBox->setEnabled(enabled);
    ui->StatusDevBox->setEnabled(enabled);
    ui->SearchDevicesBox->setEnabled(enabled);
}

void Velunor::ShowReading(int channel, float value)
{
    display(channel)->display(Modbus::temperatureText(value));
    if (Station::isValidTemperature(value))
        GraphWindow[channel]->AddPoint(double(value));
}

void Velunor::ShowDevices(int count)
{
    ui->NumberOfDevices->display(count);
    SetDisplayTempEnable(count);
}

void Velunor::ShowConfiguration()
{
    ui->lePort->setText(core->portName());
    ui->cbBaud->setCurrentIndex(core->speedIndex());
    ui->SensorsReadInterval->setValue(core->link().pollInterval());
}

void Velunor::ShowAlarms(const QList<bool> &inAlarm, bool lit)
{
    for (int n = 0; n < ChannelCount; ++n) {
        const QString &style = !inAlarm.value(n) ? normalStyle
                               : lit             ? alarmLitStyle
                                                 : alarmDarkStyle;
        setStyleSheetOf(display(n), style);
    }
}

void Velunor::UpdateChannelLabels(const QStringList &names)
{
    for (int n = 0; n < ChannelCount; ++n)
        channelButton(n)->setText(QStringLiteral("T%1 ").arg(n) + names.value(n));
}

void Velunor::on_pbPortOpen_clicked()
{
    core->TogglePort();
}

void Velunor::on_SearchDevice_pushButton_clicked()
{
    core->StartSearch();
}

void Velunor::on_StartLog_pressed()
{
    core->ToggleRecording();
}

void Velunor::on_StartLog_released()
{
    // The button toggles itself on every click; recording decides what it shows.
    ui->StartLog->setChecked(core->recorder().isRecording());
}

void Velunor::on_StartLog_clicked() {}

void Velunor::on_StopLog_clicked()
{
    core->StopRecording();
    ui->StartLog->setChecked(false);
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
    if (!directory.isEmpty())
        core->setWorkingDirectory(directory + QLatin1Char('/'));
}

void Velunor::on_AlarmReset_clicked()
{
    core->AlarmReset();
}

void Velunor::on_SettingAlarm_clicked()
{
    SettingsWindow->show();
}

void Velunor::on_GraphAnalisys_clicked()
{
    AnalysisWindow->SetAnalysisDirectory(core->workingDirectory());
    AnalysisWindow->show();
}

void Velunor::ShowGraph(int channel)
{
    GraphWindow[channel]->show();
}

// clang-format off
void Velunor::on_label_sensT0_clicked() { ShowGraph(0); }
void Velunor::on_label_sensT1_clicked() { ShowGraph(1); }
void Velunor::on_label_sensT2_clicked() { ShowGraph(2); }
void Velunor::on_label_sensT3_clicked() { ShowGraph(3); }
void Velunor::on_label_sensT4_clicked() { ShowGraph(4); }
void Velunor::on_label_sensT5_clicked() { ShowGraph(5); }
void Velunor::on_label_sensT6_clicked() { ShowGraph(6); }
void Velunor::on_label_sensT7_clicked() { ShowGraph(7); }
void Velunor::on_label_sensT8_clicked() { ShowGraph(8); }
void Velunor::on_label_sensT9_clicked() { ShowGraph(9); }
void Velunor::on_label_sensT10_clicked() { ShowGraph(10); }
void Velunor::on_label_sensT11_clicked() { ShowGraph(11); }
// clang-format on
