#include "modbusslave.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

const QString program = QStringLiteral(GRELVIX_DEVSIM);

QByteArray readLine(QProcess &process)
{
    (void)QTest::qWaitFor([&] { return process.canReadLine(); }, 10000);
    return process.readLine().trimmed();
}

// Writes a request to the pty and waits for size bytes back.
QByteArray ask(int fd, const QByteArray &request, qsizetype size)
{
    if (::write(fd, request.constData(), size_t(request.size())) != request.size())
        return QByteArray();
    QByteArray got;
    (void)QTest::qWaitFor(
        [&] {
            char buffer[64];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, n);
            return got.size() >= size;
        },
        10000);
    return got;
}

} // namespace

class TestDevsimProgram : public QObject
{
    Q_OBJECT

private slots:
    void help();
    void badOptions_data();
    void badOptions();
    void servesAndTakesCommands();
    void endsOnSignalAndOnEof();
};

void TestDevsimProgram::help()
{
    QProcess process;
    process.start(program, {QStringLiteral("--help")});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
    const QByteArray text = process.readAllStandardOutput();
    for (const char *word :
         {"--pty", "--link", "--device", "--fault", "--exit-on-eof", "temp ADDR", "gap MS", "quit"})
        QVERIFY2(text.contains(word), word);
}

void TestDevsimProgram::badOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("address 0") << QStringList{"--device", "0"};
    QTest::newRow("unknown fault") << QStringList{"--devices", "5", "--fault", "5=loud"};
    QTest::newRow("fault without device") << QStringList{"--fault", "5=silent"};
    QTest::newRow("missing port") << QStringList{"--port", "/nonexistent/tty"};
    QTest::newRow("stray argument") << QStringList{"5"};
}

void TestDevsimProgram::badOptions()
{
    QFETCH(QStringList, arguments);
    QProcess process;
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    QVERIFY(!process.readAllStandardError().isEmpty());
}

void TestDevsimProgram::servesAndTakesCommands()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("line"));
    const QString record = dir.filePath(QStringLiteral("served"));
    QProcess process;
    process.start(program, {"--device", "5=23.5,-10", "--devices", "7,9", "--fault", "9=silent",
                            "--fault", "7=badcrc", "--link", link, "--record", record, "--quiet"});
    const QByteArray portLine = readLine(process);
    QVERIFY2(portLine.startsWith("port /dev/"), portLine.constData());
    const QByteArray port = portLine.mid(5);
    QCOMPARE(readLine(process), ("link " + link).toUtf8());
    QCOMPARE(QFile::symLinkTarget(link).toUtf8(), port);

    const int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    QCOMPARE(ask(fd, ModbusSlave::withCrc(QByteArray::fromHex("050300010002")), 9),
             QByteArray::fromHex("05030400ebff9c8e5e"));

    process.write("temp 5 1.5 -2\nfault 9 none\nlist\n");
    QCOMPARE(readLine(process), QByteArray("ok"));
    QCOMPARE(readLine(process), QByteArray("ok"));
    QVERIFY(readLine(process).startsWith("device 5 temp 1.5 -2.0 drift off fault none requests 1 "
                                         "answers 1"));
    QVERIFY(readLine(process).startsWith("device 7 "));
    QVERIFY(readLine(process).startsWith("device 9 "));
    QCOMPARE(readLine(process), QByteArray("ok 3 devices"));
    QCOMPARE(ask(fd, ModbusSlave::withCrc(QByteArray::fromHex("050300010002")), 9),
             ModbusSlave::temperatureAnswer(5, 15, -20));
    QCOMPARE(ask(fd, ModbusSlave::withCrc(QByteArray::fromHex("090300000001")), 7),
             ModbusSlave::probeAnswer(9, ModbusSlave::identification));
    QCOMPARE(ask(fd, ModbusSlave::withCrc(QByteArray::fromHex("070300010002")), 9).size(), 9);
    process.write("bogus\n");
    QVERIFY(readLine(process).startsWith("error: "));

    process.write("quit\n");
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
    // Two answers of device 5; the probe answer and device 7's corrupt ones are not recorded.
    QFile served(record);
    QVERIFY(served.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = served.readAll().split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines.at(0).endsWith(" 5 23.5 -10.0"), lines.at(0).constData());
    QVERIFY2(lines.at(1).endsWith(" 5 1.5 -2.0"), lines.at(1).constData());
    pollfd p{fd, POLLIN, 0};
    QCOMPARE(::poll(&p, 1, 1000), 1);
    QVERIFY(p.revents & POLLHUP);
    ::close(fd);
}

void TestDevsimProgram::endsOnSignalAndOnEof()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("line"));
    QProcess process;
    // Stdin closed: without --exit-on-eof it runs on. The end of stdin is seen by the time the
    // first request is answered, so a quit would leave the second one unanswered.
    process.start(program, {"--devices", "5", "--link", link});
    QVERIFY(readLine(process).startsWith("port "));
    process.closeWriteChannel();
    const int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    const QByteArray request = ModbusSlave::withCrc(QByteArray::fromHex("050300000001"));
    QCOMPARE(ask(fd, request, 7).size(), 7);
    QCOMPARE(ask(fd, request, 7).size(), 7);
    ::close(fd);
    QCOMPARE(process.state(), QProcess::Running);
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());

    process.start(program, {"--devices", "5", "--exit-on-eof", "--quiet"});
    QVERIFY(readLine(process).startsWith("port "));
    process.write("temp 5 1 2");
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
    // The last line counts even without its newline.
    QCOMPARE(process.readAllStandardOutput().trimmed(), QByteArray("ok"));
}

QTEST_GUILESS_MAIN(TestDevsimProgram)
#include "tst_devsimprogram.moc"
