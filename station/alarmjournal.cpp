#include "alarmjournal.h"

#include "logrecorder.h"
#include "stationcore.h"

#include <cmath>
#include <utility>

namespace {
QString channelText(int channel)
{
    return QStringLiteral("T%1").arg(channel);
}

QString value(float v)
{
    return LogRecorder::LoggedValue(v);
}

QString enabledText(int enabled)
{
    return enabled != 0 ? AlarmJournal::tr("вкл") : AlarmJournal::tr("выкл");
}
} // namespace

AlarmJournal::AlarmJournal(const StationCore &core, QObject *parent)
    : QObject(parent)
    , Core(core)
{
    const AlarmMonitor &alarms = core.alarms();
    connect(&alarms, &AlarmMonitor::alarmChanged, this, &AlarmJournal::alarmChanged);
    connect(&alarms, &AlarmMonitor::alarmReset, this, &AlarmJournal::alarmReset);
    connect(&alarms, &AlarmMonitor::alarmSoundRequested, this, &AlarmJournal::soundRequested);
    const DeviceLink &link = core.link();
    connect(&link, &DeviceLink::deviceFellSilent, this, &AlarmJournal::deviceSilent);
    connect(&link, &DeviceLink::deviceAnswered, this, &AlarmJournal::deviceAnswered);
    connect(&link, &DeviceLink::portLostChanged, this, &AlarmJournal::portLostChanged);
    // A port closed while it was away is not waited for any more.
    connect(&link, &DeviceLink::portStateChanged, this, [this] { PortLostSince = 0; });
    const LogRecorder &recorder = core.recorder();
    connect(&recorder, &LogRecorder::recordingChanged, this, &AlarmJournal::recordingChanged);
    connect(&recorder, &LogRecorder::fileStarted, this, [this](const QString &path, bool fresh) {
        if (fresh)
            record(JournalEntry::RecordingStart, {}, {}, {}, tr("%1; новые устройства").arg(path));
    });
    connect(&recorder, &LogRecorder::writeFailed, this, [this](const QString &path) {
        record(JournalEntry::LogWriteFailed, {}, {}, {}, path);
    });
    connect(&recorder, &LogRecorder::writeRecovered, this, [this](const QString &path, qint64 n) {
        record(JournalEntry::LogWriteRecovered, {}, {}, {},
               tr("%1; потеряно записей: %2").arg(path).arg(n));
    });
    connect(&core, &StationCore::configurationDamaged, this, &AlarmJournal::configurationDamaged);
}

quint32 AlarmJournal::now() const
{
    return quint32(clock ? clock() : QDateTime::currentSecsSinceEpoch());
}

void AlarmJournal::setClock(Clock stationClock)
{
    clock = std::move(stationClock);
}

void AlarmJournal::setDirectory(const QString &directory)
{
    Directory = directory;
}

void AlarmJournal::record(const char *event, const QString &source, const QString &name,
                          const QString &value, const QString &details)
{
    write({now(), QLatin1String(event), source, name, value, details});
}

void AlarmJournal::write(const JournalEntry &entry)
{
    if (!Started) {
        Held << entry;
        return;
    }
    File.append(Directory, entry);
    emit recorded(entry.text(), entry);
}

void AlarmJournal::stationStarted(quint32 at, const QString &details)
{
    Started = true;
    write({at, QLatin1String(JournalEntry::StationStart), {}, {}, {}, details});
    const QList<JournalEntry> held = std::exchange(Held, {});
    for (const JournalEntry &entry : held)
        write(entry);
}

void AlarmJournal::stationEnded()
{
    record(JournalEntry::StationEnd);
}

QString AlarmJournal::channelName(int channel) const
{
    return Core.alarms().channel(channel).ChannelName;
}

QString AlarmJournal::since(quint32 start) const
{
    return JournalEntry::durationText(qint64(now()) - qint64(start));
}

void AlarmJournal::alarmChanged(int channel, bool inAlarm, float reading)
{
    const ChannelSettings settings = Core.alarms().channel(channel);
    const QString source = channelText(channel);
    if (inAlarm) {
        const QString crossed = std::isnan(reading) ? tr("нет показаний")
                                : reading > settings.UpperLimit
                                    ? tr("выше верхнего порога %1").arg(value(settings.UpperLimit))
                                    : tr("ниже нижнего порога %1").arg(value(settings.LowerLimit));
        AlarmSince[channel] = now();
        AlarmValue[channel] = value(reading);
        UnacknowledgedChannel[channel] = true;
        record(JournalEntry::AlarmOn, source, settings.ChannelName, value(reading), crossed);
        emit unacknowledgedChanged(++Unacknowledged);
        return;
    }
    QString details = tr("длилась %1").arg(since(AlarmSince[channel]));
    if (settings.ChannelEnabled == 0)
        details += tr("; контроль выключен");
    AlarmSince[channel] = 0;
    record(JournalEntry::AlarmOff, source, settings.ChannelName, value(reading), details);
}

void AlarmJournal::alarmReset(const QList<int> &inAlarm)
{
    // The reset concerns the channels in alarm and those it acknowledges.
    QStringList sources;
    QStringList names;
    QList<int> acknowledged;
    for (int channel = 0; channel < Station::ChannelCount; ++channel) {
        const bool acknowledges = std::exchange(UnacknowledgedChannel[channel], false);
        if (acknowledges)
            acknowledged << channel;
        if (acknowledges || inAlarm.contains(channel)) {
            sources << channelText(channel);
            names << channelName(channel);
        }
    }
    const auto listed = [](const QList<int> &channels) {
        QStringList texts;
        for (int channel : channels)
            texts << channelText(channel);
        return texts.isEmpty() ? tr("нет") : texts.join(QStringLiteral(", "));
    };
    QStringList details{tr("в тревоге: %1").arg(listed(inAlarm))};
    if (!acknowledged.isEmpty())
        details << tr("подтверждены: %1").arg(listed(acknowledged));
    details << (SoundPlaying ? tr("звук выключен") : tr("звук не звучал"));
    SoundPlaying = false;
    record(JournalEntry::AlarmReset, sources.join(QLatin1Char(',')),
           names.join(QStringLiteral(", ")), {}, details.join(QStringLiteral("; ")));
    Unacknowledged = 0;
    emit unacknowledgedChanged(0);
}

void AlarmJournal::soundRequested(bool play)
{
    // Stopping is the reset's, which says so itself.
    if (!play)
        return;
    const QString file = Core.soundFile();
    SoundPlaying = !file.isEmpty() && Core.soundPlayed();
    record(JournalEntry::SoundStart, {}, {}, {},
           !Core.soundPlayed() ? tr("не проигрывается: станция без окна")
           : file.isEmpty()    ? tr("файл звука не выбран")
                               : tr("файл %1").arg(file));
}

void AlarmJournal::soundEnded(int passes)
{
    if (!SoundPlaying)
        return;
    SoundPlaying = false;
    record(JournalEntry::SoundStop, {}, {}, {}, tr("отзвучал %1 раз").arg(passes));
}

void AlarmJournal::deviceSilent(quint8 address)
{
    if (SilentSince.contains(address))
        return;
    SilentSince.insert(address, now());
    const DeviceLink &link = Core.link();
    record(JournalEntry::LinkLost, QString::number(address), {}, {},
           tr("%1 запрос без ответа (порт %2, %3 бит/с)")
               .arg(LinkHealth::SilenceLimit)
               .arg(link.portName())
               .arg(link.speed()));
}

void AlarmJournal::deviceAnswered(quint8 address)
{
    const auto silent = SilentSince.constFind(address);
    if (silent == SilentSince.cend())
        return;
    const quint32 start = *silent;
    SilentSince.erase(silent);
    record(JournalEntry::LinkBack, QString::number(address), {}, {},
           tr("молчало %1").arg(since(start)));
}

void AlarmJournal::portLostChanged(bool lost)
{
    const QString port = Core.link().portName();
    if (lost) {
        PortLostSince = now();
        record(JournalEntry::PortLost, port, {}, {}, tr("порт пропал, ожидается его возвращение"));
    } else if (PortLostSince != 0) {
        record(JournalEntry::PortBack, port, {}, {},
               tr("порта не было %1").arg(since(std::exchange(PortLostSince, 0))));
    }
}

void AlarmJournal::recordingChanged(bool recording)
{
    record(recording ? JournalEntry::RecordingStart : JournalEntry::RecordingStop, {}, {}, {},
           Core.recorder().logFilePath());
}

void AlarmJournal::configurationDamaged(bool copyKept)
{
    record(JournalEntry::ConfigDamaged, {}, {}, {},
           copyKept ? tr("Monitor.ini повреждён, копия сохранена в Monitor.ini.bad")
                    : tr("Monitor.ini повреждён, копию сохранить не удалось: файл не будет "
                         "перезаписан"));
}

void AlarmJournal::channelEdited(int channel, const ChannelSettings &before,
                                 const ChannelSettings &after)
{
    const QString source = channelText(channel);
    const auto changed = [&](const QString &what, const QString &from, const QString &to) {
        if (from != to)
            record(JournalEntry::SettingChanged, source, after.ChannelName, {},
                   QStringLiteral("%1: %2 -> %3").arg(what, from, to));
    };
    changed(tr("имя"), before.ChannelName, after.ChannelName);
    changed(tr("верхний порог"), value(before.UpperLimit), value(after.UpperLimit));
    changed(tr("нижний порог"), value(before.LowerLimit), value(after.LowerLimit));
    changed(tr("контроль"), enabledText(before.ChannelEnabled), enabledText(after.ChannelEnabled));
}

QList<AlarmJournal::ActiveAlarm> AlarmJournal::activeAlarms() const
{
    QList<ActiveAlarm> active;
    for (int channel = 0; channel < Station::ChannelCount; ++channel) {
        if (AlarmSince[channel] != 0)
            active << ActiveAlarm{channel, AlarmSince[channel], AlarmValue[channel]};
    }
    return active;
}
