// The receive path over a real pseudo-terminal: the test plays the line byte by byte.
#include "bytes.h"
#include "modbus.h"
#include "stationfixture.h"

#include "realtimegraph.h"

#include <QSignalSpy>

#include <cmath>

namespace {
QByteArray temperatureAnswer(quint8 address, qint16 first, qint16 second)
{
    return Modbus::withCrc(
        bytes({address, 0x03, 0x04, quint8(quint16(first) >> 8), quint8(first & 0xFF),
               quint8(quint16(second) >> 8), quint8(second & 0xFF)}));
}
} // namespace

class TestLink : public QObject
{
    Q_OBJECT

    std::unique_ptr<PtyPair> line;
    std::unique_ptr<StationFixture> fixture;

    Velunor &w() { return *fixture->station; }

    void send(const QByteArray &data) { QVERIFY(line->write(data)); }

    // Puts the station in the middle of a cycle over the given addresses, at device `index`.
    void polling(std::initializer_list<quint8> addresses, int index = 0)
    {
        int n = 0;
        for (quint8 a : addresses)
            w().DeviceAddress[n++] = a;
        w().DeviceCount = n;
        w().PollIndex = index;
        w().PollActive = true;
    }

    // Waits until the station has taken every byte off the line.
    bool drained()
    {
        return QTest::qWaitFor([this] { return w().SerialDevice->bytesAvailable() == 0; }, 5000);
    }

private slots:
    void init()
    {
        line = std::make_unique<PtyPair>();
        fixture = std::make_unique<StationFixture>();
        fixture->create();
        QVERIFY(fixture->open(line->slavePath()));
    }
    void cleanup()
    {
        fixture.reset();
        line.reset();
    }

    void decodesTheAnswerOfThePolledDevice()
    {
        polling({5});
        const QByteArray answer = bytes({0x05, 0x03, 0x04, 0x00, 0xEB, 0xFF, 0x9C});
        send(Modbus::withCrc(answer));
        QTRY_COMPARE(w().PollIndex, 1);
        QVERIFY(drained());
        QCOMPARE(w().CurrentTemp[0], 23.5f);
        QCOMPARE(w().CurrentTemp[1], -10.0f);
        QVERIFY(StationFixture::displays(w().display(0), QStringLiteral("23.5")));
        QVERIFY(StationFixture::displays(w().display(1), QStringLiteral("-10.0")));
        QCOMPARE(StationFixture::graphPoints(w().GraphWindow[0]), 1);
        QCOMPARE(StationFixture::graphPoints(w().GraphWindow[1]), 1);
        QCOMPARE(StationFixture::graphPoints(w().GraphWindow[2]), 0);
        QVERIFY(!w().PollActive);
        QCOMPARE(fixture->status(), QStringLiteral("ОЖИДАНИЕ"));
        QCOMPARE(w().NoAnswerCount, 0u);
    }

    void outOfRangeIsStoredButNotShownOrPlotted()
    {
        polling({5, 7}, 1);
        w().NoAnswerCount = 3;
        send(temperatureAnswer(7, 1250, -550));
        QTRY_COMPARE(w().PollIndex, 2);
        QCOMPARE(w().CurrentTemp[2], 125.0f);
        QCOMPARE(w().CurrentTemp[3], -55.0f);
        QVERIFY(StationFixture::displays(w().display(2), QStringLiteral("---")));
        QVERIFY(StationFixture::displays(w().display(3), QStringLiteral("---")));
        QCOMPARE(StationFixture::graphPoints(w().GraphWindow[2]), 0);
        QCOMPARE(StationFixture::graphPoints(w().GraphWindow[3]), 0);
        QCOMPARE(w().NoAnswerCount, 0u);
    }

    void answerWithAlteredCheckIsDropped()
    {
        polling({5, 7});
        QByteArray answer = temperatureAnswer(5, 235, -100);
        answer[8] = char(answer[8] ^ 0x40);
        send(answer);
        QVERIFY(drained());
        QCOMPARE(w().PollIndex, 0);
        QVERIFY(std::isnan(w().CurrentTemp[0]));
        QVERIFY(w().PollActive);

        // The device repeats its answer after the next request.
        w().DiscardReceived();
        send(temperatureAnswer(5, 235, -100));
        QTRY_COMPARE(w().PollIndex, 1);
        QCOMPARE(w().CurrentTemp[0], 23.5f);
    }

    void answersThatAreNotForThePolledDeviceAreDropped_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("other address") << temperatureAnswer(6, 235, 100);
        QTest::newRow("exception") << Modbus::withCrc(bytes({0x05, 0x83, 0x02}));
        QTest::newRow("byte count 2") << Modbus::withCrc(bytes({0x05, 0x03, 0x02, 0x00, 0xEB}));
        QTest::newRow("byte count 4, short")
            << Modbus::withCrc(bytes({0x05, 0x03, 0x04, 0x00, 0xEB}));
        QTest::newRow("too short") << bytes({0x05, 0x03, 0x04});
        QTest::newRow("noise") << QByteArray(40, '\xAA');
    }
    void answersThatAreNotForThePolledDeviceAreDropped()
    {
        QFETCH(QByteArray, frame);
        polling({5});
        QSignalSpy read(w().SerialDevice.get(), &QIODevice::readyRead);
        send(frame);
        QTRY_VERIFY(read.count() > 0);
        QVERIFY(drained());
        QCOMPARE(w().PollIndex, 0);
        QVERIFY(w().PollActive);
        QVERIFY(std::isnan(w().CurrentTemp[0]));
        QCOMPARE(StationFixture::graphPoints(w().GraphWindow[0]), 0);
    }

    void thirtyWaitingBytesAreReadWithWhatFollows()
    {
        polling({5});
        send(QByteArray(30, '\x00'));
        // Buffered by the port, so the notification came and left them where they are...
        QTRY_COMPARE(w().SerialDevice->bytesAvailable(), qint64(30));
        // ...to be read with what follows as one block.
        send(temperatureAnswer(5, 215, 216));
        QTRY_COMPARE(w().PollIndex, 1);
        QCOMPARE(w().SerialDevice->bytesAvailable(), qint64(0));
        QCOMPARE(w().CurrentTemp[1], 21.6f);
    }

    void answerArrivingByteByByteIsDecoded()
    {
        polling({5});
        const QByteArray answer = temperatureAnswer(5, -123, 999);
        for (char byte : answer) {
            QCOMPARE(w().PollIndex, 0);
            send(QByteArray(1, byte));
            QVERIFY(drained());
        }
        QTRY_COMPARE(w().PollIndex, 1);
        QCOMPARE(w().CurrentTemp[0], -12.3f);
        QCOMPARE(w().CurrentTemp[1], 99.9f);
    }

    void strayByteBeforeAnAnswerIsSkipped()
    {
        polling({5});
        send(QByteArray(1, '\xFF') + temperatureAnswer(5, 200, 201));
        QTRY_COMPARE(w().PollIndex, 1);
        QCOMPARE(w().CurrentTemp[0], 20.0f);
    }

    void probeAnswersCountEachDeviceOnce()
    {
        w().SearchActive = true;
        w().SearchAddress = 9;
        w().DeviceCount = 1;
        w().DeviceAddress[0] = 4;
        // Whatever its length and byte count, address and function code make a device.
        send(Modbus::withCrc(bytes({0x09, 0x03, 0x06, 0x00, 0x01, 0x02})));
        QTRY_COMPARE(w().DeviceCount, 2);
        QCOMPARE(w().DeviceAddress[1], quint8(9));
        send(Modbus::withCrc(bytes({0x09, 0x03, 0x02, 0x00, 0x02})));
        QVERIFY(drained());
        QCOMPARE(w().DeviceCount, 2);
        send(Modbus::withCrc(bytes({0x0A, 0x03, 0x02, 0x00, 0x02})));
        send(Modbus::withCrc(bytes({0x09, 0x83, 0x02})));
        QVERIFY(drained());
        QCOMPARE(w().DeviceCount, 2);
    }

    void answersDuringSearchAreNotTakenAsReadings()
    {
        polling({5});
        w().SearchActive = true;
        w().SearchAddress = 5;
        w().DeviceCount = 0;
        send(temperatureAnswer(5, 235, 100));
        QTRY_COMPARE(w().DeviceCount, 1);
        QVERIFY(std::isnan(w().CurrentTemp[0]));
        QCOMPARE(w().PollIndex, 0);
    }

    void seventhDeviceOnlyAdvancesTheCycle()
    {
        polling({2, 3, 4, 5, 6, 7, 8}, 6);
        send(temperatureAnswer(8, 300, 301));
        QTRY_COMPARE(w().PollIndex, 7);
        for (int n = 0; n < Velunor::ChannelCount; ++n) {
            QVERIFY(std::isnan(w().CurrentTemp[n]));
            QCOMPARE(StationFixture::graphPoints(w().GraphWindow[n]), 0);
        }
        QVERIFY(!w().PollActive);
    }
};

QTEST_MAIN(TestLink)
#include "tst_link.moc"
