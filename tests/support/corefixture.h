#pragma once

// A station core in a scratch working directory, with held timers: the test calls the ticks.
// Beside it, when asked for, the simulated devices on a pseudo-terminal and a way to tick the
// link until the station has taken all the bytes a device answered.

#include "devicesimulator.h"
#include "scratchdirectory.h"
#include "stationcore.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class CoreFixture : public ScratchDirectory
{
public:
    CoreFixture() = default;
    ~CoreFixture() { core.reset(); }
    CoreFixture(const CoreFixture &) = delete;
    CoreFixture &operator=(const CoreFixture &) = delete;

    // Starts a station as the program does: from Monitor.ini, when there is one.
    StationCore &create(StationTimer::Mode timers = StationTimer::Mode::Held)
    {
        core = std::make_unique<StationCore>(timers);
        if (clock)
            core->journal().setClock(clock);
        const DeviceLink &link = core->link();
        QObject::connect(&link, &DeviceLink::bytesReceived,
                         [this](qsizetype count) { received += count; });
        QObject::connect(&link, &DeviceLink::requestSent, [this] { ++sent; });
        QObject::connect(&link, &DeviceLink::searchProgress, [this] { ++sent; });
        started = core->start();
        return *core;
    }
    // Ends it as the program does: the configuration is saved first.
    void destroy()
    {
        core->SaveIniToFile();
        core.reset();
    }

    bool open(const QString &port)
    {
        core->setPortName(port);
        if (!core->link().isOpen())
            core->TogglePort();
        return core->link().isOpen();
    }

    void store(const QByteArray &content, const QString &name = QStringLiteral("Monitor.ini"))
    {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QByteArray written() const { return contents(path(QStringLiteral("Monitor.ini"))); }
    static QByteArray contents(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // Simulated devices on a pseudo-terminal, answering at once and never drifting.
    DeviceSimulator &simulate()
    {
        bus = std::make_unique<DeviceSimulator>();
        bus->setDriftInterval(0);
        QObject::connect(bus.get(), &DeviceSimulator::answerWritten,
                         [this](quint8, const QByteArray &answer) { answered += answer.size(); });
        QObject::connect(bus.get(), &DeviceSimulator::requestReceived, [this] { ++heard; });
        heard = sent;
        [this] { QVERIFY2(bus->openPty(), qPrintable(bus->errorString())); }();
        return *bus;
    }

    // One tick of the request pacing; then, until 5 s have passed, waits for whatever the
    // simulated devices answer to reach the station whole.
    bool tick()
    {
        core->link().ProccessCommunication();
        return settle();
    }
    // Period ticks until a cycle starts; -1 when none starts within 400.
    int periodsUntilCycle()
    {
        for (int i = 1; i <= 400; ++i) {
            core->link().SendRequestReadTemperature();
            if (core->link().isPolling())
                return i;
        }
        return -1;
    }
    // Pacing ticks while the link is polling or searching; -1 when it still is after 300.
    int ticksWhile(bool (DeviceLink::*running)() const)
    {
        for (int i = 1; i <= 300 && tick(); ++i) {
            if (!(core->link().*running)())
                return i;
        }
        return -1;
    }
    // One whole poll cycle: the poll period runs out, then the pacing ticks until the cycle has
    // ended, each device answering or given up after 21 requests.
    bool cycle()
    {
        if (periodsUntilCycle() > 0 && ticksWhile(&DeviceLink::isPolling) > 0)
            return true;
        qWarning("no poll cycle of %d devices ended", core->link().deviceCount());
        return false;
    }
    bool settle()
    {
        const auto caughtUp = [this] {
            return (!bus || (heard >= sent && bus->pendingAnswers() == 0)) && received >= answered;
        };
        if (QTest::qWaitFor(caughtUp, 5000))
            return true;
        qWarning("after 5 s the devices had %lld of %lld requests, and the station %lld of the "
                 "%lld bytes they answered",
                 static_cast<long long>(heard), static_cast<long long>(sent),
                 static_cast<long long>(received), static_cast<long long>(answered));
        return false;
    }

    std::unique_ptr<StationCore> core;
    // The journal's clock from the start on, when set before create().
    AlarmJournal::Clock clock;
    // What the core's start made of Monitor.ini.
    StationCore::ConfigState started = StationCore::ConfigState::Missing;
    std::unique_ptr<DeviceSimulator> bus;

private:
    qint64 sent = 0;
    qint64 heard = 0;
    qint64 received = 0;
    qint64 answered = 0;
};
