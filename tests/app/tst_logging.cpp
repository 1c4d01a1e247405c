// Recording: log file names, header and records, the two buttons and the log directory.
#include "stationfixture.h"

#include "fakesoundoutput.h"
#include "logfilereader.h"
#include "modbus.h"
#include "settings.h"

#include <QDateTime>
#include <QFile>
#include <QStatusBar>
#include <QToolButton>

#include <cmath>

namespace {
// A station whose directory question the test answers.
class AnsweredStation : public Velunor
{
public:
    QString answer;

protected:
    QString AskLogDirectory() override { return answer; }
};
} // namespace

class TestLogging : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeSoundFactory> sounds;
    std::unique_ptr<PtyPair> line;
    std::unique_ptr<StationFixture> fixture;

    Velunor &w() { return *fixture->station; }
    QToolButton *startLog() { return w().findChild<QToolButton *>(QStringLiteral("StartLog")); }
    QToolButton *stopLog() { return w().findChild<QToolButton *>(QStringLiteral("StopLog")); }
    QLabel *directory() { return w().findChild<QLabel *>(QStringLiteral("PathCurrentDirectory")); }

    void devices(int count)
    {
        for (int i = 0; i < count; ++i)
            w().DeviceAddress[i] = quint8(5 + i);
        w().DeviceCount = count;
    }

    static QByteArray contents(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // A poll cycle ending with the answer of its last device, as the line delivers it.
    void completeCycle(qint16 first, qint16 second)
    {
        w().PollIndex = w().DeviceCount - 1;
        w().PollActive = true;
        const quint8 address = w().DeviceAddress[w().PollIndex];
        QByteArray body;
        for (int b : {int(address), 0x03, 0x04, (first >> 8) & 0xFF, first & 0xFF,
                      (second >> 8) & 0xFF, second & 0xFF})
            body.append(char(b));
        w().DiscardReceived();
        w().ProcessAnswer(Modbus::withCrc(body));
        QVERIFY(!w().PollActive);
    }

private slots:
    void init()
    {
        sounds = std::make_unique<FakeSoundFactory>();
        line = std::make_unique<PtyPair>();
        fixture = std::make_unique<StationFixture>();
        fixture->create<AnsweredStation>();
        QVERIFY(fixture->open(line->slavePath()));
        directory()->setText(fixture->path(QString()) + '/');
    }
    void cleanup()
    {
        fixture.reset();
        line.reset();
        sounds.reset();
    }

    void fileNameIsTheStartTime()
    {
        const QDateTime start(QDate(2015, 6, 1), QTime(14, 30, 5));
        QCOMPARE(w().MakeLogFileName(start), QStringLiteral("Log_143005_01062015.dat"));
        QCOMPARE(w().MakeLogFileName(QDateTime(QDate(2024, 12, 31), QTime(0, 0, 9))),
                 QStringLiteral("Log_000009_31122024.dat"));
    }

    void headerAndRecordsForTwoDevices()
    {
        devices(2);
        w().SettingsWindow->Channel[2].ChannelName = QStringLiteral("Печь");
        const QDateTime before = QDateTime::currentDateTime();
        w().on_StartLog_pressed();
        QVERIFY(w().LogActive);
        const QString path = w().LogFilePath;
        QVERIFY(path.startsWith(directory()->text() + "Log_"));
        const QDateTime started = QDateTime::fromString(QFileInfo(path).completeBaseName().mid(4),
                                                        QStringLiteral("hhmmss_ddMMyyyy"));
        QVERIFY(started.isValid());
        QVERIFY(qAbs(started.secsTo(before)) <= 1);
        QCOMPARE(contents(path), QStringLiteral("4\tДатчик\tДатчик\tПечь\tДатчик\t").toUtf8());

        w().CurrentTemp[0] = 23.5f;
        w().CurrentTemp[1] = -1.5f;
        const qint64 from = QDateTime::currentSecsSinceEpoch();
        completeCycle(0, 1250);
        completeCycle(-100, 999);
        const qint64 to = QDateTime::currentSecsSinceEpoch();

        const QList<QByteArray> tokens = contents(path).split('\t');
        QCOMPARE(tokens.size(), 5 + 2 * 5 + 1);
        QVERIFY(tokens.last().isEmpty());
        const QList<QByteArray> first = tokens.mid(5, 5);
        QVERIFY(first[0].toLongLong() >= from && first[0].toLongLong() <= to);
        QCOMPARE(first.mid(1), (QList<QByteArray>{"23.5", "-1.5", "0", "125"}));
        QCOMPARE(tokens.mid(11, 4), (QList<QByteArray>{"23.5", "-1.5", "-10", "99.9"}));
        QVERIFY(!contents(path).contains('\n'));
    }

    // "nan" only if both the text stream (older stations' reader) and ours take it for no value.
    void noReadingIsLoggedAsNanThatReadersSkip()
    {
        devices(2);
        w().on_StartLog_pressed();
        w().CurrentTemp[0] = Velunor::NoReading;
        w().CurrentTemp[1] = Velunor::NoReading;
        completeCycle(235, -100);
        completeCycle(236, -101);
        const QByteArray log = contents(w().LogFilePath);
        QCOMPARE(log.split('\t').mid(6, 4), (QList<QByteArray>{"nan", "nan", "23.5", "-10"}));

        QTextStream in(log);
        int channels = 0;
        QString name;
        quint32 stamp = 0;
        float values[4] = {};
        in >> channels;
        for (int i = 0; i < channels; ++i)
            in >> name;
        in >> stamp >> values[0] >> values[1] >> values[2] >> values[3];
        QCOMPARE(in.status(), QTextStream::Ok);
        QVERIFY(std::isnan(values[0]) && std::isnan(values[1]));
        QCOMPARE(values[2], 23.5f);

        LogFileReader reader;
        reader.feed(log);
        reader.finish();
        QCOMPARE(reader.problem(), LogFileReader::Problem::None);
        QCOMPARE(reader.recordCount(), 2);
        QCOMPARE(reader.pointCount(0), 0);
        QCOMPARE(reader.pointCount(2), 2);
    }

    void pressingWhileRecordingStopsAndTheButtonFollows()
    {
        QVERIFY(startLog()->isEnabled());
        // Nobody to record: the press is ignored and the button stays out.
        QTest::mouseClick(startLog(), Qt::LeftButton);
        QVERIFY(!w().LogActive);
        QVERIFY(!startLog()->isChecked());

        devices(1);
        QTest::mouseClick(startLog(), Qt::LeftButton);
        QVERIFY(w().LogActive);
        QVERIFY(startLog()->isChecked());
        const QString first = w().LogFilePath;

        QTest::mouseClick(startLog(), Qt::LeftButton);
        QVERIFY(!w().LogActive);
        QVERIFY(!startLog()->isChecked());
        QCOMPARE(w().LogFilePath, first);

        QTest::mouseClick(startLog(), Qt::LeftButton);
        QVERIFY(w().LogActive);
        QTest::mouseClick(stopLog(), Qt::LeftButton);
        QVERIFY(!w().LogActive);
        QVERIFY(!startLog()->isChecked());
        // Stop while idle only unchecks.
        startLog()->setChecked(true);
        QTest::mouseClick(stopLog(), Qt::LeftButton);
        QVERIFY(!startLog()->isChecked());
        QVERIFY(!w().LogActive);
    }

    void pressDraggedOffTheButtonKeepsItTrue()
    {
        devices(1);
        w().show();
        QTest::mousePress(startLog(), Qt::LeftButton);
        QTest::mouseMove(startLog(), QPoint(-20, -20));
        QTest::mouseRelease(startLog(), Qt::LeftButton, {}, QPoint(-20, -20));
        QVERIFY(w().LogActive);
        QVERIFY(startLog()->isChecked());
    }

    void restartWithinOneSecondTruncates()
    {
        devices(1);
        for (int attempt = 0; attempt < 5; ++attempt) {
            w().on_StartLog_pressed();
            const QString first = w().LogFilePath;
            completeCycle(200, 201);
            w().on_StopLog_clicked();
            w().on_StartLog_pressed();
            if (w().LogFilePath != first) {
                w().on_StopLog_clicked();
                continue; // the second turned between the two starts
            }
            QCOMPARE(contents(first), QStringLiteral("2\tДатчик\tДатчик\t").toUtf8());
            return;
        }
        QFAIL("no two starts within one second");
    }

    void recordWithoutDevicesIsNotWritten()
    {
        devices(1);
        w().on_StartLog_pressed();
        w().DeviceCount = 0;
        w().WriteLogRecord();
        QVERIFY(!contents(w().LogFilePath).contains("\t0\t"));
    }

    void deviceCountChangeStartsANewFile()
    {
        devices(1);
        w().on_StartLog_pressed();
        const QString first = w().LogFilePath;
        completeCycle(200, 201);
        const QByteArray firstContents = contents(first);
        devices(7);
        completeCycle(300, 301);
        QVERIFY(w().LogActive);
        QVERIFY(w().LogFilePath != first);
        QCOMPARE(contents(first), firstContents);
        const QList<QByteArray> tokens = contents(w().LogFilePath).split('\t');
        // Seven devices, but never more than the twelve channels the station shows.
        QCOMPARE(tokens[0], QByteArray("12"));
        QCOMPARE(tokens.size(), 1 + 12 + 1 + 12 + 1);
        QVERIFY(w().statusBar()->currentMessage().contains(w().LogFilePath));
    }

    void unwritableDirectoryIsReportedOnScreen()
    {
        devices(1);
        directory()->setText(fixture->path(QStringLiteral("missing/")));
        QTest::ignoreMessage(QtWarningMsg, "Can not open file log_xxxxxx.dat");
        w().on_StartLog_pressed();
        QVERIFY(w().LogActive);
        QVERIFY(w().statusBar()->currentMessage().contains(w().LogFilePath));

        // The directory appears later: the records get their header first.
        QVERIFY(QDir(fixture->path(QString())).mkdir(QStringLiteral("missing")));
        completeCycle(200, 201);
        QVERIFY(contents(w().LogFilePath).startsWith("2\tДатчик\tДатчик\t"));
    }

    void chosenDirectoryEndsWithSlash()
    {
        auto &station = static_cast<AnsweredStation &>(w());
        const QString before = directory()->text();
        station.answer = QString();
        w().on_CurrentDirectory_clicked();
        QCOMPARE(directory()->text(), before);

        station.answer = fixture->path(QStringLiteral("logs"));
        QVERIFY(QDir().mkpath(station.answer));
        w().on_CurrentDirectory_clicked();
        QCOMPARE(directory()->text(), station.answer + '/');
        QCOMPARE(w().SettingsWindow->WorkingDirectory, station.answer + '/');
        devices(1);
        w().on_StartLog_pressed();
        QVERIFY(w().LogFilePath.startsWith(station.answer + "/Log_"));
        QVERIFY(QFile::exists(w().LogFilePath));
    }
};

QTEST_MAIN(TestLogging)
#include "tst_logging.moc"
