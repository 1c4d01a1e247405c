#pragma once

#include <QObject>
#include <QString>

class StationCore;
struct JournalEntry;

// For a station without a window: what the main window would show in its status bar, and the
// events of the station's journal, as one message each; errors through qCritical, what needs a
// look (alarm edges, a silent device, a lost port) through qWarning, the rest through qInfo.
// What the station's parts already say on those channels (a log file that cannot be written, a
// damaged Monitor.ini, the broker's link) is not said twice.
class StatusReporter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusReporter)

public:
    explicit StatusReporter(const StationCore &station, QObject *parent = nullptr);

    // Once at start: the alarm sound is not played, the log says what it would have marked.
    void reportNoSound();

private:
    void portChanged(bool open);
    void portFailed(const QString &name, const QString &reason);
    void journalled(const QString &text, const JournalEntry &entry);

    const StationCore &station;
};
