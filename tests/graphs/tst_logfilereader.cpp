#include "logfilereader.h"

#include <QTest>

#include <charconv>

using Problem = LogFileReader::Problem;
using Points = QList<QList<QPair<double, double>>>;

namespace {

// A reader fed `bytes` in pieces of `piece` bytes, with the points it handed out.
struct Reading
{
    Reading(const QByteArray &bytes, qsizetype piece)
        : points(Station::ChannelCount)
        , log([this](int channel, double key, double value) {
            points[channel].append({key, value});
        })
    {
        for (qsizetype at = 0; at < bytes.size(); at += piece)
            log.feed(bytes.mid(at, piece));
        log.finish();
    }

    Points points;
    LogFileReader log;
};

} // namespace

class TestLogFileReader : public QObject
{
    Q_OBJECT

private slots:
    void completeFile();
    void valuesReadAsFromChars();
    void damagedFile_data();
    void damagedFile();
    void cutRecordsAreSkipped_data();
    void cutRecordsAreSkipped();
};

void TestLogFileReader::completeFile()
{
    // Line breaks and blanks separate tokens as well as tabs do; the clock went back once.
    // A no-break space is part of a name. Tokens cut by the pieces' ends read the same.
    const QByteArray bytes = "\xef\xbb\xbf"
                             "2\tДатчик\tПечь\xc2\xa0"
                             "1\t5000\t23.4\t125\r\n3000 24 -55\n4000\t124.9\t-54.9\t";
    for (const qsizetype piece : {qsizetype(1), qsizetype(2), qsizetype(7), bytes.size()}) {
        const Reading reading(bytes, piece);
        const LogFileReader &log = reading.log;

        QCOMPARE(log.problem(), Problem::None);
        QCOMPARE(log.channelCount(), 2);
        QCOMPARE(log.channelName(1), QStringLiteral("Печь\u00a01"));
        QCOMPARE(log.recordCount(), 3);
        QCOMPARE(log.valueCount(), 6);
        QCOMPARE(log.firstTimestamp(), 5000u);
        QCOMPARE(log.earliestKey(), 3000.0);
        QCOMPARE(log.latestKey(), 5000.0);
        QVERIFY(!log.keysAscending());

        const Points points = {{{5000, 23.4f}, {3000, 24}, {4000, 124.9f}}, {{4000, -54.9f}}};
        QCOMPARE(reading.points.mid(0, 2), points);
        QCOMPARE(log.pointCount(0), 3);
        QCOMPARE(log.pointCount(2) + log.pointCount(-1), 0);
        QCOMPARE(log.channelMinimum(0), 23.4f);
        QCOMPARE(log.channelMaximum(0), 124.9f);
        QCOMPARE(log.minimum(), -54.9f);
        QCOMPARE(log.maximum(), 124.9f);
    }
}

// Plain values are read by a shortcut; it must round every one as from_chars does.
void TestLogFileReader::valuesReadAsFromChars()
{
    const QByteArrayList tokens = {"23.4",       "-0",       "-54.9",     "124.9",      "0.1",
                                   "9999999",    "99.99999", "1234.567",  "-12.345678", "16777217",
                                   "0.00000001", "1e2",      "1.",        ".5",         "-.5",
                                   "0012.50",    "1.5E-3",   "-0.000012", "3.3e38",     "4e38",
                                   "nan",        "-inf",     "1.2.3",     "--1",        "12a",
                                   "0x12",       "+5",       "-",         "0.3000001"};
    for (const QByteArray &token : tokens) {
        const Reading reading("1	A	10	" + token + "	", 64);
        float expected = 0;
        const auto parsed = std::from_chars(token.cbegin(), token.cend(), expected);
        const bool number = parsed.ec == std::errc() && parsed.ptr == token.cend();
        QVERIFY2(reading.log.problem() == (number ? Problem::None : Problem::MalformedToken),
                 token);
        const bool plotted = number && Station::isValidTemperature(expected);
        QCOMPARE(reading.points[0].size(), plotted ? 1 : 0);
        if (plotted)
            QVERIFY2(reading.points[0][0].second == expected, token);
    }
}

void TestLogFileReader::damagedFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Problem>("problem");
    QTest::addColumn<int>("records");

    const QByteArray head = "2\tA\tB\t10\t20\t21\t11\t22\t23\t";
    const Problem count = Problem::BadChannelCount;
    QTest::newRow("empty") << QByteArray() << count << 0;
    QTest::newRow("blank") << QByteArray(" \t\r\n") << count << 0;
    QTest::newRow("count is a word") << QByteArray("abc\tA\t10\t20\t") << count << 0;
    QTest::newRow("count 0") << QByteArray("0\t10\t20\t") << count << 0;
    QTest::newRow("count 13") << "13\t" + QByteArray("A\t10\t").repeated(13) << count << 0;
    QTest::newRow("count negative") << QByteArray("-2\tA\tB\t10\t20\t21\t") << count << 0;
    QTest::newRow("count huge") << QByteArray("2147483647\tA\t10\t20\t") << count << 0;
    QTest::newRow("count beyond int") << QByteArray("99999999999999999999\tA\t1\t") << count << 0;
    QTest::newRow("count fraction") << QByteArray("2.5\tA\tB\t10\t20\t21\t") << count << 0;
    QTest::newRow("count endless") << QByteArray(1000, '1') << count << 0;

    const Problem token = Problem::MalformedToken;
    QTest::newRow("value is a word") << head + "12\t24\tabc\t13\t25\t26\t" << token << 2;
    QTest::newRow("time is a word") << head + "later\t24\t25\t" << token << 2;
    QTest::newRow("time negative") << head + "-12\t24\t25\t" << token << 2;
    QTest::newRow("time beyond 32 bits") << head + "4294967296\t24\t25\t" << token << 2;
    QTest::newRow("decimal comma") << head + "12\t24,5\t25\t" << token << 2;
    QTest::newRow("value endless") << head + "12\t" + QByteArray(1000, '2') << token << 2;
    QTest::newRow("cut word") << head + "12\t24\tab" << token << 2;
    // A name with a blank shifts every token after it.
    QTest::newRow("name with blank") << QByteArray("2\tOven 1\tB\t10\t20\t21\t") << token << 0;

    const Problem cut = Problem::CutOffRecord;
    QTest::newRow("cut after time") << head + "12\t" << cut << 2;
    QTest::newRow("cut after a value") << head + "12\t24\t" << cut << 2;
    QTest::newRow("cut inside last value") << head + "12\t24\t2" << cut << 2;
    QTest::newRow("cut inside time") << head + "1" << cut << 2;

    QTest::newRow("header only") << QByteArray("2\tA\tB\t") << Problem::None << 0;
    QTest::newRow("cut inside header") << QByteArray("3\tA\t") << Problem::None << 0;
}

void TestLogFileReader::damagedFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Problem, problem);
    QFETCH(int, records);

    for (const qsizetype piece : {qsizetype(1), qsizetype(3), qMax(bytes.size(), qsizetype(1))}) {
        const Reading reading(bytes, piece);
        const LogFileReader &log = reading.log;
        QCOMPARE(log.problem(), problem);
        QCOMPARE(log.recordCount(), records);
        QCOMPARE(log.valueCount(), log.channelCount() * records);
        QCOMPARE(log.channelCount(),
                 problem == Problem::BadChannelCount ? 0 : bytes.left(1).toInt());
        // Values of a record never completed must not turn up as readings (of 0, or of 2).
        for (int i = 0; i < Station::ChannelCount; ++i)
            QCOMPARE(reading.points[i].size(), i < log.channelCount() ? records : 0);
        if (records > 0)
            QCOMPARE(log.latestKey(), 9.0 + records);
    }
}

namespace {
constexpr quint32 t0 = 1765000000;

// Record i of a two-channel log: its own time stamp and the values 20 + i and 40 + i.
QByteArray rec(int i)
{
    return QByteArray::number(t0 + i) + '\t' + QByteArray::number(20 + i) + '\t' +
           QByteArray::number(40 + i) + '\t';
}
} // namespace

// A log that was cut in the middle (disk full) and went on after the cut.
void TestLogFileReader::cutRecordsAreSkipped_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<int>>("records"); // which records of rec() read back
    QTest::addColumn<int>("skipped");
    QTest::addColumn<Problem>("problem");

    const QByteArray stamp1 = QByteArray::number(t0 + 1);
    const Problem none = Problem::None;
    QTest::newRow("no cut, clock set back")
        << rec(0) + rec(5) + rec(2) << QList<int>{0, 5, 2} << 0 << none;
    QTest::newRow("cut after a value")
        << rec(0) + stamp1 + "\t20\t" + rec(2) + rec(3) << QList<int>{0, 2, 3} << 2 << none;
    QTest::newRow("cut after the time")
        << rec(0) + stamp1 + "\t" + rec(2) << QList<int>{0, 2} << 1 << none;
    QTest::newRow("cut inside a value")
        << rec(0) + stamp1 + "\t20\t2" + rec(2) + rec(3) << QList<int>{0, 3} << 5 << none;
    QTest::newRow("cut inside nan")
        << rec(0) + stamp1 + "\tna" + rec(2) + rec(3) << QList<int>{0, 3} << 4 << none;
    QTest::newRow("cut inside the time")
        << rec(0) + "17650" + rec(2) + rec(3) << QList<int>{0, 3} << 3 << none;
    QTest::newRow("first record cut")
        << QByteArray::number(t0) + "\t20\t" + rec(1) << QList<int>{1} << 2 << none;
    QTest::newRow("no time stamp after the cut")
        << rec(0) + stamp1 + "\tx\t21\t41\t" << QList<int>{0} << 4 << Problem::MalformedToken;
}

void TestLogFileReader::cutRecordsAreSkipped()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<int>, records);
    QFETCH(int, skipped);
    QFETCH(Problem, problem);
    bytes.prepend("2\tA\tB\t");

    Points expected(Station::ChannelCount);
    for (int i : records) {
        expected[0].append({double(t0 + i), 20.0 + i});
        expected[1].append({double(t0 + i), 40.0 + i});
    }
    for (const qsizetype piece : {qsizetype(1), qsizetype(3), bytes.size()}) {
        const Reading reading(bytes, piece);
        QCOMPARE(reading.log.problem(), problem);
        QCOMPARE(reading.points, expected);
        QCOMPARE(reading.log.skippedTokens(), skipped);
    }
}

QTEST_APPLESS_MAIN(TestLogFileReader)
#include "tst_logfilereader.moc"
