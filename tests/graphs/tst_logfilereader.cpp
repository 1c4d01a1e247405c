#include "logfilereader.h"

#include <QTest>

using Problem = LogFileReader::Problem;

class TestLogFileReader : public QObject
{
    Q_OBJECT

private slots:
    void completeFile();
    void damagedFile_data();
    void damagedFile();
};

void TestLogFileReader::completeFile()
{
    // Line breaks and blanks separate tokens as well as tabs do; the clock went back once.
    const LogFileReader log(
        "2\tДатчик\tПечь\t5000\t23.4\t125\r\n3000 24 -55\n4000\t124.9\t-54.9\t");

    QCOMPARE(log.problem(), Problem::None);
    QCOMPARE(log.channelCount(), 2);
    QCOMPARE(log.channelName(1), QStringLiteral("Печь"));
    QCOMPARE(log.recordCount(), 3);
    QCOMPARE(log.valueCount(), 6);
    QCOMPARE(log.firstTimestamp(), 5000u);
    QCOMPARE(log.earliestKey(), 3000.0);
    QCOMPARE(log.latestKey(), 5000.0);
    QVERIFY(!log.keysAscending());

    QCOMPARE(log.keys(0), QVector<double>({5000, 3000, 4000}));
    QCOMPARE(log.values(0), QVector<double>({23.4f, 24, 124.9f}));
    QCOMPARE(log.keys(1), QVector<double>({4000}));
    QCOMPARE(log.values(1), QVector<double>({-54.9f}));
    QVERIFY(log.keys(2).isEmpty() && log.keys(-1).isEmpty());
    QCOMPARE(log.channelMinimum(0), 23.4f);
    QCOMPARE(log.channelMaximum(0), 124.9f);
    QCOMPARE(log.minimum(), -54.9f);
    QCOMPARE(log.maximum(), 124.9f);
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

    const Problem token = Problem::MalformedToken;
    QTest::newRow("value is a word") << head + "12\t24\tabc\t13\t25\t26\t" << token << 2;
    QTest::newRow("time is a word") << head + "later\t24\t25\t" << token << 2;
    QTest::newRow("time negative") << head + "-12\t24\t25\t" << token << 2;
    QTest::newRow("time beyond 32 bits") << head + "4294967296\t24\t25\t" << token << 2;
    QTest::newRow("decimal comma") << head + "12\t24,5\t25\t" << token << 2;
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

    const LogFileReader log(bytes);
    QCOMPARE(log.problem(), problem);
    QCOMPARE(log.recordCount(), records);
    QCOMPARE(log.valueCount(), log.channelCount() * records);
    QCOMPARE(log.channelCount(), problem == Problem::BadChannelCount ? 0 : bytes.left(1).toInt());
    // Values of a record never completed must not turn up as readings (of 0, or of 2).
    for (int i = 0; i < Station::ChannelCount; ++i)
        QCOMPARE(log.values(i).size(), i < log.channelCount() ? records : 0);
    if (records > 0)
        QCOMPARE(log.latestKey(), 9.0 + records);
}

QTEST_APPLESS_MAIN(TestLogFileReader)
#include "tst_logfilereader.moc"
