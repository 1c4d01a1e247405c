// The device link: request frames out, answers in, decoded into the channel displays.
#include "ui_velunor.h"
#include "velunor.h"

#include "abstractserial.h"
#include "linkstatusbar.h"
#include "modbus.h"
#include "realtimegraph.h"

#include <QDebug>
#include <QLCDNumber>

void Velunor::SendRequest(const QByteArray &body)
{
    DiscardReceived();
    SerialDevice->write(Modbus::withCrc(body));
}

void Velunor::serialRecieve()
{
    const quint16 waiting = quint16(SerialDevice->bytesAvailable());
    qDebug() << "Recieved bytes: " << waiting;
    // A block of this size is read with the bytes that follow it.
    if (waiting >= 28 && waiting <= 36)
        return;
    qDebug() << "Recieved bytes: " << SerialDevice->bytesAvailable();
    ProcessAnswer(SerialDevice->readAll());
}

void Velunor::ProcessAnswer(const QByteArray &block)
{
    if (PollActive && !SearchActive && !block.isEmpty())
        LinkStatus->bytesArrived();
    const QByteArray frame = answer.add(block);
    if (frame.isEmpty())
        return;
    qDebug() << "Recieved bytes checked paket: " << frame.size();

    const quint8 address = quint8(frame[0]);
    const quint8 function = quint8(frame[1]);

    if (SearchActive) {
        // A device that answers one probe twice is still one device.
        const bool known = DeviceCount > 0 && DeviceAddress[DeviceCount - 1] == SearchAddress;
        if (address == SearchAddress && function == Modbus::ReadHoldingRegisters && !known &&
            DeviceCount < int(sizeof(DeviceAddress))) {
            DeviceAddress[DeviceCount] = SearchAddress;
            ++DeviceCount;
        }
        return;
    }

    if (!PollActive || PollIndex < 0 || PollIndex >= DeviceCount)
        return;
    if (address != DeviceAddress[PollIndex] || function != Modbus::ReadHoldingRegisters ||
        quint8(frame[2]) != 4 || frame.size() != Modbus::TemperatureAnswerSize)
        return;

    const float first = Modbus::temperatureAt(frame, 3);
    const float second = Modbus::temperatureAt(frame, 5);
    if (PollIndex < ShownDevices) {
        const int channel = 2 * PollIndex;
        display(channel)->display(Modbus::temperatureText(first));
        if (Station::isValidTemperature(first))
            GraphWindow[channel]->AddPoint(double(first));
        display(channel + 1)->display(Modbus::temperatureText(second));
        if (Station::isValidTemperature(second))
            GraphWindow[channel + 1]->AddPoint(double(second));
        CurrentTemp[channel] = first;
        CurrentTemp[channel + 1] = second;
    }

    LinkStatus->answered(address);
    NoAnswerCount = 0;
    ++PollIndex;
    if (PollIndex >= DeviceCount) {
        ShowStatusDevice(StatusWaiting);
        FinishPollCycle();
    }
}
