#include "journalentry.h"

#include <QRegularExpression>

namespace {
constexpr int fieldCount = 6;

QString flat(QString field)
{
    for (QChar &c : field) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    }
    return field;
}
} // namespace

QStringList JournalEntry::events()
{
    return {QLatin1String(AlarmOn),           QLatin1String(AlarmOff),
            QLatin1String(AlarmReset),        QLatin1String(SoundStart),
            QLatin1String(SoundStop),         QLatin1String(LinkLost),
            QLatin1String(LinkBack),          QLatin1String(PortLost),
            QLatin1String(PortBack),          QLatin1String(RecordingStart),
            QLatin1String(RecordingStop),     QLatin1String(LogWriteFailed),
            QLatin1String(LogWriteRecovered), QLatin1String(ConfigDamaged),
            QLatin1String(SettingChanged),    QLatin1String(StationStart),
            QLatin1String(StationEnd)};
}

QString JournalEntry::line() const
{
    return QStringList{QString::number(time), flat(event),  flat(source), flat(name),
                       flat(value),           flat(details)}
        .join(QLatin1Char('\t'));
}

QString JournalEntry::text() const
{
    QStringList parts{timeText(time)};
    for (const QString &field : {event, source, name, value, details}) {
        if (!field.isEmpty())
            parts << flat(field);
    }
    return parts.join(QLatin1Char(' '));
}

bool JournalEntry::parse(const QString &line, JournalEntry *entry)
{
    static const QRegularExpression stamp(QStringLiteral("^[0-9]{1,10}$"));
    static const QRegularExpression token(QStringLiteral("^[a-z][a-z_]*$"));
    const QStringList fields = line.split(QLatin1Char('\t'));
    if (fields.size() != fieldCount || !stamp.match(fields[0]).hasMatch() ||
        !token.match(fields[1]).hasMatch())
        return false;
    bool ok = false;
    const uint time = fields[0].toUInt(&ok);
    if (!ok)
        return false;
    *entry = {time, fields[1], fields[2], fields[3], fields[4], fields[5]};
    return true;
}

QString JournalEntry::fileName(const QDateTime &at)
{
    return QStringLiteral("journal-") + at.toLocalTime().toString(QStringLiteral("yyyy-MM")) +
           QStringLiteral(".txt");
}

QString JournalEntry::timeText(quint32 time)
{
    return QDateTime::fromSecsSinceEpoch(time).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString JournalEntry::durationText(qint64 seconds)
{
    const qint64 s = qMax<qint64>(0, seconds);
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}
