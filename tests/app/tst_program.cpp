// The station as a program: its version on request, and a termination signal is an orderly end
// that saves the configuration.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestProgram : public QObject
{
    Q_OBJECT

private slots:
    void versionNeedsNoDisplay()
    {
        QProcess station;
        // No platform plugin would load: the answer must come before any is needed.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("none"));
        station.setProcessEnvironment(env);
        station.start(QStringLiteral(GRELVIX_BINARY), {QStringLiteral("--version")});
        QVERIFY(station.waitForFinished(20000));
        QCOMPARE(station.exitCode(), 0);
        QCOMPARE(station.readAllStandardOutput(), QByteArray("grelvix " GRELVIX_VERSION "\n"));
    }

    void terminationSignalSavesTheConfiguration()
    {
        QTemporaryDir dir;
        QFile ini(dir.filePath(QStringLiteral("Monitor.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        // Written by hand, by words; the station writes it back with tabs.
        ini.write("/nonexistent/ttyX 1 /tmp/ 3 0\n");
        ini.close();

        QProcess station;
        station.setWorkingDirectory(dir.path());
        station.setProgram(QStringLiteral(GRELVIX_BINARY));
        station.setProcessChannelMode(QProcess::MergedChannels);
        station.start();
        QVERIFY(station.waitForStarted());
        // It reports the port it could not open once it is up.
        QByteArray output;
        QVERIFY(QTest::qWaitFor(
            [&] {
                station.waitForReadyRead(100);
                output += station.readAll();
                return output.contains("Error opened serial device");
            },
            20000));
        station.terminate();
        QVERIFY(station.waitForFinished(20000));
        QCOMPARE(station.exitStatus(), QProcess::NormalExit);
        QCOMPARE(station.exitCode(), 0);

        QVERIFY(ini.open(QIODevice::ReadOnly));
        QVERIFY(ini.readAll().startsWith("/nonexistent/ttyX\t1\t/tmp/\t3\t0\t"));
    }
};

QTEST_MAIN(TestProgram)
#include "tst_program.moc"
