// Recording: log file names, header and one record per poll cycle of the simulated devices.
#include "corefixture.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

class TestLogRecorder : public QObject
{
    Q_OBJECT

    std::unique_ptr<CoreFixture> fixture;
    StationCore *core = nullptr;

    // Devices 5, 6, ... answering `first` and `second`.
    void devices(int count, double first = 20.0, double second = 20.0)
    {
        QList<quint8> addresses;
        for (quint8 address = 5; address < 5 + count; ++address) {
            fixture->bus->addDevice(address)->setTemperatures(first, second);
            addresses << address;
        }
        core->link().setDevices(addresses);
    }
    QString path() const { return core->recorder().logFilePath(); }
    QByteArray log() const { return CoreFixture::contents(path()); }

private slots:
    void init()
    {
        fixture = std::make_unique<CoreFixture>();
        const QString port = fixture->simulate().portName();
        core = &fixture->create();
        core->setWorkingDirectory(QDir::currentPath() + QLatin1Char('/'));
        QVERIFY(fixture->open(port));
    }
    void cleanup() { fixture.reset(); }

    void headerAndRecordsOfTwoDevices()
    {
        QCOMPARE(LogRecorder::MakeLogFileName(QDateTime(QDate(2015, 6, 1), QTime(14, 30, 5))),
                 QStringLiteral("Log_143005_01062015.dat"));
        devices(2);
        core->setChannel(2, QStringLiteral("Печь"), 40.0f, 10.0f);
        QSignalSpy started(&core->recorder(), &LogRecorder::fileStarted);
        const QDateTime before = QDateTime::currentDateTime();
        core->ToggleRecording();
        QVERIFY(core->recorder().isRecording());
        QCOMPARE(started.value(0), QVariantList({path(), false}));
        QVERIFY(path() == core->workingDirectory() + LogRecorder::MakeLogFileName(before) ||
                path() ==
                    core->workingDirectory() + LogRecorder::MakeLogFileName(before.addSecs(1)));
        QCOMPARE(log(), QStringLiteral("4\tДатчик\tДатчик\tПечь\tДатчик\t").toUtf8());

        const qint64 from = QDateTime::currentSecsSinceEpoch();
        fixture->bus->device(5)->setTemperatures(23.5, -1.5);
        fixture->bus->device(6)->setTemperatures(0.0, 125.0);
        QVERIFY(fixture->cycle());
        // A device given up leaves its channels without a reading.
        fixture->bus->device(5)->setFault({SimulatedDevice::Fault::Silent});
        fixture->bus->device(6)->setTemperatures(-10.0, 99.9);
        QVERIFY(fixture->cycle());
        const QList<QByteArray> values = log().split('\t');
        QCOMPARE(values.size(), 5 + 2 * 5 + 1);
        QVERIFY(values[5].toLongLong() >= from);
        QVERIFY(values[10].toLongLong() <= QDateTime::currentSecsSinceEpoch());
        QCOMPARE(values.mid(6, 4), QList<QByteArray>({"23.5", "-1.5", "0", "125"}));
        QCOMPARE(values.mid(11, 5), QList<QByteArray>({"nan", "nan", "-10", "99.9", ""}));

        // "nan" because the text stream, older stations' reader, reads it as no value (and so
        // does ours, see tst_logfilereader).
        QTextStream in(log());
        QString word;
        for (int i = 0; i < 5; ++i)
            in >> word;
        float read[10] = {};
        for (float &value : read)
            in >> value;
        QCOMPARE(in.status(), QTextStream::Ok);
        QVERIFY(std::isnan(read[6]) && std::isnan(read[7]) && read[9] == 99.9f);
    }

    void restartWithinOneSecondTruncates()
    {
        devices(1);
        for (int attempt = 0; attempt < 5; ++attempt) {
            core->ToggleRecording();
            const QString first = path();
            QVERIFY(fixture->cycle());
            core->ToggleRecording();
            QVERIFY(!core->recorder().isRecording());
            core->ToggleRecording();
            core->StopRecording();
            if (path() != first)
                continue; // the second turned between the two starts
            QCOMPARE(log(), QStringLiteral("2\tДатчик\tДатчик\t").toUtf8());
            return;
        }
        QFAIL("no two starts within one second");
    }

    void deviceCountChangeStartsANewFile()
    {
        devices(1);
        core->ToggleRecording();
        const QString first = path();
        QVERIFY(fixture->cycle());
        const QByteArray firstLog = log();
        QCOMPARE(firstLog.count('\t'), 3 + 3);

        devices(7, 30.0, 31.0);
        QSignalSpy started(&core->recorder(), &LogRecorder::fileStarted);
        QVERIFY(fixture->cycle());
        QVERIFY(core->recorder().isRecording());
        // A new name even within the same second.
        QVERIFY(path() != first);
        QCOMPARE(started.value(0), QVariantList({path(), true}));
        QCOMPARE(CoreFixture::contents(first), firstLog);
        // Seven devices, but never more than the twelve channels the station shows.
        const QList<QByteArray> values = log().split('\t');
        QCOMPARE(values.size(), 1 + 12 + 1 + 12 + 1);
        QCOMPARE(values[0], QByteArray("12"));
        QCOMPARE(values[25], QByteArray("31"));
    }

    void unwritableDirectoryIsReportedAndRetried()
    {
        devices(1);
        core->setWorkingDirectory(fixture->path(QStringLiteral("missing/")));
        QSignalSpy failed(&core->recorder(), &LogRecorder::writeFailed);
        QSignalSpy recovered(&core->recorder(), &LogRecorder::writeRecovered);
        QTest::ignoreMessage(QtWarningMsg, "Can not open file log_xxxxxx.dat");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("records are lost until"));
        core->ToggleRecording();
        QVERIFY(core->recorder().isRecording());
        QCOMPARE(failed.value(0), QVariantList({path()}));

        // The directory appears later: the records get their header first, with the names the
        // channels have by then.
        core->setChannel(0, QStringLiteral("Печь"), 40.0f, 10.0f);
        QVERIFY(QDir().mkdir(fixture->path(QStringLiteral("missing"))));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("written again, 0 records lost"));
        QVERIFY(fixture->cycle());
        QCOMPARE(recovered.value(0), QVariantList({path(), qint64(0)}));
        QVERIFY(log().startsWith(QStringLiteral("2\tПечь\tДатчик\t").toUtf8()));
        QCOMPARE(log().count('\t'), 3 + 3);
    }
};

QTEST_GUILESS_MAIN(TestLogRecorder)
#include "tst_logrecorder.moc"
