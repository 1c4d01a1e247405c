// The station publishing to a real Mosquitto: readings, alarm edges, presence, outages.
#include "corefixture.h"
#include "mosquittobroker.h"
#include "stationpublisher.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSysInfo>

namespace {
QJsonObject json(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload).object();
}

QStringList output;
QtMessageHandler previousHandler = nullptr;
void keepOutput(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    output << message;
    previousHandler(type, context, message);
}
} // namespace

class TestPublisher : public QObject
{
    Q_OBJECT

    std::unique_ptr<MosquittoBroker> broker;
    std::unique_ptr<BrokerSubscriber> subscriber;
    std::unique_ptr<CoreFixture> fixture;
    std::unique_ptr<StationPublisher> publisher;

    StationCore &core() { return *fixture->core; }

    static void writeConfig(const QString &path, const QByteArray &mqtt)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[mqtt]\n" + mqtt);
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    // A station in a scratch directory that publishes to the broker as station "hall", polling
    // the simulated devices (each answering 20 and -20 until told otherwise) every second.
    void startStation(quint16 port, const QList<quint8> &devices, const QByteArray &more = {},
                      StationTimer::Mode timers = StationTimer::Mode::Held)
    {
        fixture = std::make_unique<CoreFixture>();
        writeConfig(fixture->path(QStringLiteral("Grelvix.conf")),
                    "host=127.0.0.1\nport=" + QByteArray::number(port) + "\nstation=hall\n" + more);
        DeviceSimulator &bus = fixture->simulate();
        StationConfig config;
        config.port = bus.portName();
        config.pollInterval = 1;
        config.devices = devices;
        for (quint8 address : devices)
            bus.addDevice(address)->setTemperatures(20.0, -20.0);
        for (int n = 0; n < Station::ChannelCount; ++n)
            config.channels[n] = {QStringLiteral("Датчик"), 40.0f, 10.0f, 0, 0, 0};
        config.channels[1] = {QStringLiteral("Печь"), 40.0f, 10.0f, 1, 0, 0};
        fixture->store(config.format());
        fixture->create(timers);
        publisher = std::make_unique<StationPublisher>(core());
        QVERIFY(publisher->isEnabled());
        publisher->start();
    }

    // A broker, a subscriber to it, and a publishing station polling two devices, 5 and 7.
    void stationOnLine(const QByteArray &filter)
    {
        broker = std::make_unique<MosquittoBroker>();
        QVERIFY(broker->start());
        subscriber = std::make_unique<BrokerSubscriber>(broker->port(), filter);
        startStation(broker->port(), {5, 7});
        QVERIFY(core().link().isOpen());
    }

    // Within the client's next retry, after a lost connection too, and seconds for the rest.
    void connected()
    {
        MqttClient *client = publisher->client();
        const int bound = client->retryDelay() + 10000;
        QVERIFY2(QTest::qWaitFor([&] { return client->state() == MqttClient::Connected; }, bound),
                 qPrintable(QStringLiteral("not connected within %1 s: %2")
                                .arg(bound / 1000)
                                .arg(client->errorString())));
    }

private slots:
    void cleanup()
    {
        publisher.reset();
        fixture.reset();
        subscriber.reset();
        broker.reset();
    }

    void readsItsOwnFile_data()
    {
        QTest::addColumn<QByteArray>("mqtt");
        QTest::addColumn<bool>("othersRead");
        // Port, QoS, client id, T0's topic, warnings, password and whether others may read it.
        QTest::addColumn<QString>("expected");

        const QString host = QSysInfo::machineHostName();
        QTest::newRow("no host: off") << QByteArray("port=1884\n") << false << QString();
        QTest::newRow("defaults")
            << QByteArray("host=b\n") << false
            << QStringLiteral("1883 1 grelvix-%1 grelvix/%1/T0 0  0").arg(host);
        QTest::newRow("TLS port") << QByteArray("host=b\ncaFile=ca.pem\nstation=s\n") << false
                                  << QStringLiteral("8883 1 grelvix-s grelvix/s/T0 0  0");
        QTest::newRow("all given")
            << QByteArray("host=b\nport=1999\nstation=hall\nclientId=x\nqos=0\nprefix=plant/a\n")
            << false << QStringLiteral("1999 0 x plant/a/hall/T0 0  0");
        QTest::newRow("bad values")
            << QByteArray("host=b\nport=99999\nqos=2\nstation=a/b+\n") << false
            << QStringLiteral("1883 1 grelvix-a_b_ grelvix/a_b_/T0 3  0");
        QTest::newRow("password, private")
            << QByteArray("host=b\nstation=s\nuser=u\npassword=p,q\n") << false
            << QStringLiteral("1883 1 grelvix-s grelvix/s/T0 0 p,q 0");
        QTest::newRow("password, others read")
            << QByteArray("host=b\nstation=s\nuser=u\npassword=p\n") << true
            << QStringLiteral("1883 1 grelvix-s grelvix/s/T0 0 p 1");
    }
    void readsItsOwnFile()
    {
        QFETCH(QByteArray, mqtt);
        QFETCH(bool, othersRead);
        QFETCH(QString, expected);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Grelvix.conf"));
        writeConfig(path, mqtt);
        if (othersRead)
            QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ReadOther);
        const PublisherConfig config = PublisherConfig::read(path);
        QCOMPARE(config.enabled, !expected.isEmpty());
        if (config.enabled)
            QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                         .arg(config.client.port)
                         .arg(config.qos)
                         .arg(config.client.clientId, QString::fromUtf8(config.topic("T0")))
                         .arg(config.warnings.size())
                         .arg(config.client.password)
                         .arg(int(config.passwordExposed)),
                     expected);
    }

    void pollCyclePublishesEveryChannelOfTheKnownDevices()
    {
        stationOnLine("grelvix/#");
        fixture->bus->device(5)->setTemperatures(23.5, -10.0);
        fixture->bus->device(7)->setTemperatures(125.0, 21.0);
        core().setChannelEnabled(1, false);
        core().setChannel(3, QStringLiteral("Датчик"), 20.0f, 10.0f);
        core().setChannelEnabled(3, true);
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        QVERIFY(fixture->cycle());
        // T3's 21 is above its threshold from the next alarm tick on.
        core().ControlTermoAlarm();
        QVERIFY(fixture->cycle());

        const QJsonValue values[] = {23.5, -10.0, QJsonValue(), 21.0};
        for (int n = 0; n < 4; ++n) {
            const QByteArray topic = "grelvix/hall/T" + QByteArray::number(n);
            (void)QTest::qWaitFor([&] { return subscriber->payloads(topic).size() >= 2; }, 10000);
            QCOMPARE(subscriber->payloads(topic).size(), 2);
            QJsonObject reading = json(subscriber->payloads(topic).last());
            QVERIFY(reading.take(QLatin1String("time")).toInteger() >= before);
            const QString name = n == 1 ? QStringLiteral("Печь") : QStringLiteral("Датчик");
            QCOMPARE(reading, QJsonObject({{QLatin1String("value"), values[n]},
                                           {QLatin1String("name"), name},
                                           {QLatin1String("alarm"), n == 3}}));
        }
        QCOMPARE(subscriber->payloads("grelvix/hall/status"), QList<QByteArray>{"online"});
        QVERIFY(subscriber->payloads("grelvix/hall/T4").isEmpty());
    }

    void alarmEdgesArePublished()
    {
        stationOnLine("grelvix/hall/alarm");
        fixture->bus->device(5)->setTemperatures(20.0, 45.5);
        QVERIFY(fixture->cycle());
        core().ControlTermoAlarm();
        core().ControlTermoAlarm(); // still in alarm: no edge
        core().AlarmReset();
        fixture->bus->device(5)->setTemperatures(20.0, 20.0);
        QVERIFY(fixture->cycle());
        core().ControlTermoAlarm();

        (void)QTest::qWaitFor([&] { return subscriber->messages().size() >= 3; }, 10000);
        QCOMPARE(subscriber->messages().size(), 3);
        const QList<QByteArray> alarms = subscriber->payloads("grelvix/hall/alarm");
        const char *states[] = {"on", "reset", "off"};
        const double values[] = {45.5, 45.5, 20.0};
        for (int i = 0; i < 3; ++i) {
            QJsonObject alarm = json(alarms[i]);
            QVERIFY(alarm.take(QLatin1String("time")).toInteger() > 0);
            QCOMPARE(alarm, QJsonObject({{QLatin1String("state"), QLatin1String(states[i])},
                                         {QLatin1String("channel"), QLatin1String("T1")},
                                         {QLatin1String("name"), QStringLiteral("Печь")},
                                         {QLatin1String("value"), values[i]}}));
        }
    }

    void wrongPasswordIsReportedAndNotRetriedInATightLoop()
    {
        broker = std::make_unique<MosquittoBroker>(
            MosquittoBroker::Options{QStringLiteral("station"), QStringLiteral("right"), {}});
        QVERIFY(broker->start());
        const QString password = QStringLiteral("Wr0ng-Pa55");
        output.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("grelvix.mqtt.debug=true"));
        previousHandler = qInstallMessageHandler(keepOutput);
        QStringList messages;
        startStation(broker->port(), {}, "user=station\npassword=" + password.toUtf8() + '\n');
        connect(publisher.get(), &StationPublisher::message, this,
                [&messages](const QString &text) { messages << text; });

        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         return messages.join(QLatin1Char('\n'))
                             .contains(QLatin1String("refused the connection"));
                     },
                     10000),
                 "no refusal told within 10 s");
        const int attempts = publisher->client()->connectAttempts();
        // Retries back off from 1 s: a few seconds see a few attempts at most, never a burst.
        QTest::qWait(3000);
        QVERIFY2(publisher->client()->connectAttempts() <= attempts + 2,
                 qPrintable(QString::number(publisher->client()->connectAttempts())));
        QVERIFY(publisher->client()->state() != MqttClient::Connected);
        publisher.reset();
        qInstallMessageHandler(previousHandler);
        QLoggingCategory::setFilterRules(QString());

        QVERIFY(output.join(QLatin1Char('\n')).contains(QLatin1String("not authorised")) ||
                output.join(QLatin1Char('\n')).contains(QLatin1String("bad user name")));
        for (const QString &said : std::as_const(output))
            QVERIFY2(!said.contains(password), qPrintable(said));
    }

    void killedStationLeavesItsWill()
    {
        broker = std::make_unique<MosquittoBroker>();
        QVERIFY(broker->start());
        subscriber = std::make_unique<BrokerSubscriber>(broker->port(), "grelvix/hall/status");
        QTemporaryDir dir;
        writeConfig(dir.filePath(QStringLiteral("Grelvix.conf")),
                    "host=127.0.0.1\nport=" + QByteArray::number(broker->port()) +
                        "\nstation=hall\n");

        QProcess station;
        station.setWorkingDirectory(dir.path());
        station.setProcessChannelMode(QProcess::ForwardedChannels);
        station.start(QStringLiteral(GRELVIX_BINARY), {});
        QVERIFY(station.waitForStarted(10000));
        const auto presence = [&] { return subscriber->payloads("grelvix/hall/status"); };
        // A sanitizer build of the station takes seconds to start.
        (void)QTest::qWaitFor([&] { return !presence().isEmpty(); }, 20000);
        QCOMPARE(presence(), QList<QByteArray>{"online"});
        station.kill();
        QVERIFY(station.waitForFinished(5000));
        (void)QTest::qWaitFor([&] { return presence().size() >= 2; }, 10000);
        QCOMPARE(presence(), QList<QByteArray>({"online", "offline"}));
    }

    // The broker away for 30 s: every reading the station produced meanwhile arrives, in order.
    void brokerOutageLosesNothing()
    {
        broker = std::make_unique<MosquittoBroker>();
        QVERIFY(broker->start());
        subscriber = std::make_unique<BrokerSubscriber>(broker->port(), "grelvix/hall/+");
        QVERIFY2(QTest::qWaitFor([&] { return subscriber->isSubscribed(); }, 10000),
                 "the subscriber did not subscribe within 10 s");

        const int devices = Station::ChannelCount / 2;
        QList<quint8> addresses;
        for (int d = 0; d < devices; ++d)
            addresses << quint8(2 + d);
        startStation(broker->port(), addresses, {}, StationTimer::Mode::Running);
        int cycle = 0;
        const auto setReadings = [&] {
            for (quint8 address : addresses)
                fixture->bus->device(address)->setTemperatures(20.0 + (cycle % 900) / 10.0,
                                                               -20.0 - (cycle % 300) / 10.0);
        };
        setReadings();

        // What the station published, in order: channel and tenths of a degree.
        QStringList produced;
        connect(&core(), &StationCore::pollCycleFinished, this, [&](const QList<float> &values) {
            for (int n = 0; n < values.size(); ++n)
                produced << QStringLiteral("T%1 %2").arg(n).arg(qRound(values[n] * 10));
            ++cycle;
            setReadings();
        });
        connected();

        QVERIFY2(QTest::qWaitFor([&] { return cycle >= 3; }, 15000),
                 qPrintable(QStringLiteral("%1 of 3 poll cycles within 15 s").arg(cycle)));
        broker->stop();
        const int beforeOutage = cycle;
        QTest::qWait(30000);
        const int duringOutage = cycle - beforeOutage;
        QVERIFY(broker->start());
        connected();
        const int reconnected = cycle;
        QVERIFY2(QTest::qWaitFor([&] { return cycle >= reconnected + 3; }, 15000),
                 qPrintable(QStringLiteral("%1 of 3 poll cycles within 15 s of the reconnection")
                                .arg(cycle - reconnected)));
        core().TogglePort();

        qsizetype readings = 0;
        const auto firstArrivals = [&] {
            QStringList first;
            readings = 0;
            for (const BrokerSubscriber::Message &m : subscriber->messages()) {
                const QString channel =
                    QString::fromUtf8(m.topic.mid(m.topic.lastIndexOf('/') + 1));
                if (!channel.startsWith(QLatin1Char('T')))
                    continue;
                ++readings;
                const double value = json(m.payload).value(QLatin1String("value")).toDouble();
                const QString key = QStringLiteral("%1 %2").arg(channel).arg(qRound(value * 10));
                if (!first.contains(key))
                    first << key;
            }
            return first;
        };
        (void)QTest::qWaitFor([&] { return firstArrivals().size() >= produced.size(); }, 30000);
        const QStringList delivered = firstArrivals();
        QCOMPARE(delivered, produced);
        qInfo("outage of 30 s, %d cycles in it: %lld produced, %lld delivered, %lld duplicated, "
              "%lld lost",
              duringOutage, qlonglong(produced.size()), qlonglong(delivered.size()),
              qlonglong(readings - delivered.size()),
              qlonglong(produced.size() - delivered.size()));
        QVERIFY(duringOutage > 0);
        QCOMPARE(publisher->client()->dropped(), quint64(0));
    }
};

QTEST_GUILESS_MAIN(TestPublisher)
#include "tst_publisher.moc"
