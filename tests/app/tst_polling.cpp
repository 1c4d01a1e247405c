// Connection control, device search and the poll cycle, end to end against the simulated bus.
#include "stationfixture.h"

#include "devicesimulator.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include <cmath>

class TestPolling : public QObject
{
    Q_OBJECT

    std::unique_ptr<StationFixture> fixture;
    std::unique_ptr<DeviceSimulator> bus;
    qsizetype lastAnswerSize = 0;

    Velunor &w() { return *fixture->station; }

    void serve(std::initializer_list<quint8> addresses)
    {
        for (quint8 a : addresses)
            bus->addDevice(a)->setTemperatures(20.0 + a, -(a / 10.0));
    }

    void setFault(quint8 address, const char *fault)
    {
        bus->device(address)->setFault(*SimulatedDevice::Fault::fromString(QLatin1String(fault)));
    }

    // Where the next pacing tick sends its request; 0 for nowhere.
    quint8 nextTarget()
    {
        if (w().SearchActive)
            return w().SearchAddress == 254 ? 0 : quint8(w().SearchAddress + 1);
        if (!w().PollActive)
            return 0;
        int index = w().PollIndex + (w().NoAnswerCount > 20 ? 1 : 0);
        if (index >= w().DeviceCount && w().PollDue)
            index = 0;
        return index < w().DeviceCount ? w().DeviceAddress[index] : 0;
    }

    // One pacing tick; when an answering device was asked, waits until the station has taken
    // the whole answer: it moved on, or holds all of its bytes.
    void tickAndSettle()
    {
        const quint8 target = nextTarget();
        SimulatedDevice *device = target ? bus->device(target) : nullptr;
        const bool answers = device && device->fault().kind != SimulatedDevice::Fault::Silent;
        const quint64 answered = answers ? bus->answerCount(target) : 0;
        fixture->tick();
        if (!answers)
            return;
        const int devices = w().DeviceCount;
        const int index = w().PollIndex;
        QVERIFY(QTest::qWaitFor([&] { return bus->answerCount(target) > answered; }, 5000));
        QVERIFY(QTest::qWaitFor(
            [&] {
                return w().DeviceCount != devices || w().PollIndex != index ||
                       w().ReceivedSize() >= lastAnswerSize;
            },
            5000));
    }

    void scan()
    {
        w().on_SearchDevice_pushButton_clicked();
        finishScan();
    }

    void finishScan()
    {
        for (int i = 0; i < 300 && w().SearchActive; ++i)
            tickAndSettle();
        QVERIFY(!w().SearchActive);
    }

    void storeDevices(std::initializer_list<quint8> addresses)
    {
        int n = 0;
        for (quint8 a : addresses)
            w().DeviceAddress[n++] = a;
        w().DeviceCount = n;
    }

    // Ticks of the poll period until a cycle starts; -1 when none starts within 400.
    int ticksUntilCycle()
    {
        for (int i = 1; i <= 400; ++i) {
            w().SendRequestReadTemperature();
            if (w().PollActive)
                return i;
        }
        return -1;
    }

    // One cycle from the period tick that starts it to its end.
    void runCycle()
    {
        QVERIFY(ticksUntilCycle() > 0);
        for (int i = 0; i < 100 && w().PollActive; ++i)
            tickAndSettle();
        QVERIFY(!w().PollActive);
    }

private slots:
    void init()
    {
        fixture = std::make_unique<StationFixture>();
        bus = std::make_unique<DeviceSimulator>();
        bus->setDriftInterval(0);
        connect(bus.get(), &DeviceSimulator::answerWritten, this,
                [this](quint8, const QByteArray &answer) { lastAnswerSize = answer.size(); });
        QVERIFY(bus->openPty());
        fixture->create();
    }
    void cleanup()
    {
        fixture.reset();
        bus.reset();
    }

    void openingAndClosingSwitchTheControls()
    {
        auto *button = w().findChild<QPushButton *>(QStringLiteral("pbPortOpen"));
        w().findChild<QLineEdit *>(QStringLiteral("lePort"))->setText(bus->portName());
        w().on_pbPortOpen_clicked();
        QVERIFY(w().SerialDevice->isOpen());
        QCOMPARE(button->text(), QStringLiteral("Close"));
        QCOMPARE(w().TimerRequest->interval(), 1000);
        QVERIFY(w().TimerRequest->isActive());
        QCOMPARE(w().TimerCommunication->interval(), 100);
        QVERIFY(w().TimerCommunication->isActive());
        QVERIFY(!w().findChild<QLineEdit *>(QStringLiteral("lePort"))->isEnabled());
        QVERIFY(!w().findChild<QComboBox *>(QStringLiteral("cbBaud"))->isEnabled());
        for (const char *name : {"CurrentDisplayTempBox", "StatusDevBox", "SearchDevicesBox"})
            QVERIFY(w().findChild<QGroupBox *>(QLatin1String(name))->isEnabled());
        QVERIFY(w().findChild<QToolButton *>(QStringLiteral("StartLog"))->isEnabled());

        w().PollActive = true;
        w().SearchActive = true;
        w().on_pbPortOpen_clicked();
        QVERIFY(!w().SerialDevice->isOpen());
        QCOMPARE(button->text(), QStringLiteral("Open"));
        QVERIFY(!w().TimerRequest->isActive());
        QVERIFY(!w().TimerCommunication->isActive());
        QVERIFY(w().findChild<QLineEdit *>(QStringLiteral("lePort"))->isEnabled());
        QVERIFY(!w().findChild<QGroupBox *>(QStringLiteral("SearchDevicesBox"))->isEnabled());
        QVERIFY(!w().findChild<QToolButton *>(QStringLiteral("StopLog"))->isEnabled());
        // Closing interrupts, it does not reset.
        QVERIFY(w().PollActive && w().SearchActive);
    }

    void failedOpenChangesNothingOnScreen_data()
    {
        QTest::addColumn<QString>("port");
        QTest::newRow("empty") << QString();
        QTest::newRow("missing") << QStringLiteral("/dev/grelvix-no-such-port");
    }
    void failedOpenChangesNothingOnScreen()
    {
        QFETCH(QString, port);
        w().findChild<QLineEdit *>(QStringLiteral("lePort"))->setText(port);
        w().show();
        const QImage before = w().grab().toImage();
        w().on_pbPortOpen_clicked();
        QVERIFY(!w().SerialDevice->isOpen());
        QCOMPARE(w().grab().toImage(), before);
        QVERIFY(!w().TimerRequest->isActive());
    }

    void scanFindsTheAnsweringAddresses()
    {
        serve({1, 5, 9});
        QVERIFY(fixture->open(bus->portName()));
        w().on_SearchDevice_pushButton_clicked();
        QCOMPARE(fixture->status(), QStringLiteral("ПОИСК..."));
        scan();
        QCOMPARE(w().DeviceCount, 2);
        QCOMPARE(w().DeviceAddress[0], quint8(5));
        QCOMPARE(w().DeviceAddress[1], quint8(9));
        QCOMPARE(w().findChild<QLCDNumber *>(QStringLiteral("NumberOfDevices"))->intValue(), 2);
        for (int n = 0; n < Velunor::ChannelCount; ++n)
            QCOMPARE(w().channelButton(n)->isEnabled(), n < 4);
        QCOMPARE(fixture->status(), QStringLiteral("ОЖИДАНИЕ"));
        // Address 1 is never probed, 254 is the last one.
        QTRY_COMPARE(bus->requestCount(254), quint64(1));
        QCOMPARE(bus->requestCount(1), quint64(0));
        QCOMPARE(bus->requestCount(5), quint64(1));
        QCOMPARE(bus->requestCount(255), quint64(0));
    }

    void cycleStartsEveryPeriodAndAsksEachDeviceOnce()
    {
        serve({5, 7});
        QVERIFY(fixture->open(bus->portName()));
        storeDevices({5, 7});
        QCOMPARE(ticksUntilCycle(), 5);
        QCOMPARE(fixture->tick(), 45);
        QCOMPARE(fixture->status(), QStringLiteral("ЗАПРОС"));
        QTRY_COMPARE(w().PollIndex, 1);
        QCOMPARE(fixture->tick(), 45);
        QTRY_VERIFY(!w().PollActive);
        QCOMPARE(fixture->status(), QStringLiteral("ОЖИДАНИЕ"));
        QCOMPARE(bus->requestCount(5), quint64(1));
        QCOMPARE(bus->requestCount(7), quint64(1));
        QCOMPARE(w().CurrentTemp[0], 25.0f);
        QCOMPARE(w().CurrentTemp[3], -0.7f);
        QVERIFY(StationFixture::displays(w().display(2), QStringLiteral("27.0")));
        // Between cycles nothing goes out.
        fixture->tick();
        QCOMPARE(bus->requestCount(5), quint64(1));
        QCOMPARE(ticksUntilCycle(), 5);
    }

    void silentFirstDeviceIsSkippedAfterTwentyOneRequests()
    {
        serve({5, 7});
        setFault(5, "silent");
        QVERIFY(fixture->open(bus->portName()));
        storeDevices({5, 7});
        QCOMPARE(ticksUntilCycle(), 5);
        for (int i = 0; i < 21; ++i)
            tickAndSettle();
        QCOMPARE(w().PollIndex, 0);
        QCOMPARE(w().NoAnswerCount, 21u);
        tickAndSettle();
        QVERIFY(!w().PollActive);
        QCOMPARE(fixture->status(), QStringLiteral("ОЖИДАНИЕ"));
        QTRY_COMPARE(bus->requestCount(5), quint64(21));
        QCOMPARE(bus->requestCount(7), quint64(1));
        QCOMPARE(w().CurrentTemp[2], 27.0f);
        // The next cycle comes on time and asks the silent device again.
        QCOMPARE(ticksUntilCycle(), 5);
        QCOMPARE(w().PollIndex, 0);
    }

    void silentLastDeviceEndsTheCycleWithoutLink()
    {
        serve({5, 7});
        setFault(7, "silent");
        QVERIFY(fixture->open(bus->portName()));
        storeDevices({5, 7});
        QCOMPARE(ticksUntilCycle(), 5);
        for (int i = 0; i < 22; ++i)
            tickAndSettle();
        QVERIFY(w().PollActive);
        tickAndSettle();
        QVERIFY(!w().PollActive);
        QCOMPARE(fixture->status(), QStringLiteral("НЕТ СВЯЗИ"));
        QTRY_COMPARE(bus->requestCount(7), quint64(21));
        QCOMPARE(ticksUntilCycle(), 5);
    }

    void periodTickDuringACycleLetsItFinish_data()
    {
        QTest::addColumn<quint8>("silent");
        QTest::newRow("first silent") << quint8(5);
        QTest::newRow("middle silent") << quint8(7);
    }
    void periodTickDuringACycleLetsItFinish()
    {
        QFETCH(quint8, silent);
        serve({5, 7, 9});
        setFault(silent, "silent");
        QVERIFY(fixture->open(bus->portName()));
        storeDevices({5, 7, 9});
        w().findChild<QSpinBox *>(QStringLiteral("SensorsReadInterval"))->setValue(1);
        // Twenty periods of 1 s, each 22 pacing ticks of 45 ms: a cycle takes 23 or 24 ticks, so
        // every period tick but the first falls into a running cycle.
        for (int period = 0; period < 20; ++period) {
            w().SendRequestReadTemperature();
            for (int i = 0; i < 22; ++i)
                tickAndSettle();
        }
        for (quint8 address : {5, 7, 9}) {
            if (address != silent)
                QVERIFY2(bus->answerCount(address) >= 17, qPrintable(QString::number(address)));
        }
    }

    void givenUpDeviceHoldsNoReading_data()
    {
        QTest::addColumn<int>("silentIndex");
        QTest::newRow("first") << 0;
        QTest::newRow("last") << 1;
    }
    void givenUpDeviceHoldsNoReading()
    {
        QFETCH(int, silentIndex);
        serve({5, 7});
        QVERIFY(fixture->open(bus->portName()));
        storeDevices({5, 7});
        w().findChild<QLabel *>(QStringLiteral("PathCurrentDirectory"))
            ->setText(fixture->path(QString()) + '/');
        w().on_StartLog_pressed();
        runCycle();
        setFault(w().DeviceAddress[silentIndex], "silent");
        runCycle();

        for (int channel : {2 * silentIndex, 2 * silentIndex + 1}) {
            QVERIFY(std::isnan(w().CurrentTemp[channel]));
            QVERIFY(StationFixture::displays(w().display(channel), QStringLiteral("---")));
            QCOMPARE(StationFixture::graphPoints(w().GraphWindow[channel]), 1);
        }
        // Both cycles are recorded, the second without a reading for the silent device.
        QFile log(w().LogFilePath);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> second = log.readAll().split('\t').mid(10, 5);
        QCOMPARE(second.size(), 5);
        for (int channel = 0; channel < 4; ++channel)
            QCOMPARE(second[1 + channel] == "nan", channel / 2 == silentIndex);
    }

    void sevenDevicesArePolledButOnlySixShown()
    {
        serve({2, 3, 4, 6, 8, 10, 12});
        QVERIFY(fixture->open(bus->portName()));
        scan();
        QCOMPARE(w().DeviceCount, 7);
        for (int n = 0; n < Velunor::ChannelCount; ++n)
            QVERIFY(!w().channelButton(n)->isEnabled());
        QVERIFY(ticksUntilCycle() > 0);
        for (int i = 0; i < 7; ++i)
            tickAndSettle();
        QVERIFY(!w().PollActive);
        QCOMPARE(bus->requestCount(12), quint64(2));
        QCOMPARE(w().CurrentTemp[10], 30.0f);
        QCOMPARE(w().CurrentTemp[11], -1.0f);
    }

    void requestTicksWrapWhileNoDeviceIsKnown()
    {
        serve({5});
        QVERIFY(fixture->open(bus->portName()));
        RequestTicks = 4;
        for (int i = 0; i < 130; ++i)
            w().SendRequestReadTemperature();
        QVERIFY(!w().PollActive);
        QCOMPARE(RequestTicks, qint8(-122));
        scan();
        QCOMPARE(w().DeviceCount, 1);
        // From -122 up to the period of 5.
        QCOMPARE(ticksUntilCycle(), 127);
    }

    void closingDuringScanResumesAtTheNextAddress()
    {
        serve({5, 9});
        QVERIFY(fixture->open(bus->portName()));
        w().on_SearchDevice_pushButton_clicked();
        for (int i = 0; i < 6; ++i)
            tickAndSettle();
        QCOMPARE(w().SearchAddress, quint8(7));
        QCOMPARE(w().DeviceCount, 1);
        w().on_pbPortOpen_clicked();
        QVERIFY(fixture->open(bus->portName()));
        QCOMPARE(bus->requestCount(8), quint64(0));
        tickAndSettle();
        QTRY_COMPARE(bus->requestCount(8), quint64(1));
        finishScan();
        QCOMPARE(w().DeviceCount, 2);
        QCOMPARE(w().DeviceAddress[1], quint8(9));
    }

    void scanDuringCycleHoldsTheCycleUntilItEnds()
    {
        serve({5, 7});
        QVERIFY(fixture->open(bus->portName()));
        storeDevices({5, 7});
        QCOMPARE(ticksUntilCycle(), 5);
        scan();
        QCOMPARE(bus->requestCount(5), quint64(1)); // the probe only
        QVERIFY(w().PollActive);
        tickAndSettle();
        QCOMPARE(bus->requestCount(5), quint64(2));
        QCOMPARE(w().PollIndex, 1);
    }

    void answersWithGapsOrDelayArrive()
    {
        serve({5, 7});
        setFault(5, "gap 2");
        setFault(7, "delay 20");
        QVERIFY(fixture->open(bus->portName()));
        storeDevices({5, 7});
        QCOMPARE(ticksUntilCycle(), 5);
        tickAndSettle();
        QCOMPARE(w().PollIndex, 1);
        tickAndSettle();
        QVERIFY(!w().PollActive);
        QCOMPARE(w().CurrentTemp[0], 25.0f);
        QCOMPARE(w().CurrentTemp[2], 27.0f);
    }

    void corruptedAnswerIsAskedAgain()
    {
        serve({5});
        setFault(5, "badcrc");
        QVERIFY(fixture->open(bus->portName()));
        storeDevices({5});
        QCOMPARE(ticksUntilCycle(), 5);
        tickAndSettle();
        QCOMPARE(w().PollIndex, 0);
        QCOMPARE(w().NoAnswerCount, 1u);
        setFault(5, "none");
        tickAndSettle();
        QVERIFY(!w().PollActive);
        QCOMPARE(w().NoAnswerCount, 0u);
    }
};

QTEST_MAIN(TestPolling)
#include "tst_polling.moc"
