#pragma once

#include "alarmjournal.h"
#include "alarmmonitor.h"
#include "devicelink.h"
#include "logrecorder.h"
#include "statefile.h"
#include "stationconfig.h"
#include "stationtimer.h"

#include <QObject>
#include <QString>

// The station without its windows: the device link, the alarm monitor and the recorder, the alarm
// tick that joins them, and the configuration they are started from and saved to (Monitor.ini in
// the current directory). Views show what its parts signal and hand the operator's presses to it.
class StationCore final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StationCore)

public:
    enum class ConfigState { Missing, Unreadable, Read, Damaged };

    explicit StationCore(StationTimer::Mode timers = StationTimer::Mode::Running,
                         QObject *parent = nullptr);
    ~StationCore() override;

    const DeviceLink &link() const { return *Link; }
    DeviceLink &link() { return *Link; }
    const AlarmMonitor &alarms() const { return *Alarms; }
    AlarmMonitor &alarms() { return *Alarms; }
    const LogRecorder &recorder() const { return *Recorder; }
    const AlarmJournal &journal() const { return *Journal; }
    AlarmJournal &journal() { return *Journal; }

    // Reads the stored configuration, which opens the port when the file was there, and starts
    // the alarm tick. A station that was recording when it ended records again once the port is
    // open and its devices are known.
    ConfigState start();
    ConfigState ReadIniFromFile();
    void SaveIniToFile();
    // Writes whether the station records (Grelvix.state); done at every start and stop of
    // recording, and again at an orderly end.
    void SaveStateToFile();
    // A port that does not open at start is tried again every second, until it opens or the
    // port is closed: for a station nobody watches.
    void setReopenMissingPort(bool reopen) { ReopenMissingPort = reopen; }
    // Every value Monitor.ini holds, as the station has it now.
    StationConfig configuration() const;

    // The port's name as typed and the index of its speed: taken when the port opens, and saved.
    void setPortName(const QString &name);
    void setSpeedIndex(int index);
    QString portName() const { return PortName; }
    int speedIndex() const { return SpeedIndex; }
    // Opens the port when it is closed and closes it when it is open.
    void TogglePort();
    void setPollInterval(int seconds);
    // The log directory, a prefix the file name follows directly ("/srv/logs/").
    void setWorkingDirectory(const QString &directory);
    QString workingDirectory() const { return WorkingDirectory; }
    void setSoundFile(const QString &path);
    QString soundFile() const { return SoundFilePath; }
    // Whether anything plays the sound the alarms ask for; a station without a window has none.
    void setSoundPlayed(bool played) { SoundPlayed = played; }
    bool soundPlayed() const { return SoundPlayed; }

    void setChannel(int channel, const QString &name, float upper, float lower);
    void setChannelEnabled(int channel, bool enabled);

    void StartSearch();
    void AlarmReset();
    // The alarm sound played its passes out and fell silent by itself: the journal says so.
    void AlarmSoundEnded(int passes);
    // Starts recording into a new file, or stops it when it is on; nothing without devices.
    void ToggleRecording();
    void StopRecording();
    // Records as a press of the record button would, as soon as the port is open and devices
    // are known, and keeps that wish across restarts until recording is stopped.
    void requestRecording();
    // Recording is on, or will be once the port is open and devices are known.
    bool recordingWanted() const { return RecordingWanted; }

    // The alarm tick evaluates only with the port open and devices shown.
    bool MonitoringActive() const;

public slots:
    // Alarm tick: the channel captions when they changed, then, while monitoring, the alarms.
    void ControlTermoAlarm();

signals:
    // The configuration was read and applied, before the port opens.
    void configurationApplied(const StationConfig &config);
    // Monitor.ini is damaged; kept as Monitor.ini.bad, or else not overwritten at exit.
    void configurationDamaged(bool copyKept);
    void workingDirectoryChanged(const QString &directory);
    void soundFileChanged(const QString &path);
    // The captions of the channels are due: at the first tick, and after a name or threshold
    // changed.
    void channelNamesChanged(const QStringList &names);
    // A poll cycle ended (and was recorded); the values of the logged channels.
    void pollCycleFinished(const QList<float> &values);

private:
    void applyConfiguration(const StationConfig &config);
    void KeepBadConfiguration();
    void FinishPollCycle();
    void StartRecording();
    void ResumeRecording();
    void setRecordingWanted(bool wanted);

    DeviceLink *Link;
    AlarmMonitor *Alarms;
    LogRecorder *Recorder;
    // After the parts it listens to.
    AlarmJournal *Journal;
    StationTimer *TimerAlarm;
    QString PortName = QStringLiteral("COM12");
    int SpeedIndex = 0;
    QString WorkingDirectory;
    QString SoundFilePath;
    // Monitor.ini is damaged and no copy of it could be kept: it is not overwritten at exit.
    bool KeepConfigFile = false;
    bool Started = false;
    bool ReopenMissingPort = false;
    // Recording is on, or was when the station last ended and not stopped since.
    bool RecordingWanted = false;
    bool SoundPlayed = true;
};
