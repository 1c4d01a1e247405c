#pragma once

#include "channelsettings.h"
#include "journalentry.h"
#include "journalfile.h"
#include "station.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <functional>

class StationCore;

// The station's journal: what happened, when, and who reset it. Every event of the core (alarm
// edges, the operator's reset, the sound, silent devices, the port, recording, log failures, a
// damaged Monitor.ini, the operator's changes to a channel, start and end) becomes a line of the
// month's journal file in the log directory, whether or not recording is on, and a signal with
// one line of text, for a window to follow and for a station without one to log.
class AlarmJournal final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlarmJournal)

public:
    // Seconds since 1970 UTC.
    using Clock = std::function<qint64()>;

    struct ActiveAlarm
    {
        int channel = 0;
        quint32 since = 0;
        QString value;
    };

    // Connects to the parts of a core that has made them.
    AlarmJournal(const StationCore &core, QObject *parent);

    // The time events are stamped with: the system's, unless a demonstration sets its own.
    quint32 now() const;
    void setClock(Clock clock);
    // The log directory: a prefix the file name follows directly.
    void setDirectory(const QString &directory);
    QString directory() const { return Directory; }

    // Events are held until the station has read its configuration: then they go, after the
    // start stamped `at`, to the directory the configuration names.
    void stationStarted(quint32 at, const QString &details);
    void stationEnded();
    // The operator's change to a channel in the settings: a line per value changed.
    void channelEdited(int channel, const ChannelSettings &before, const ChannelSettings &after);
    // The alarm sound played all its passes and fell silent by itself.
    void soundEnded(int passes);

    // Channels in alarm now, in channel order.
    QList<ActiveAlarm> activeAlarms() const;
    // Alarms entered since the operator's last reset: those not yet acknowledged.
    int unacknowledged() const { return Unacknowledged; }

signals:
    // An event as the journal keeps it, and as one line of text for a log.
    void recorded(const QString &text, const JournalEntry &entry);
    void unacknowledgedChanged(int count);

private:
    void record(const char *event, const QString &source = {}, const QString &name = {},
                const QString &value = {}, const QString &details = {});
    void write(const JournalEntry &entry);
    void alarmChanged(int channel, bool inAlarm, float value);
    void alarmReset(const QList<int> &inAlarm);
    void soundRequested(bool play);
    void deviceSilent(quint8 address);
    void deviceAnswered(quint8 address);
    void portLostChanged(bool lost);
    void recordingChanged(bool recording);
    void configurationDamaged(bool copyKept);
    QString channelName(int channel) const;
    QString since(quint32 start) const;

    const StationCore &Core;
    Clock clock;
    QString Directory;
    JournalFile File;
    bool Started = false;
    QList<JournalEntry> Held;
    // When each channel entered alarm (0: not in alarm), and the value it entered with.
    std::array<quint32, Station::ChannelCount> AlarmSince{};
    std::array<QString, Station::ChannelCount> AlarmValue;
    int Unacknowledged = 0;
    // The channels whose alarms the next reset acknowledges.
    std::array<bool, Station::ChannelCount> UnacknowledgedChannel{};
    bool SoundPlaying = false;
    QHash<quint8, quint32> SilentSince;
    quint32 PortLostSince = 0;
};
