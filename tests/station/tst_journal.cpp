// The journal file: how it is read back, and appended to after a power loss.
#include "journalfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
// 2026-12-15 12:00:00 UTC: December in every time zone.
constexpr qint64 base = 1797336000;
} // namespace

class TestJournal : public QObject
{
    Q_OBJECT

private slots:
    // What a reader takes of a file: whole lines; a line the power cut short is skipped.
    void readerSkipsCutLines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("skipped");
        const QByteArray first = "1797336000\talarm_on\tT2\tПечь\t65\tвыше верхнего порога 60\n";
        const QByteArray second = "1797336060\talarm_off\tT2\tГорн\t50\tдлилась 00:01:00\n";
        QTest::newRow("whole") << first + second << QStringList{"Печь", "Горн"} << 0;
        QTest::newRow("last line cut") << first + second.left(20) << QStringList{"Печь"} << 1;
        QTest::newRow("last line without its break")
            << first + second.chopped(1) << QStringList{"Печь"} << 1;
        QTest::newRow("a line of something else")
            << "Log_101010.dat\n" + second << QStringList{"Горн"} << 1;
        QTest::newRow("from a Windows station")
            << QByteArray("1797336000\talarm_on\tT2\t\xcf\xe5\xf7\xfc\t65\t\n")
            << QStringList{"Печь"} << 0;
    }
    void readerSkipsCutLines()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, names);
        QFETCH(int, skipped);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("journal-2026-12.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        int bad = -1;
        QStringList read;
        for (const JournalEntry &entry : JournalFile::read(path, &bad))
            read << entry.name;
        QCOMPARE(read, names);
        QCOMPARE(bad, skipped);
    }

    // After a power loss the next event does not run on from the cut line.
    void appendCutsATornLineOff()
    {
        QTemporaryDir dir;
        const QString path = JournalFile::path(dir.path() + QLatin1Char('/'), quint32(base));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("1797336000\tstation_start\t\t\t\t\n1797336050\talarm_o");
        file.close();
        const JournalEntry entry{quint32(base + 60),
                                 QStringLiteral("station_start"),
                                 {},
                                 {},
                                 {},
                                 QStringLiteral("Monitor.ini нет")};
        QVERIFY(JournalFile().append(dir.path() + QLatin1Char('/'), entry));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
                 QByteArray("1797336000\tstation_start\t\t\t\t\n") + entry.line().toUtf8() + '\n');
    }
};

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
