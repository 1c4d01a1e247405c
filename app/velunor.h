#pragma once

#include "soundoutput.h"
#include "station.h"
#include "stationtimer.h"

#include <QMainWindow>
#include <QString>

#include <memory>

namespace Ui {
class Velunor;
}
class AlarmSound;
class JournalLauncher;
class LinkStatusBar;
class QLCDNumber;
class QPushButton;
class RealTimeGraph;
class Settings;
class StationCore;
class plotfiles;

// The station's main window: a view of the station's core. It shows the readings, the device
// status, the alarms and the working directory as the core signals them, and hands the
// operator's presses to the core.
class Velunor : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Velunor)

public:
    enum DeviceStatus { StatusWaiting = 0, StatusRequest = 1, StatusNoLink = 2, StatusSearch = 3 };
    static constexpr int ChannelCount = Station::ChannelCount;

    // Held timers never fire, for tests that tick the core themselves; an empty sound factory
    // plays through the platform's sound.
    explicit Velunor(QWidget *parent = nullptr,
                     StationTimer::Mode timers = StationTimer::Mode::Running,
                     SoundOutputFactory sounds = {});
    // Saves the configuration first, as every orderly end does.
    ~Velunor() override;

    StationCore &station() { return *core; }
    QLCDNumber *display(int channel) const;
    QPushButton *channelButton(int channel) const;
    RealTimeGraph *graphWindow(int channel) const;
    Settings *settingsWindow() const { return SettingsWindow.get(); }
    plotfiles *analysisWindow() const { return AnalysisWindow.get(); }
    JournalLauncher *journal() const { return Journal; }

public slots:
    void on_pbPortOpen_clicked();
    void SetDisplayTempEnable(int NumberDev);
    void ShowStatusDevice(int statusDisp);
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

protected:
    virtual QString AskLogDirectory();

private:
    void ConnectCore();
    void ConnectWidgets();
    void ShowPortState(bool open);
    void ShowReading(int channel, float value);
    void ShowDevices(int count);
    void ShowConfiguration();
    void ShowAlarms(const QList<bool> &inAlarm, bool lit);
    void UpdateChannelLabels(const QStringList &names);
    void SetLinkControlsEnabled(bool enabled);
    void ShowGraph(int channel);

    std::unique_ptr<Ui::Velunor> ui;
    std::unique_ptr<StationCore> core;
    std::unique_ptr<Settings> SettingsWindow;
    std::unique_ptr<plotfiles> AnalysisWindow;
    RealTimeGraph *GraphWindow[ChannelCount] = {};
    LinkStatusBar *LinkStatus = nullptr;
    AlarmSound *Sound = nullptr;
    JournalLauncher *Journal = nullptr;
};
