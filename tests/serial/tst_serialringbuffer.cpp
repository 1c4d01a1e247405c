// The block list behind both buffers of a serial device.
#include "serialringbuffer_p.h"

#include <QTest>

#include <cstring>

class tst_SerialRingBuffer : public QObject
{
    Q_OBJECT

private slots:
    void appendAndReadAcrossBlocks();
    void reserveAndChop();
    void oversizedReservation();
    void indexOfAcrossBlocks();
    void firstBlockIsWhatFlushHandsOver();
};

static QByteArray pattern(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char('a' + i % 26);
    return data;
}

void tst_SerialRingBuffer::appendAndReadAcrossBlocks()
{
    SerialRingBuffer buffer(16);
    const QByteArray data = pattern(50);
    buffer.append(data.constData(), 10);
    buffer.append(data.constData() + 10, 40);
    QCOMPARE(buffer.size(), qint64(50));

    QCOMPARE(buffer.getChar(), int('a'));
    char out[64] = {};
    QCOMPARE(buffer.read(out, 20), qint64(20));
    QCOMPARE(QByteArray(out, 20), data.mid(1, 20));
    QCOMPARE(buffer.read(out, 64), qint64(29));
    QCOMPARE(QByteArray(out, 29), data.mid(21));
    QVERIFY(buffer.isEmpty());
    QCOMPARE(buffer.getChar(), -1);
    QCOMPARE(buffer.read(out, 8), qint64(0));
}

void tst_SerialRingBuffer::reserveAndChop()
{
    SerialRingBuffer buffer(16);
    buffer.append("0123456789", 10);
    // A reservation that does not fit the last block starts a new one.
    char *room = buffer.reserve(12);
    std::memcpy(room, "ABCDEFGHIJKL", 12);
    QCOMPARE(buffer.size(), qint64(22));
    // The port filled only 5 of the 12.
    buffer.chop(7);
    QCOMPARE(buffer.size(), qint64(15));
    buffer.free(8);
    char out[32] = {};
    QCOMPARE(buffer.read(out, 32), qint64(7));
    QCOMPARE(QByteArray(out, 7), QByteArray("89ABCDE"));

    buffer.append("xyz", 3);
    buffer.chop(10);
    QVERIFY(buffer.isEmpty());
    buffer.append("again", 5);
    QCOMPARE(buffer.read(out, 32), qint64(5));
    QCOMPARE(QByteArray(out, 5), QByteArray("again"));
}

void tst_SerialRingBuffer::oversizedReservation()
{
    SerialRingBuffer buffer(16);
    buffer.append("head", 4);
    char *room = buffer.reserve(40);
    const QByteArray data = pattern(40);
    std::memcpy(room, data.constData(), 40);
    buffer.append("tail", 4);
    char out[64] = {};
    QCOMPARE(buffer.read(out, 64), qint64(48));
    QCOMPARE(QByteArray(out, 48), QByteArray("head") + data + QByteArray("tail"));

    // An oversized reservation into an empty buffer must not leave an empty
    // block in front of the data.
    room = buffer.reserve(40);
    std::memcpy(room, data.constData(), 40);
    QCOMPARE(buffer.nextDataBlockSize(), qint64(40));
    QCOMPARE(QByteArray(buffer.readPointer(), 40), data);
}

void tst_SerialRingBuffer::indexOfAcrossBlocks()
{
    SerialRingBuffer buffer(8);
    buffer.append("abcdefgh", 8);
    buffer.append("ij\nkl", 5);
    QCOMPARE(buffer.indexOf('\n'), qint64(10));
    buffer.free(3);
    QCOMPARE(buffer.indexOf('\n'), qint64(7));
    QCOMPARE(buffer.indexOf('z'), qint64(-1));
}

void tst_SerialRingBuffer::firstBlockIsWhatFlushHandsOver()
{
    SerialRingBuffer buffer;
    const QByteArray data = pattern(20000);
    buffer.append(data.constData(), data.size());
    QCOMPARE(buffer.nextDataBlockSize(), qint64(16384));
    QCOMPARE(QByteArray(buffer.readPointer(), 16384), data.left(16384));
    buffer.free(16384);
    QCOMPARE(buffer.nextDataBlockSize(), qint64(20000 - 16384));
    QCOMPARE(QByteArray(buffer.readPointer(), 20000 - 16384), data.mid(16384));
}

QTEST_APPLESS_MAIN(tst_SerialRingBuffer)
#include "tst_serialringbuffer.moc"
