#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// One event of the station's journal and its line in the journal file: the time (seconds since
// 1970 UTC, the log records' stamp), the kind as a fixed English token, the channel ("T2"), the
// device address or the port it concerns, the channel's name, a value, and details for people.
struct JournalEntry
{
    static constexpr char AlarmOn[] = "alarm_on";
    static constexpr char AlarmOff[] = "alarm_off";
    static constexpr char AlarmReset[] = "alarm_reset";
    static constexpr char SoundStart[] = "sound_start";
    static constexpr char SoundStop[] = "sound_stop";
    static constexpr char LinkLost[] = "link_lost";
    static constexpr char LinkBack[] = "link_back";
    static constexpr char PortLost[] = "port_lost";
    static constexpr char PortBack[] = "port_back";
    static constexpr char RecordingStart[] = "recording_start";
    static constexpr char RecordingStop[] = "recording_stop";
    static constexpr char LogWriteFailed[] = "log_write_failed";
    static constexpr char LogWriteRecovered[] = "log_write_recovered";
    static constexpr char ConfigDamaged[] = "config_damaged";
    static constexpr char SettingChanged[] = "setting_changed";
    static constexpr char StationStart[] = "station_start";
    static constexpr char StationEnd[] = "station_end";

    // Every token, in the order above.
    static QStringList events();

    quint32 time = 0;
    QString event;
    QString source;
    QString name;
    QString value;
    QString details;

    // The file line without its line break: six tab-separated fields. A tab or line break typed
    // into a name would split the line, so it becomes a blank.
    QString line() const;
    // One line for people: local time, then every field that is not empty.
    QString text() const;
    // False for what is no whole entry: a line cut short, or not a journal's.
    static bool parse(const QString &line, JournalEntry *entry);

    // "journal-2026-12.txt": one file per month, of local time as the log file names are.
    static QString fileName(const QDateTime &at);
    // The local time of a stamp as the window and the text show it.
    static QString timeText(quint32 time);
    // A span of seconds as hours, minutes and seconds: "00:47:12", "49:03:05".
    static QString durationText(qint64 seconds);
};
