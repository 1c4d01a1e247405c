// Connection control, device search and the poll cycle.
#include "ui_velunor.h"
#include "velunor.h"

#include "abstractserial.h"
#include "linkstatusbar.h"
#include "modbus.h"

#include <QDebug>
#include <QLCDNumber>
#include <QTimer>

#include <algorithm>

qint8 RequestTicks = 4;

namespace {
constexpr int requestIntervalMs = 1000;
constexpr int firstRequestDelayMs = 100;
constexpr int requestPacingMs = 45;
constexpr unsigned int noAnswerLimit = 20;
constexpr quint8 searchEnd = 255;
} // namespace

void Velunor::SetLinkControlsEnabled(bool enabled)
{
    ui->StartLog->setEnabled(enabled);
    ui->StopLog->setEnabled(enabled);
    ui->CurrentDisplayTempBox->setEnabled(enabled);
    ui->StatusDevBox->setEnabled(enabled);
    ui->SearchDevicesBox->setEnabled(enabled);
}

void Velunor::on_pbPortOpen_clicked()
{
    if (SerialDevice->isOpen()) {
        SerialDevice->close();
        TimerRequest->stop();
        TimerCommunication->stop();
        ui->cbBaud->setEnabled(true);
        ui->lePort->setEnabled(true);
        ui->pbPortOpen->setText(QStringLiteral("Open"));
        SetLinkControlsEnabled(false);
        return;
    }

    SerialDevice->setDeviceName(ui->lePort->text());
    if (!SerialDevice->open(QIODevice::ReadWrite)) {
        qDebug() << "Error opened serial device " << SerialDevice->deviceName();
        return;
    }
    qDebug() << "Порт " << SerialDevice->deviceName() << " открыт в режиме "
             << SerialDevice->openMode();
    SerialDevice->setBaudRate(ui->cbBaud->currentText(), AbstractSerial::BaudBoth);
    SerialDevice->setDataBits(AbstractSerial::DataBits8);
    SerialDevice->setParity(AbstractSerial::ParityNone);
    SerialDevice->setStopBits(AbstractSerial::StopBits1);
    SerialDevice->setFlowControl(AbstractSerial::FlowControlOff);
    ui->cbBaud->setEnabled(false);
    ui->lePort->setEnabled(false);
    ui->pbPortOpen->setText(QStringLiteral("Close"));
    SetLinkControlsEnabled(true);
    TimerRequest->start(requestIntervalMs);
    TimerCommunication->start(firstRequestDelayMs);
}

void Velunor::SendRequestReadTemperature()
{
    ++RequestTicks;
    if (RequestTicks >= ui->SensorsReadInterval->value() && DeviceCount > 0) {
        RequestTicks = 0;
        // Restarting a running cycle would starve every device after a slow or silent one.
        if (PollActive)
            PollDue = true;
        else
            StartPollCycle();
    }
}

void Velunor::StartPollCycle()
{
    PollIndex = 0;
    PollActive = true;
}

void Velunor::FinishPollCycle()
{
    PollActive = false;
    if (LogActive)
        WriteLogRecord();
    emit pollCycleFinished();
    if (PollDue) {
        PollDue = false;
        StartPollCycle();
    }
}

void Velunor::ForgetReadings(int device)
{
    if (device < 0 || device >= ShownDevices)
        return;
    for (int channel : {2 * device, 2 * device + 1}) {
        CurrentTemp[channel] = NoReading;
        display(channel)->display(Modbus::temperatureText(NoReading));
    }
}

void Velunor::ProccessCommunication()
{
    if (NoAnswerCount > noAnswerLimit) {
        ShowStatusDevice(StatusNoLink);
        NoAnswerCount = 0;
        if (PollActive) {
            ForgetReadings(PollIndex);
            if (PollIndex >= 0 && PollIndex < DeviceCount)
                LinkStatus->timedOut(DeviceAddress[PollIndex]);
            ++PollIndex;
            if (PollIndex >= DeviceCount)
                FinishPollCycle();
        }
    }

    if (SearchActive) {
        ++SearchAddress;
        if (SearchAddress == searchEnd) {
            ui->NumberOfDevices->display(DeviceCount);
            SearchActive = false;
            // Channels now belong to the devices found; none of them has answered a poll yet,
            // and none is judged before it has.
            std::fill(std::begin(CurrentTemp), std::end(CurrentTemp), NoReading);
            std::fill(std::begin(AcceptedTemp), std::end(AcceptedTemp), NoReading);
            std::fill(std::begin(OutOfRangeCount), std::end(OutOfRangeCount), 0);
            for (int device = 0; device < qMin(DeviceCount, int(ShownDevices)); ++device)
                ForgetReadings(device);
            SetDisplayTempEnable(DeviceCount);
            ShowStatusDevice(StatusWaiting);
            LinkStatus->searchEnded();
            TimerRequest->start(requestIntervalMs);
            TimerCommunication->start(requestPacingMs);
        } else {
            SendRequest(Modbus::probeRequest(SearchAddress));
            LinkStatus->probing(SearchAddress, DeviceCount);
            TimerCommunication->start(requestPacingMs);
        }
    } else if (PollActive) {
        // A search can shrink the table under a pending cycle; its remaining places are gone.
        if (PollIndex < 0 || PollIndex >= DeviceCount) {
            PollActive = false;
            PollDue = false;
            return;
        }
        SendRequest(Modbus::temperatureRequest(DeviceAddress[PollIndex]));
        LinkStatus->requestSent(DeviceAddress[PollIndex]);
        TimerCommunication->start(requestPacingMs);
        ++NoAnswerCount;
        ShowStatusDevice(StatusRequest);
    }
}

void Velunor::on_SearchDevice_pushButton_clicked()
{
    DeviceCount = 0;
    SearchAddress = 1;
    TimerRequest->stop();
    SearchActive = true;
    ShowStatusDevice(StatusSearch);
    LinkStatus->searchStarted();
}
