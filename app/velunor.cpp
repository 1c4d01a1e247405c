#include "velunor.h"
#include "ui_velunor.h"

#include "abstractserial.h"
#include "channeltable.h"
#include "linkstatusbar.h"
#include "plotfiles.h"
#include "plotpictures.h"
#include "portcompleter.h"
#include "realtimegraph.h"
#include "serialdeviceenumerator.h"
#include "settings.h"
#include "stationpaths.h"

#include <QTimer>

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
} // namespace

Velunor::Velunor(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::Velunor>())
{
    ui->setupUi(this);
    // The Speed row's container starts inside the title of its box, whose descenders the row
    // covered, in Windows' own style too; its layout now keeps the row below them.
    const int titleBottom = ui->gbConn->fontMetrics().height();
    ui->formLayout->setContentsMargins(0, std::max(0, titleBottom - ui->formLayoutWidget->y()), 0,
                                       0);
    ui->PathCurrentDirectory->setText(defaultLogDirectory());
    new PortCompleter(SerialDeviceEnumerator::instance(), ui->lePort);

    SerialDevice = std::make_unique<AbstractSerial>();
    connect(SerialDevice.get(), &QIODevice::readyRead, this, &Velunor::serialRecieve);
    LinkStatus = new LinkStatusBar(statusBar(), ui->label_status_dev, SerialDevice.get());

    ShowStatusDevice(StatusWaiting);

    TimerRequest = new QTimer(this);
    TimerCommunication = new QTimer(this);
    TimerAlarm = new QTimer(this);
    connect(TimerRequest, &QTimer::timeout, this, &Velunor::SendRequestReadTemperature);
    connect(TimerCommunication, &QTimer::timeout, this, &Velunor::ProccessCommunication);
    connect(TimerAlarm, &QTimer::timeout, this, &Velunor::ControlTermoAlarm);

    PollActive = false;
    LogActive = false;
    SearchActive = false;
    DeviceCount = 0;
    // No device has answered yet; a believable 0.0 would be logged and watched as measured.
    std::fill(std::begin(CurrentTemp), std::end(CurrentTemp), NoReading);

    ui->StartLog->setEnabled(false);
    ui->StopLog->setEnabled(false);
    SetDisplayTempEnable(0);
    ui->CurrentDisplayTempBox->setEnabled(false);
    ui->StatusDevBox->setEnabled(false);
    ui->SearchDevicesBox->setEnabled(false);

    SettingsWindow = std::make_unique<Settings>(this);
    AnalysisWindow = std::make_unique<plotfiles>(this);
    for (RealTimeGraph *&graph : GraphWindow)
        graph = new RealTimeGraph(this);
    // Only the main window's close ends the program, whatever else is open.
    SettingsWindow->setAttribute(Qt::WA_QuitOnClose, false);
    AnalysisWindow->setAttribute(Qt::WA_QuitOnClose, false);
    for (RealTimeGraph *graph : GraphWindow)
        graph->setAttribute(Qt::WA_QuitOnClose, false);

    for (int n = 0; n < ChannelCount; ++n) {
        GraphWindow[n]->setWindowTitle(tr("График Т%1").arg(n));
        GraphWindow[n]->SetGraphColors(channelLineColor(n), channelFillColor(n));
        GraphWindow[n]->pictures()->directory = [this] { return ui->PathCurrentDirectory->text(); };
    }

    QPalette palette;
    for (int n = 0; n < ChannelCount; ++n) {
        palette.setBrush(QPalette::All, QPalette::ButtonText, QBrush(channelLineColor(n)));
        channelButton(n)->setPalette(palette);
    }

    ui->StartLog->setToolTip(tr("Запуск Регистрации Температуры"));
    ui->StopLog->setToolTip(tr("Остановка Регистрации Температуры"));
    ui->SettingAlarm->setToolTip(tr("Настройка Оповещения"));
    ui->GraphAnalisys->setToolTip(tr("Просмотр Архива Регистрации"));

    for (ChannelSettings &channel : SettingsWindow->Channel) {
        channel.ChannelName = tr("Датчик");
        channel.UpperLimit = 40.0f;
        channel.LowerLimit = 10.0f;
        channel.ChannelEnabled = 0;
    }
    SettingsWindow->ShowAllChannels();

    SettingsWindow->SetWorkingDirectory(defaultWorkingDirectory());

    ReadIniFromFile();

    TimerAlarm->start(650);

    SettingsWindow->SettingsChanged = 1;
    AlarmSoundStarted = 0;
    BlinkPhase = 0;
}

Velunor::~Velunor()
{
    SaveIniToFile();

    if (SerialDevice->isOpen())
        SerialDevice->close();
    SerialDevice.reset();

    delete TimerRequest;
    delete TimerCommunication;
    delete TimerAlarm;
    TimerRequest = TimerCommunication = TimerAlarm = nullptr;

    ui.reset();

    AnalysisWindow.reset();
    SettingsWindow.reset();
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

void Velunor::ShowStatusDevice(int statusDisp)
{
    if (statusDisp < StatusWaiting || statusDisp > StatusSearch)
        return;
    const StatusLook &look = statusLooks[statusDisp];
    QLabel *label = ui->label_status_dev;
    label->setText(tr(look.text));
    // Called on every request; setting a style sheet re-polishes the label even when unchanged.
    const QString styleSheet = QString::fromLatin1(look.styleSheet);
    if (label->styleSheet() != styleSheet)
        label->setStyleSheet(styleSheet);
}

void Velunor::SetDisplayTempEnable(int NumberDev)
{
    int enabledButtons = 0;
    if (NumberDev >= 1 && NumberDev <= ShownDevices)
        enabledButtons = 2 * NumberDev;
    for (int n = 0; n < ChannelCount; ++n)
        channelButton(n)->setEnabled(n < enabledButtons);
    if (NumberDev == 0) {
        for (int n = 0; n < ChannelCount; ++n)
            display(n)->display(QStringLiteral(" "));
    }
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

void Velunor::on_GraphAnalisys_clicked()
{
    AnalysisWindow->SetAnalysisDirectory(ui->PathCurrentDirectory->text());
    AnalysisWindow->show();
}
