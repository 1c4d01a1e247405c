// The MQTT client against a real Mosquitto: its bounded queue, TLS with the host name checked,
// loopback names.
#include "loopbackname.h"
#include "mosquittobroker.h"
#include "mqttclient.h"

#include <QTest>

class TestMqttClient : public QObject
{
    Q_OBJECT

    static MqttOptions optionsFor(quint16 port)
    {
        MqttOptions options;
        options.host = QStringLiteral("127.0.0.1");
        options.port = port;
        options.clientId = QStringLiteral("tst-client");
        options.presenceTopic = "t/status";
        options.lossTopic = "t/dropped";
        return options;
    }

private slots:
    // Bookkeeping takes 16 bytes a message: 60 bytes hold three of 4 bytes each.
    void queueKeepsTheNewestThatFitItsBytes()
    {
        MessageQueue queue(10, 60);
        for (int i = 0; i < 5; ++i)
            QVERIFY(queue.push({"t", QByteArray::number(1000 + i), 1}));
        QCOMPARE(queue.size(), 3);
        QCOMPARE(queue.dropped(), quint64(2));
        QCOMPARE(queue.at(queue.firstSeq()).payload, QByteArray("1002"));
        QVERIFY(!queue.push({"t", QByteArray(60, 'x'), 1}));
    }

    // Published before the broker is reached: the newest that fit are delivered in order once
    // it is, and the number of those that did not fit follows the presence. The client starts
    // only once the subscriber listens, or it could deliver before anyone does.
    void fullQueueReportsWhatItDropped()
    {
        MosquittoBroker broker;
        MqttOptions options = optionsFor(broker.port());
        options.maxQueuedMessages = 4;
        MqttClient client(options);
        for (int i = 0; i < 10; ++i)
            QVERIFY(client.publish("t/data", QByteArray::number(i)));
        QCOMPARE(client.queued(), 4);

        QVERIFY(broker.start());
        BrokerSubscriber subscriber(broker.port(), "t/#");
        QVERIFY2(QTest::qWaitFor([&] { return subscriber.isSubscribed(); }, 10000),
                 "the subscriber did not subscribe within 10 s");
        client.start();
        QVERIFY2(QTest::qWaitFor([&] { return client.delivered() == 4; }, 10000),
                 qPrintable(QStringLiteral("%1 of 4 messages delivered within 10 s; %2")
                                .arg(client.delivered())
                                .arg(client.errorString())));
        (void)QTest::qWaitFor([&] { return subscriber.payloads("t/data").size() >= 4; }, 10000);
        QCOMPARE(subscriber.payloads("t/data"), QList<QByteArray>({"6", "7", "8", "9"}));
        QCOMPARE(subscriber.payloads("t/status"), QList<QByteArray>{"online"});
        const QList<QByteArray> reports = subscriber.payloads("t/dropped");
        QCOMPARE(reports.size(), 1);
        QVERIFY2(reports[0].contains("\"dropped\":6"), reports[0]);

        client.close();
        QVERIFY2(
            QTest::qWaitFor([&] { return subscriber.payloads("t/status").size() >= 2; }, 10000),
            "no second presence within 10 s of the close");
        QCOMPARE(subscriber.payloads("t/status").value(1), QByteArray("offline"));
    }

    // The connection goes to an address; the certificate must still name the host. A name
    // under .localhost is known to no resolver: it reaches the broker only as a loopback name.
    void tlsChecksTheHostName_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("certifiedName");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("certificate for the host")
            << QStringLiteral("localhost") << QStringLiteral("localhost") << true;
        QTest::newRow("subdomain of localhost")
            << QStringLiteral("broker.localhost") << QStringLiteral("broker.localhost") << true;
        QTest::newRow("certificate for another")
            << QStringLiteral("localhost") << QStringLiteral("broker.example") << false;
    }
    void tlsChecksTheHostName()
    {
        QFETCH(QString, host);
        QFETCH(QString, certifiedName);
        QFETCH(bool, accepted);

        MosquittoBroker broker({{}, {}, certifiedName});
        QVERIFY(broker.start());
        MqttOptions options = optionsFor(broker.port());
        options.host = host;
        options.tls.caFile = broker.caFile();
        MqttClient client(options);
        client.publish("t/data", "secret");
        client.start();
        const auto refused = [&] {
            return client.errorString().contains(QLatin1String("hostname"));
        };
        const bool settled =
            QTest::qWaitFor([&] { return accepted ? client.delivered() == 1 : refused(); }, 10000);
        QVERIFY2(settled, qPrintable(QStringLiteral("not %1 within 10 s; %2")
                                         .arg(accepted ? "delivered" : "refused for its name",
                                              client.errorString())));
        QCOMPARE(client.delivered(), quint64(accepted ? 1 : 0));
    }

    void loopbackNames_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("loopback");
        QTest::newRow("localhost") << QStringLiteral("localhost") << true;
        QTest::newRow("upper case, final dot") << QStringLiteral("LOCALHOST.") << true;
        QTest::newRow("subdomain") << QStringLiteral("a.localhost") << true;
        QTest::newRow("under a domain") << QStringLiteral("localhost.example") << false;
        QTest::newRow("longer label") << QStringLiteral("notlocalhost") << false;
        QTest::newRow("two final dots") << QStringLiteral("localhost..") << false;
        QTest::newRow("long s, not ASCII") << QStringLiteral("localho\u017Ft") << false;
        QTest::newRow("empty") << QString() << false;
    }
    void loopbackNames()
    {
        QFETCH(QString, host);
        QFETCH(bool, loopback);
        QCOMPARE(isLoopbackName(host), loopback);
    }
};

QTEST_GUILESS_MAIN(TestMqttClient)
#include "tst_mqttclient.moc"
