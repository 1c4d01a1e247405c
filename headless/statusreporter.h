#pragma once

#include <QObject>
#include <QSet>
#include <QString>

class StationCore;

// For a station without a window: what the main window would show in its status bar, and the
// alarm edges its displays show, as one message each; errors through qCritical, what needs a
// look through qWarning, the rest through qInfo. What the station's parts already say on those
// channels (a log file that cannot be written, a damaged Monitor.ini, the broker's link) is not
// said twice.
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
    void deviceSilent(quint8 address);
    void deviceAnswered(quint8 address);
    void fileStarted(const QString &path, bool forNewDevices);
    void alarmChanged(int channel, bool inAlarm, float value);

    const StationCore &station;
    QSet<quint8> silent;
};
