// Log records against a file that stops taking bytes: a file size limit, as a full disk would.
#include "logfilereader.h"
#include "logfilewriter.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using Outcome = LogFileWriter::Outcome;

class TestLogFileWriter : public QObject
{
    Q_OBJECT

private slots:
    void fullFileKeepsWholeRecordsAndResumes();
};

void TestLogFileWriter::fullFileKeepsWholeRecordsAndResumes()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Log_120000_01122026.dat"));
    const QStringList names(6, QStringLiteral("Печь"));
    const QByteArray header = LogFileWriter::header(names);
    const QStringList values = {QStringLiteral("21.5"), QStringLiteral("-3"), QStringLiteral("nan"),
                                QStringLiteral("125"),  QStringLiteral("19"), QStringLiteral("33")};
    const auto record = [&](quint32 stamp) { return LogFileWriter::record(stamp, values); };
    const auto size = [&] { return QFileInfo(path).size(); };

    LogFileWriter writer;
    QCOMPARE(writer.create(path, header), Outcome::Written);
    quint32 stamp = 1765000000;
    for (int i = 0; i < 3; ++i)
        QCOMPARE(writer.append(path, header, record(stamp++)), Outcome::Written);

    // Room for half a record more, and no signal that would end the process.
    const qint64 whole = size();
    const qsizetype recordSize = record(stamp).size();
    QCOMPARE(whole, header.size() + 3 * recordSize);
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = rlim_t(whole + recordSize / 2);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);

    // Said once, when writing starts to fail; every record of the outage is lost whole.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    QTest::ignoreMessage(QtWarningMsg, "Can not open file log_xxxxxx.dat");
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("Log_120000_01122026.dat: .*lost")));
    QList<Outcome> outcomes;
    for (int i = 0; i < 4; ++i) {
        outcomes << writer.append(path, header, record(stamp++));
        QCOMPARE(size(), whole);
    }
    QCOMPARE(outcomes, (QList<Outcome>{Outcome::StartedFailing, Outcome::Failing, Outcome::Failing,
                                       Outcome::Failing}));

    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previousHandler);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("written again, 4 ")));
    QCOMPARE(writer.append(path, header, record(stamp++)), Outcome::Recovered);
    QCOMPARE(writer.lostRecords(), 4);
    QCOMPARE(writer.append(path, header, record(stamp++)), Outcome::Written);

    // The outage is a gap in time, and every record reads back in its place.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QList<double> stamps;
    LogFileReader reader([&](int channel, double key, double) {
        if (channel == 0)
            stamps << key;
    });
    reader.feed(file.readAll());
    reader.finish();
    QCOMPARE(reader.problem(), LogFileReader::Problem::None);
    QCOMPARE(reader.channelName(5), QStringLiteral("Печь"));
    QCOMPARE(stamps, (QList<double>{1765000000, 1765000001, 1765000002, 1765000007, 1765000008}));
    QCOMPARE(reader.pointCount(5), 5);
}

QTEST_GUILESS_MAIN(TestLogFileWriter)
#include "tst_logfilewriter.moc"
