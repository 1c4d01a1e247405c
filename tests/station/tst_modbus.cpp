// Frames on the line: check sums, requests, temperature decoding and answer assembly.
#include "answerassembler.h"
#include "bytes.h"
#include "modbus.h"

#include <QTest>

class TestModbus : public QObject
{
    Q_OBJECT

private slots:
    void crcMatchesReference()
    {
        QCOMPARE(Modbus::crc16(QByteArrayLiteral("123456789")), quint16(0x4B37));
        QCOMPARE(Modbus::crc16(nullptr, 5), quint16(0));
        const quint8 one = 0;
        QCOMPARE(Modbus::crc16(&one, 0), quint16(0xFFFF));
    }

    void requestsAreEightBytesLowCheckByteFirst()
    {
        // Read of register 1-2 at address 1: the textbook frame 01 03 00 01 00 02 95 CB.
        QCOMPARE(Modbus::withCrc(Modbus::temperatureRequest(1)),
                 bytes({0x01, 0x03, 0x00, 0x01, 0x00, 0x02, 0x95, 0xCB}));
        const QByteArray probe = Modbus::withCrc(Modbus::probeRequest(0x11));
        QCOMPARE(probe.size(), 8);
        QCOMPARE(probe.left(6), bytes({0x11, 0x03, 0x00, 0x00, 0x00, 0x01}));
        QVERIFY(Modbus::hasValidCrc(probe));
        QByteArray altered = probe;
        altered[7] = char(altered[7] ^ 0x01);
        QVERIFY(!Modbus::hasValidCrc(altered));
        QVERIFY(!Modbus::hasValidCrc(probe.left(3)));
    }

    void temperaturesDecodeSignedTenths()
    {
        const QByteArray answer =
            Modbus::withCrc(bytes({0x05, 0x03, 0x04, 0x00, 0xEB, 0xFF, 0x9C}));
        QCOMPARE(Modbus::temperatureAt(answer, 3), 23.5f);
        QCOMPARE(Modbus::temperatureAt(answer, 5), -10.0f);
        QCOMPARE(Modbus::temperatureText(23.5f), QStringLiteral("23.5"));
        QCOMPARE(Modbus::temperatureText(-10.0f), QStringLiteral("-10.0"));
        QCOMPARE(Modbus::temperatureText(0.0f), QStringLiteral("0.0"));
        // Both ends of the sensor range are outside it.
        QCOMPARE(Modbus::temperatureText(125.0f), QStringLiteral("---"));
        QCOMPARE(Modbus::temperatureText(-55.0f), QStringLiteral("---"));
        QCOMPARE(Modbus::temperatureText(124.9f), QStringLiteral("124.9"));
        QCOMPARE(Modbus::temperatureText(-54.9f), QStringLiteral("-54.9"));
        QCOMPARE(Modbus::temperatureAt(bytes({0x7F, 0xFF}), 0), 3276.7f);
        QCOMPARE(Modbus::temperatureAt(bytes({0x80, 0x00}), 0), -3276.8f);
        // Past the end reads as zero bytes.
        QCOMPARE(Modbus::temperatureAt(bytes({0x01}), 0), 25.6f);
        QCOMPARE(Modbus::temperatureAt(bytes({0x01}), 5), 0.0f);
    }

    void assemblerJoinsSplitAnswers()
    {
        const QByteArray answer =
            Modbus::withCrc(bytes({0x05, 0x03, 0x04, 0x00, 0xEB, 0xFF, 0x9C}));
        AnswerAssembler assembler;
        for (int i = 0; i < answer.size() - 1; ++i)
            QVERIFY(assembler.add(answer.mid(i, 1)).isEmpty());
        QCOMPARE(assembler.add(answer.right(1)), answer);
        QCOMPARE(assembler.pendingSize(), 0);
    }

    void assemblerSkipsLeadingNoise()
    {
        const QByteArray answer = Modbus::withCrc(bytes({0x07, 0x03, 0x02, 0x00, 0x01}));
        AnswerAssembler assembler;
        QVERIFY(assembler.add(bytes({0x00, 0xFF})).isEmpty());
        QCOMPARE(assembler.add(answer), answer);
    }

    void assemblerForgetsOnClearAndBoundsItsBuffer()
    {
        const QByteArray answer = Modbus::withCrc(bytes({0x07, 0x03, 0x02, 0x00, 0x01}));
        AnswerAssembler assembler;
        QVERIFY(assembler.add(answer.left(4)).isEmpty());
        assembler.clear();
        // The tail alone is not a frame once the head is forgotten.
        QVERIFY(assembler.add(answer.mid(4)).isEmpty());

        assembler.clear();
        QVERIFY(assembler.add(QByteArray(1000, '\x55')).isEmpty());
        QCOMPARE(assembler.pendingSize(), AnswerAssembler::MaxBytes);
        QCOMPARE(assembler.add(answer), answer);
    }
};

QTEST_MAIN(TestModbus)
#include "tst_modbus.moc"
