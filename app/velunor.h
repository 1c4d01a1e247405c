#pragma once

#include <QDateTime>
#include <QMainWindow>
#include <QString>

#include <memory>

#include "answerassembler.h"
#include "logfilewriter.h"
#include "station.h"

namespace Ui {
class Velunor;
}
class AbstractSerial;
class LinkStatusBar;
class QLCDNumber;
class QPushButton;
class QTimer;
class RealTimeGraph;
class Settings;
class plotfiles;

// The station's main window. It owns every piece of run-time state: the serial line, the
// timers that drive polling and alarm evaluation, the device table, the latest readings
// and the secondary windows. Its behaviour is split over velunor_*.cpp by concern.
class Velunor : public QMainWindow
{
    Q_OBJECT

public:
    enum DeviceStatus { StatusWaiting = 0, StatusRequest = 1, StatusNoLink = 2, StatusSearch = 3 };
    static constexpr int ChannelCount = Station::ChannelCount;
    static constexpr int ShownDevices = ChannelCount / 2;
    // What CurrentTemp holds for a channel whose device gave no answer: given up in the cycle,
    // or not heard since the start or the last search. It shows as "---", adds no graph point,
    // is implausible to the alarm filter and is logged as "nan".
    static constexpr float NoReading = Station::NoReading;

    explicit Velunor(QWidget *parent = nullptr);
    ~Velunor() override;

    // State shared with the secondary windows and the periodic slots; all on the GUI thread.
    std::unique_ptr<Ui::Velunor> ui;
    std::unique_ptr<AbstractSerial> SerialDevice;
    QString LogFilePath;
    std::unique_ptr<Settings> SettingsWindow;
    std::unique_ptr<plotfiles> AnalysisWindow;
    RealTimeGraph *GraphWindow[ChannelCount] = {};
    QTimer *TimerRequest = nullptr;
    QTimer *TimerCommunication = nullptr;
    QTimer *TimerAlarm = nullptr;
    bool PollActive = false;
    // The poll period elapsed while a cycle was running: the next cycle follows it at once.
    bool PollDue = false;
    bool LogActive = false;
    bool SearchActive = false;
    float CurrentTemp[ChannelCount] = {};
    int AlarmSoundStarted = 0;
    int BlinkPhase = 0;
    quint8 DeviceAddress[256] = {};
    int DeviceCount = 0;
    quint8 SearchAddress = 0;
    int PollIndex = 0;
    unsigned int NoAnswerCount = 0;
    // Channels in the header of the log file being written.
    int LogChannelCount = 0;
    // Monitor.ini is damaged and no copy of it could be kept: it is not overwritten at exit.
    bool KeepConfigFile = false;
    // Answer rate, per-device counts and search progress on the status bar, which owns it.
    LinkStatusBar *LinkStatus = nullptr;

    QLCDNumber *display(int channel) const;
    QPushButton *channelButton(int channel) const;

    // Everything the receive path does with one block once it is read from the line.
    void ProcessAnswer(const QByteArray &block);
    // Bytes received so far belong to the request before the next one.
    void DiscardReceived() { answer.clear(); }
    qsizetype ReceivedSize() const { return answer.pendingSize(); }
    // Every value of a stored configuration, applied in file order; opening the port is left out.
    // False when the content is damaged: values missing, left over, not numbers or out of range.
    bool ApplyConfiguration(const QByteArray &content);
    bool MonitoringActive() const;
    void SetAlarmStyle(int channel, bool alarm);
    void UpdateChannelLabels();
    QString MakeLogFileName(const QDateTime &start) const;
    void WriteLogRecord();
    // A channel's value as the log records it and as the station reports it anywhere else.
    QString LoggedValue(int channel) const;

public slots:
    void on_pbPortOpen_clicked();
    void serialRecieve();
    void SendRequestReadTemperature();
    void ControlTermoAlarm();
    void ProccessCommunication();
    void SetDisplayTempEnable(int NumberDev);
    void ShowStatusDevice(int statusDisp);
    void ReadIniFromFile();
    void SaveIniToFile();
    void on_StartLog_clicked();
    void on_StopLog_clicked();
    void on_GraphAnalisys_clicked();
    void on_CurrentDirectory_clicked();
    void on_SearchDevice_pushButton_clicked();
    void on_label_sensT0_clicked();
    void on_label_sensT1_clicked();
    void on_label_sensT2_clicked();
    void on_label_sensT3_clicked();
    void on_label_sensT4_clicked();
    void on_label_sensT5_clicked();
    void on_label_sensT6_clicked();
    void on_label_sensT7_clicked();
    void on_label_sensT8_clicked();
    void on_label_sensT9_clicked();
    void on_label_sensT10_clicked();
    void on_label_sensT11_clicked();
    void on_StartLog_pressed();
    void on_AlarmReset_clicked();
    void on_SettingAlarm_clicked();
    void on_StartLog_released();

signals:
    // For observers such as the plant publisher; the station itself does not listen.
    void pollCycleFinished();
    void alarmsEvaluated();
    void alarmReset();

protected:
    virtual QString AskLogDirectory();

private:
    bool StartLogFile();
    QByteArray LogHeader() const;
    // Says on the status bar when writing starts to fail and when it works again; true when the
    // file was written.
    bool ShowLogOutcome(LogFileWriter::Outcome outcome);
    void SendRequest(const QByteArray &body);
    void StartPollCycle();
    void FinishPollCycle();
    void ForgetReadings(int device);
    void ShowGraph(int channel);
    void SetLinkControlsEnabled(bool enabled);
    void KeepBadConfiguration();

    // Bytes received since the last request went out: a UART answer often arrives split over
    // several notifications and is only checked once it is complete.
    AnswerAssembler answer;
    LogFileWriter LogWriter;
};

// Poll-period ticks since the last cycle started; signed 8-bit on purpose, it wraps.
extern qint8 RequestTicks;
// What the alarm filter last believed of each channel, and for how many ticks it has doubted it.
extern float AcceptedTemp[Velunor::ChannelCount];
extern int OutOfRangeCount[Velunor::ChannelCount];
