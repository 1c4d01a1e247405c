#pragma once

#include <QObject>
#include <QTimer>

// A periodic timer of the station. A held one keeps its interval and whether it runs, but never
// fires: whoever holds it (a test, a benchmark) calls the tick slots itself.
class StationTimer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StationTimer)

public:
    enum class Mode { Running, Held };

    StationTimer(const QString &name, Mode mode, QObject *parent);

    // Restarts the period from now, as QTimer::start(int) does.
    void start(int milliseconds);
    void stop();
    bool isActive() const { return active; }
    int interval() const { return period; }

signals:
    void timeout();

private:
    QTimer timer;
    Mode mode;
    int period = 0;
    bool active = false;
};
