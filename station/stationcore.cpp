#include "stationcore.h"

#include "stationpaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace {
constexpr int alarmTickMs = 650;
const QString configFileName = QStringLiteral("Monitor.ini");
const QString badConfigFileName = QStringLiteral("Monitor.ini.bad");
// A real file is a few KB; anything far larger is not one, and reading it costs seconds.
constexpr qint64 maxConfigBytes = 1 << 20;

// A save cut short (killed, power lost) leaves its temporary file behind: the file's name, a dot
// and six random letters or digits. A name of six lower-case letters is more likely an
// operator's own copy ("Monitor.ini.backup") and is left alone.
void removeSaveLeftovers(const QString &fileName)
{
    const QRegularExpression leftover(QStringLiteral("^%1\\.(?![a-z]{6}$)[A-Za-z0-9]{6}$")
                                          .arg(QRegularExpression::escape(fileName)));
    const QDir here(QStringLiteral("."));
    const QStringList names =
        here.entryList({fileName + QStringLiteral(".??????")}, QDir::Files | QDir::NoSymLinks);
    for (const QString &name : names) {
        if (leftover.match(name).hasMatch())
            QFile::remove(here.filePath(name));
    }
}
} // namespace

StationCore::StationCore(StationTimer::Mode timers, QObject *parent)
    : QObject(parent)
    , Link(new DeviceLink(timers, this))
    , Alarms(new AlarmMonitor(this))
    , Recorder(new LogRecorder(this))
    , Journal(new AlarmJournal(*this, this))
    , TimerAlarm(new StationTimer(QStringLiteral("TimerAlarm"), timers, this))
    , WorkingDirectory(defaultLogDirectory())
{
    Journal->setDirectory(WorkingDirectory);
    connect(TimerAlarm, &StationTimer::timeout, this, &StationCore::ControlTermoAlarm);
    connect(Link, &DeviceLink::cycleFinished, this, &StationCore::FinishPollCycle);
    connect(Link, &DeviceLink::searchFinished, Alarms, &AlarmMonitor::forgetReadings);
    connect(Link, &DeviceLink::portStateChanged, this, &StationCore::ResumeRecording);
    connect(Link, &DeviceLink::devicesChanged, this, &StationCore::ResumeRecording);
}

StationCore::~StationCore()
{
    if (Started)
        Journal->stationEnded();
}

StationCore::ConfigState StationCore::start()
{
    const quint32 at = Journal->now();
    removeSaveLeftovers(StateFile::fileName());
    RecordingWanted = StateFile::readRecording();
    const ConfigState state = ReadIniFromFile();
    static const char *const told[] = {
        QT_TR_NOOP("Monitor.ini нет"),
        QT_TR_NOOP("Monitor.ini не читается"),
        QT_TR_NOOP("Monitor.ini прочитан"),
        QT_TR_NOOP("Monitor.ini повреждён"),
    };
    Started = true;
    Journal->stationStarted(at, tr(told[int(state)]));
    TimerAlarm->start(alarmTickMs);
    ResumeRecording();
    return state;
}

StationCore::ConfigState StationCore::ReadIniFromFile()
{
    removeSaveLeftovers(configFileName);
    const QFileInfo info(configFileName);
    if (!info.exists())
        return ConfigState::Missing;
    QFile file(configFileName);
    // Only a regular file: opening a FIFO would wait for a writer for ever.
    if (!info.isFile() || !file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning("Can not open file Monitor.ini to read");
        return ConfigState::Unreadable;
    }
    const QByteArray content = file.read(maxConfigBytes + 1);
    file.close();
    if (content.size() > maxConfigBytes) {
        qWarning("Monitor.ini: larger than %lld bytes, not read", maxConfigBytes);
        KeepBadConfiguration();
        return ConfigState::Damaged;
    }
    bool whole = false;
    applyConfiguration(StationConfig::parse(content, &whole));
    if (!whole)
        KeepBadConfiguration();
    TogglePort();
    return whole ? ConfigState::Read : ConfigState::Damaged;
}

void StationCore::applyConfiguration(const StationConfig &config)
{
    PortName = config.port;
    SpeedIndex = config.speedIndex;
    setWorkingDirectory(config.directory);
    Link->setPollInterval(config.pollInterval);
    Link->setDevices(config.devices);
    for (int n = 0; n < Station::ChannelCount; ++n)
        Alarms->restoreChannel(n, config.channels[n]);
    setSoundFile(config.soundFile);
    emit configurationApplied(config);
}

void StationCore::KeepBadConfiguration()
{
    // Saving at exit will replace the file with what the station made of it; the operator
    // keeps the original to mend.
    QFile::remove(badConfigFileName);
    if (QFile::copy(configFileName, badConfigFileName)) {
        qWarning("Monitor.ini: damaged, kept as Monitor.ini.bad");
        emit configurationDamaged(true);
        return;
    }
    // Without a copy the damaged file is not replaced at all.
    KeepConfigFile = true;
    qWarning("Monitor.ini: damaged, and Monitor.ini.bad could not be written");
    emit configurationDamaged(false);
}

StationConfig StationCore::configuration() const
{
    StationConfig config;
    config.port = PortName;
    config.speedIndex = SpeedIndex;
    config.directory = WorkingDirectory;
    config.pollInterval = Link->pollInterval();
    config.devices = Link->devices();
    for (int n = 0; n < Station::ChannelCount; ++n)
        config.channels[n] = Alarms->channel(n);
    config.soundFile = SoundFilePath;
    return config;
}

void StationCore::SaveIniToFile()
{
    if (KeepConfigFile)
        return;
    // Written aside and renamed, so a failed write leaves the previous file whole.
    QSaveFile file(configFileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        qWarning("Can not open file Monitor.ini to write");
        return;
    }
    const QByteArray content = configuration().format();
    // The write only fills a buffer, and Qt's commit renames a file cut short by a full disk as
    // if whole: the flush must fail before it.
    if (file.write(content) != content.size() || !file.flush() || !file.commit())
        qWarning("Can not open file Monitor.ini to write");
}

void StationCore::setPortName(const QString &name)
{
    PortName = name;
}

void StationCore::setSpeedIndex(int index)
{
    SpeedIndex = index >= 0 && index < StationConfig::SpeedCount ? index : -1;
}

void StationCore::SaveStateToFile()
{
    StateFile::save(RecordingWanted);
}

void StationCore::TogglePort()
{
    if (Link->isOpen() || Link->isReopening())
        Link->close();
    else if (ReopenMissingPort)
        Link->keepOpening(PortName, StationConfig::speedText(SpeedIndex));
    else
        Link->open(PortName, StationConfig::speedText(SpeedIndex));
}

void StationCore::setPollInterval(int seconds)
{
    Link->setPollInterval(seconds);
}

void StationCore::setWorkingDirectory(const QString &directory)
{
    WorkingDirectory = directory;
    Journal->setDirectory(directory);
    emit workingDirectoryChanged(directory);
}

void StationCore::setSoundFile(const QString &path)
{
    SoundFilePath = path;
    emit soundFileChanged(path);
}

void StationCore::setChannel(int channel, const QString &name, float upper, float lower)
{
    const ChannelSettings before = Alarms->channel(channel);
    Alarms->setChannel(channel, name, upper, lower);
    Journal->channelEdited(channel, before, Alarms->channel(channel));
}

void StationCore::setChannelEnabled(int channel, bool enabled)
{
    const ChannelSettings before = Alarms->channel(channel);
    Alarms->setChannelEnabled(channel, enabled ? 1 : 0);
    Journal->channelEdited(channel, before, Alarms->channel(channel));
}

void StationCore::StartSearch()
{
    Link->StartSearch();
}

void StationCore::AlarmReset()
{
    Alarms->AlarmReset();
}

void StationCore::AlarmSoundEnded(int passes)
{
    Journal->soundEnded(passes);
}

void StationCore::ToggleRecording()
{
    if (Link->deviceCount() <= 0)
        return;
    if (Recorder->isRecording())
        StopRecording();
    else
        StartRecording();
}

void StationCore::StartRecording()
{
    Recorder->start(WorkingDirectory, Alarms->channelNames(), Link->deviceCount());
    setRecordingWanted(true);
}

void StationCore::StopRecording()
{
    Recorder->stop();
    setRecordingWanted(false);
}

void StationCore::requestRecording()
{
    setRecordingWanted(true);
    ResumeRecording();
}

void StationCore::ResumeRecording()
{
    if (RecordingWanted && !Recorder->isRecording() && Link->isOpen() && Link->deviceCount() > 0 &&
        !Link->isSearching())
        StartRecording();
}

void StationCore::setRecordingWanted(bool wanted)
{
    if (wanted == RecordingWanted)
        return;
    RecordingWanted = wanted;
    SaveStateToFile();
}

bool StationCore::MonitoringActive() const
{
    return Link->isOpen() && Link->announcedDevices() > 0;
}

void StationCore::ControlTermoAlarm()
{
    if (Alarms->takeSettingsChanged())
        emit channelNamesChanged(Alarms->channelNames());
    if (!MonitoringActive())
        return;
    Alarms->evaluate(Link->readings());
}

void StationCore::FinishPollCycle()
{
    const Station::Readings &readings = Link->readings();
    if (Recorder->isRecording())
        Recorder->WriteLogRecord(WorkingDirectory, Alarms->channelNames(), Link->deviceCount(),
                                 readings);
    const int channels = LogRecorder::logChannels(Link->deviceCount());
    emit pollCycleFinished(QList<float>(readings.cbegin(), readings.cbegin() + channels));
}
