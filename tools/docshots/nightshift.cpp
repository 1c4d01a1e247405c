#include "nightshift.h"

#include "stationconfig.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <cstdio>
#include <functional>
#include <utility>

namespace {
constexpr int answerWaitMs = 5000;
constexpr int portWaitMs = 3000;

struct Channel
{
    const char *name;
    float upper, lower;
    bool enabled;
    double reading;
};

constexpr Channel channels[] = {
    {"Цех1", 40, 10, true, 21.4}, {"Цех2", 40, 10, true, 19.8},    {"Печь", 60, 15, true, 48.5},
    {"Холод", 8, 2, true, 4.2},   {"Улица", 40, 10, false, -12.5}, {"Сушилка", 80, 40, true, 64.0},
};

bool fail(const char *what)
{
    std::fprintf(stderr, "night shift: %s\n", what);
    return false;
}
} // namespace

NightShift::NightShift()
    : now(QDate(2026, 12, 2), QTime(21, 58))
{
    bus.setDriftInterval(0);
    QObject::connect(&bus, &DeviceSimulator::answerWritten,
                     [this](quint8, const QByteArray &answer) { answered += answer.size(); });
    QObject::connect(&bus, &DeviceSimulator::requestReceived, [this] { ++heard; });
    for (int device = 0; device < 3; ++device) {
        bus.addDevice(quint8(5 + 2 * device))
            ->setTemperatures(channels[2 * device].reading, channels[2 * device + 1].reading);
    }
}

QString NightShift::journalPath() const
{
    return JournalFile::path(work.path() + QLatin1Char('/'), quint32(now.toSecsSinceEpoch()));
}

void NightShift::reading(int channel, double value)
{
    SimulatedDevice *device = bus.device(quint8(5 + 2 * (channel / 2)));
    const bool first = channel % 2 == 0;
    device->setTemperatures(first ? value : device->temperature(0),
                            first ? device->temperature(1) : value);
}

bool NightShift::settle()
{
    const auto caughtUp = [this] {
        return heard >= sent && bus.pendingAnswers() == 0 && received >= answered;
    };
    return QTest::qWaitFor(caughtUp, answerWaitMs) || fail("the devices did not answer in 5 s");
}

bool NightShift::cycle()
{
    DeviceLink &link = core->link();
    for (int i = 0; i < 10 && !link.isPolling(); ++i)
        link.SendRequestReadTemperature();
    bool finished = false;
    const QMetaObject::Connection done =
        QObject::connect(&link, &DeviceLink::cycleFinished, [&finished] { finished = true; });
    for (int i = 0; !finished && i < 25 * link.deviceCount(); ++i) {
        link.ProccessCommunication();
        if (!settle())
            break;
    }
    QObject::disconnect(done);
    if (finished)
        core->ControlTermoAlarm();
    return finished || fail("a poll cycle did not end");
}

void NightShift::at(const QString &time)
{
    QDateTime next(now.date(), QTime::fromString(time, QStringLiteral("hh:mm:ss")));
    if (next < now)
        next = next.addDays(1);
    now = next;
}

bool NightShift::portTold(bool lost)
{
    bool told = false;
    const QMetaObject::Connection tell = QObject::connect(
        &core->link(), &DeviceLink::portLostChanged, [&told, lost](bool is) { told = is == lost; });
    const QString link = work.filePath(QStringLiteral("ttyUSB0"));
    if (lost)
        bus.close();
    else if (!bus.openPty() || !bus.createLink(link))
        return fail("the bus did not come back");
    const bool seen = QTest::qWaitFor([&told] { return told; }, portWaitMs);
    QObject::disconnect(tell);
    return seen || fail("the port was not told lost or back within 3 s");
}

bool NightShift::play()
{
    if (!bus.openPty() || !bus.createLink(work.filePath(QStringLiteral("ttyUSB0"))))
        return fail("no pseudo-terminal for the bus");
    StationConfig config;
    config.port = work.filePath(QStringLiteral("ttyUSB0"));
    config.directory = work.path() + QLatin1Char('/');
    config.pollInterval = 2;
    config.devices = {5, 7, 9};
    config.soundFile = QStringLiteral("/home/operator/alarm.wav");
    for (int n = 0; n < Station::ChannelCount; ++n) {
        const Channel given = n < 6 ? channels[n] : Channel{"Датчик", 40, 10, false, 0};
        config.channels[n] = {QString::fromUtf8(given.name), given.upper, given.lower,
                              given.enabled ? 1 : 0,         0,           0};
    }
    const QString previous = QDir::currentPath();
    QDir::setCurrent(work.path());
    QFile ini(QStringLiteral("Monitor.ini"));
    if (!ini.open(QIODevice::WriteOnly) || ini.write(config.format()) < 0)
        return fail("Monitor.ini not written");
    ini.close();
    core = std::make_unique<StationCore>(StationTimer::Mode::Held);
    core->journal().setClock([this] { return now.toSecsSinceEpoch(); });
    QObject::connect(&core->link(), &DeviceLink::bytesReceived,
                     [this](qsizetype count) { received += count; });
    QObject::connect(&core->link(), &DeviceLink::requestSent, [this] { ++sent; });
    core->start();
    QDir::setCurrent(previous);
    if (!core->link().isOpen())
        return fail("the station did not open the bus");

    SimulatedDevice::Fault silent;
    silent.kind = SimulatedDevice::Fault::Silent;
    StationCore &station = *core;
    const std::pair<const char *, std::function<bool()>> steps[] = {
        {"21:58:04", [&] { return cycle(); }},
        {"22:15:31",
         [&] {
             station.setChannel(2, QStringLiteral("Печь"), 55.0f, 15.0f);
             return true;
         }},
        {"01:12:30",
         [&] {
             bus.device(9)->setFault(silent);
             return cycle();
         }},
        {"01:23:05",
         [&] {
             bus.device(9)->setFault({});
             return cycle();
         }},
        {"02:14:07",
         [&] {
             reading(2, 57.3);
             return cycle();
         }},
        {"02:16:30",
         [&] {
             station.AlarmReset();
             return true;
         }},
        {"03:01:19",
         [&] {
             reading(2, 52.8);
             return cycle();
         }},
        {"03:40:02", [&] { return portTold(true); }},
        {"03:42:10", [&] { return portTold(false); }},
        {"04:30:15",
         [&] {
             reading(3, 9.4);
             return cycle();
         }},
        {"04:36:55",
         [&] {
             station.AlarmSoundEnded(50);
             return true;
         }},
        {"04:52:40",
         [&] {
             reading(3, 5.1);
             return cycle();
         }},
        {"06:40:05",
         [&] {
             reading(5, 38.2);
             return cycle();
         }},
        {"06:55:42",
         [&] {
             station.AlarmReset();
             return true;
         }},
        {"07:10:00", [&] { return cycle(); }},
    };
    for (const auto &[time, step] : steps) {
        at(QString::fromLatin1(time));
        if (!step())
            return false;
    }
    return true;
}
