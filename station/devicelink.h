#pragma once

#include "answerassembler.h"
#include "linkhealth.h"
#include "station.h"
#include "stationtimer.h"

#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <memory>

class AbstractSerial;

// The serial line to the devices: the port, the device search, the poll cycle and the receive
// path. Two timers drive it: the poll period, one tick a second, and the request pacing, 100 ms
// after opening and 45 ms from the first request on. What happens on the line is told through
// signals; the readings stay here.
class DeviceLink final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceLink)

public:
    enum DeviceStatus { StatusWaiting = 0, StatusRequest = 1, StatusNoLink = 2, StatusSearch = 3 };
    static constexpr int ShownDevices = Station::ChannelCount / 2;
    static constexpr int MaxDevices = 256;
    using Readings = Station::Readings;

    explicit DeviceLink(StationTimer::Mode timers, QObject *parent = nullptr);
    ~DeviceLink() override;

    // Opens the port at the speed given as its text ("9600"), 8N1 without flow control, and starts
    // the timers. False, with nothing changed, when the port does not open.
    bool open(const QString &name, const QString &speed);
    // As open(), and when the port is not there yet, tries again every second until it opens
    // or close() is called, as the serial layer does for a port unplugged while open.
    bool keepOpening(const QString &name, const QString &speed);
    // Closing interrupts: a cycle or search in progress goes on after the next open.
    void close();
    bool isOpen() const;
    bool isReopening() const { return TimerReopen->isActive(); }
    QString portName() const;
    // What the port runs at, in bit/s; 0 when unknown.
    int speed() const;

    // Replaces the device table, as a stored configuration does; at most MaxDevices are kept.
    void setDevices(const QList<quint8> &addresses);
    QList<quint8> devices() const;
    int deviceCount() const { return DeviceCount; }
    // The device count last announced by devicesChanged(): during a search it is still the
    // count before it.
    int announcedDevices() const { return announced; }
    bool isSearching() const { return SearchActive; }
    bool isPolling() const { return PollActive; }

    // Seconds between poll cycles, 1 to 10; others are brought into that range.
    void setPollInterval(int seconds);
    int pollInterval() const { return SensorsReadInterval; }

    // Last value decoded per channel, out of range or not; NoReading while the device gives none.
    float reading(int channel) const;
    const Readings &readings() const { return CurrentTemp; }
    const LinkHealth &health() const { return counts; }

public slots:
    void StartSearch();
    // Tick of the poll period: starts a cycle every SensorsReadInterval ticks.
    void SendRequestReadTemperature();
    // Tick of the request pacing: one probe or poll request, and the no-answer limit.
    void ProccessCommunication();
    void serialRecieve();
    // Tick of the wait for a port that was not there: another try to open it.
    void RetryOpen();
    // Everything the receive path does with a block once it is read from the line.
    void ProcessAnswer(const QByteArray &block);

signals:
    void portStateChanged(bool open);
    // The open port went away (an adapter unplugged, a device server's connection lost), or is
    // back: the serial layer takes it up again by itself.
    void portLostChanged(bool lost);
    void statusChanged(int status);
    // A channel's new value: decoded from an answer, or NoReading when its device was given up
    // or the devices changed.
    void readingArrived(int channel, float value);
    // The device table was replaced, by a stored configuration or a finished search.
    void devicesChanged(int count);
    void searchStarted();
    void searchProgress(int address, int found);
    void searchFinished();
    void cycleFinished();
    void requestSent(quint8 address);
    // Bytes were taken off the line as one block, for the receive path.
    void bytesReceived(qsizetype count);
    void deviceAnswered(quint8 address);
    // The device did not answer LinkHealth::SilenceLimit requests in a row.
    void deviceFellSilent(quint8 address);
    // Of the last settled requests, in percent; -1 while none is settled.
    void answerRateChanged(int percent);
    // The port did not open; with keepOpening() said for the first failure only.
    void openFailed(const QString &name, const QString &reason);
    // The poll path turned without a cycle in progress: a tick of the poll period between
    // cycles, a step of a search, a try to open a missing port. With cycleFinished() it is
    // what a watchdog takes as the station being alive; a cycle that hangs stops both.
    void heartbeat();

private:
    void setStatus(DeviceStatus status);
    void SendRequest(const QByteArray &body);
    void StartPollCycle();
    void FinishPollCycle();
    void FinishSearch();
    void ForgetReadings(int device);
    void TakeAnswer(const QByteArray &frame);
    void updateRate();
    void settled(quint8 address, bool fellSilent);

    std::unique_ptr<AbstractSerial> SerialDevice;
    StationTimer *TimerRequest;
    StationTimer *TimerCommunication;
    StationTimer *TimerReopen;
    QString reopenSpeed;
    bool PollActive = false;
    // The poll period elapsed while a cycle was running: the next cycle follows it at once.
    bool PollDue = false;
    bool SearchActive = false;
    Readings CurrentTemp;
    quint8 DeviceAddress[MaxDevices] = {};
    int DeviceCount = 0;
    int announced = 0;
    quint8 SearchAddress = 0;
    int PollIndex = 0;
    unsigned int NoAnswerCount = 0;
    // Poll-period ticks since the last cycle started; signed 8-bit on purpose, it wraps.
    qint8 RequestTicks = 4;
    int SensorsReadInterval = 5;
    DeviceStatus status = StatusWaiting;
    // Bytes received since the last request went out: a UART answer often arrives split over
    // several notifications and is only checked once it is complete.
    AnswerAssembler answer;
    LinkHealth counts;
    int shownRate = -1;
};
