#include "statusreporter.h"

#include "stationcore.h"

StatusReporter::StatusReporter(const StationCore &core, QObject *parent)
    : QObject(parent)
    , station(core)
{
    const DeviceLink &link = station.link();
    connect(&link, &DeviceLink::portStateChanged, this, &StatusReporter::portChanged);
    connect(&link, &DeviceLink::openFailed, this, &StatusReporter::portFailed);
    connect(&station.journal(), &AlarmJournal::recorded, this, &StatusReporter::journalled);
}

void StatusReporter::reportNoSound()
{
    const QString file = station.soundFile().trimmed();
    if (file.isEmpty())
        qInfo("No alarm sound without a window: alarms are logged as warnings");
    else
        qInfo("No alarm sound without a window (%s is not played): alarms are logged as warnings",
              qUtf8Printable(file));
}

void StatusReporter::portChanged(bool open)
{
    const DeviceLink &link = station.link();
    if (open)
        qInfo("Port %s open at %d bit/s, %d devices known", qUtf8Printable(link.portName()),
              link.speed(), link.deviceCount());
    else
        qInfo("Port %s closed", qUtf8Printable(link.portName()));
}

void StatusReporter::portFailed(const QString &name, const QString &reason)
{
    qCritical("Port %s cannot be opened (%s); trying again every second", qUtf8Printable(name),
              qUtf8Printable(reason));
}

void StatusReporter::journalled(const QString &text, const JournalEntry &entry)
{
    // Said on the warning channel where it happens already.
    for (const char *said : {JournalEntry::LogWriteFailed, JournalEntry::LogWriteRecovered,
                             JournalEntry::ConfigDamaged}) {
        if (entry.event == QLatin1String(said))
            return;
    }
    for (const char *warning : {JournalEntry::AlarmOn, JournalEntry::AlarmOff,
                                JournalEntry::LinkLost, JournalEntry::PortLost}) {
        if (entry.event == QLatin1String(warning)) {
            qWarning().noquote() << text;
            return;
        }
    }
    qInfo().noquote() << text;
}
