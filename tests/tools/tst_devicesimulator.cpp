#include "devicesimulator.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace {

QByteArray temperatureRequest(quint8 address)
{
    QByteArray body = QByteArray::fromHex("000300010002");
    body[0] = char(address);
    return ModbusSlave::withCrc(body);
}

// The station's end of the line, with nothing but POSIX calls and no line settings of its own.
class Station
{
public:
    explicit Station(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {}
    ~Station()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    bool send(const QByteArray &bytes)
    {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Runs the event loop until size bytes have come, or 5 s have passed.
    QByteArray receive(qsizetype size)
    {
        QByteArray got;
        (void)QTest::qWaitFor(
            [&] {
                char buffer[256];
                ssize_t n;
                while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0)
                    got.append(buffer, n);
                return got.size() >= size;
            },
            5000);
        return got;
    }

private:
    int m_fd;
};

} // namespace

class TestDeviceSimulator : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void answersOverPty();
    void bytesPassUnchanged();
    void changesWhileRunning();
    void delayedAndGappedAnswers();
    void oneAnswerOnTheLineAtATime();
    void hangUpAndLink();
    void realPort();

private:
    DeviceSimulator *m_sim = nullptr;
};

void TestDeviceSimulator::init()
{
    m_sim = new DeviceSimulator;
    m_sim->setDriftInterval(0);
    QVERIFY2(m_sim->openPty(), qPrintable(m_sim->errorString()));
    QVERIFY(m_sim->portName().startsWith(QLatin1String("/dev/")));
}

void TestDeviceSimulator::cleanup()
{
    delete m_sim;
    m_sim = nullptr;
}

void TestDeviceSimulator::answersOverPty()
{
    m_sim->addDevice(5)->setTemperatures(23.5, -10.0);
    QSignalSpy requests(m_sim, &DeviceSimulator::requestReceived);
    QSignalSpy answers(m_sim, &DeviceSimulator::answerWritten);
    Station station(m_sim->portName());
    QVERIFY(station.isOpen());

    QVERIFY(station.send(temperatureRequest(5)));
    QCOMPARE(station.receive(9), QByteArray::fromHex("05030400ebff9c8e5e"));
    QVERIFY(station.send(ModbusSlave::withCrc(QByteArray::fromHex("050300000001"))));
    QCOMPARE(station.receive(7), ModbusSlave::probeAnswer(5, ModbusSlave::identification));
    // Not served: seen and counted, never answered.
    QVERIFY(station.send(temperatureRequest(6)));
    QTRY_COMPARE(requests.count(), 3);
    QCOMPARE(requests.at(0).at(0).value<quint8>(), quint8(5));
    QCOMPARE(requests.at(0).at(1).value<ModbusSlave::RequestKind>(),
             ModbusSlave::TemperatureRequest);
    QCOMPARE(requests.at(1).at(1).value<ModbusSlave::RequestKind>(), ModbusSlave::ProbeRequest);
    QCOMPARE(requests.at(2).at(0).value<quint8>(), quint8(6));
    QCOMPARE(answers.count(), 2);
    QCOMPARE(m_sim->requestCount(6), quint64(1));
    QCOMPARE(m_sim->answerCount(5), quint64(2));
    QCOMPARE(m_sim->answerCount(6), quint64(0));

    // The station closing and reopening its port is nothing the line notices.
    Station again(m_sim->portName());
    {
        Station brief(m_sim->portName());
        QVERIFY(brief.isOpen());
    }
    QVERIFY(again.send(temperatureRequest(5)));
    QCOMPARE(again.receive(9).size(), 9);
}

void TestDeviceSimulator::bytesPassUnchanged()
{
    // Newline, carriage return, XON, XOFF and DEL as addresses and as data: a cooked line
    // would translate or swallow them on the way in or out.
    const QList<quint8> addresses{0x0A, 0x0D, 0x11, 0x13, 0x7F, 0xFF};
    for (quint8 address : addresses)
        m_sim->addDevice(address)->setTemperatures(257.3, 499.1); // 0x0A0D, 0x137F
    Station station(m_sim->portName());
    for (quint8 address : addresses) {
        QVERIFY(station.send(temperatureRequest(address)));
        QCOMPARE(station.receive(9), ModbusSlave::temperatureAnswer(address, 0x0A0D, 0x137F));
    }
}

void TestDeviceSimulator::changesWhileRunning()
{
    SimulatedDevice *device = m_sim->addDevice(5);
    device->setTemperatures(23.5, -10.0);
    Station station(m_sim->portName());
    QVERIFY(station.send(temperatureRequest(5)));
    QCOMPARE(station.receive(9), ModbusSlave::temperatureAnswer(5, 235, -100));

    device->setTemperatures(-0.1, 100.0);
    QVERIFY(station.send(temperatureRequest(5)));
    QCOMPARE(station.receive(9), ModbusSlave::temperatureAnswer(5, -1, 1000));

    device->setFault(*SimulatedDevice::Fault::fromString(QStringLiteral("range")));
    QVERIFY(station.send(temperatureRequest(5)));
    QCOMPARE(station.receive(9), ModbusSlave::temperatureAnswer(5, 1250, -550));

    device->setFault({});
    device->setDrift(true);
    m_sim->setSeed(7);
    for (int i = 0; i < 50; ++i)
        m_sim->driftStep();
    QVERIFY(device->temperature(0) != device->setPoint(0));
    QVERIFY(station.send(temperatureRequest(5)));
    QCOMPARE(station.receive(9), ModbusSlave::temperatureAnswer(5, device->rawTemperature(0),
                                                                device->rawTemperature(1)));

    QVERIFY(m_sim->removeDevice(5));
    m_sim->addDevice(9);
    QSignalSpy requests(m_sim, &DeviceSimulator::requestReceived);
    QVERIFY(station.send(temperatureRequest(5) + temperatureRequest(9)));
    QCOMPARE(station.receive(9).at(0), char(9));
    QCOMPARE(requests.count(), 2);
}

void TestDeviceSimulator::delayedAndGappedAnswers()
{
    m_sim->addDevice(5)->setFault(*SimulatedDevice::Fault::fromString(QStringLiteral("delay 150")));
    m_sim->addDevice(7)->setFault(*SimulatedDevice::Fault::fromString(QStringLiteral("gap 15")));
    const QByteArray answer5 = ModbusSlave::temperatureAnswer(
        5, m_sim->device(5)->rawTemperature(0), m_sim->device(5)->rawTemperature(1));
    const QByteArray answer7 = ModbusSlave::temperatureAnswer(
        7, m_sim->device(7)->rawTemperature(0), m_sim->device(7)->rawTemperature(1));
    Station station(m_sim->portName());

    // Only lower bounds: a loaded machine makes everything later, never earlier.
    QElapsedTimer clock;
    clock.start();
    QVERIFY(station.send(temperatureRequest(5)));
    QCOMPARE(station.receive(9), answer5);
    QVERIFY2(clock.elapsed() >= 150, qPrintable(QString::number(clock.elapsed())));

    clock.restart();
    QVERIFY(station.send(temperatureRequest(7)));
    QCOMPARE(station.receive(9), answer7);
    QVERIFY2(clock.elapsed() >= 8 * 15, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(m_sim->pendingAnswers(), 0);
}

void TestDeviceSimulator::oneAnswerOnTheLineAtATime()
{
    m_sim->addDevice(5)->setFault(*SimulatedDevice::Fault::fromString(QStringLiteral("gap 20")));
    m_sim->addDevice(7);
    m_sim->addDevice(9)->setFault(
        *SimulatedDevice::Fault::fromString(QStringLiteral("delay 1000")));
    const auto answer = [this](quint8 address) {
        const SimulatedDevice *d = m_sim->device(address);
        return ModbusSlave::temperatureAnswer(address, d->rawTemperature(0), d->rawTemperature(1));
    };
    Station station(m_sim->portName());
    QSignalSpy written(m_sim, &DeviceSimulator::answerWritten);

    // A request that comes while a gapped answer is under way waits for its last byte.
    QVERIFY(station.send(temperatureRequest(5)));
    QByteArray got = station.receive(1);
    QVERIFY(!got.isEmpty());
    QVERIFY(station.send(temperatureRequest(7)));
    got += station.receive(18 - got.size());
    QCOMPARE(got, answer(5) + answer(7));

    // A delayed answer is overtaken.
    QVERIFY(station.send(temperatureRequest(9) + temperatureRequest(7)));
    QCOMPARE(station.receive(18), answer(7) + answer(9));
    QCOMPARE(written.count(), 4);
    QCOMPARE(written.at(0).at(0).value<quint8>(), quint8(5));
    QCOMPARE(written.at(3).at(1).toByteArray(), answer(9));
}

void TestDeviceSimulator::hangUpAndLink()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("port"));
    QVERIFY(m_sim->createLink(link));
    QCOMPARE(QFile::symLinkTarget(link), m_sim->portName());
    // An older link is replaced, anything else is left alone.
    QVERIFY(m_sim->createLink(link));
    QFile other(dir.filePath(QStringLiteral("file")));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.close();
    QVERIFY(!m_sim->createLink(other.fileName()));
    QVERIFY(!m_sim->errorString().isEmpty());
    QVERIFY(QFile::exists(other.fileName()));
    QVERIFY(m_sim->createLink(link));

    m_sim->addDevice(5)->setFault(
        *SimulatedDevice::Fault::fromString(QStringLiteral("delay 5000")));
    Station station(link);
    QVERIFY(station.isOpen());
    QVERIFY(station.send(temperatureRequest(5)));
    QTRY_COMPARE(m_sim->pendingAnswers(), 1);
    m_sim->close();
    QVERIFY(!m_sim->isOpen());
    QVERIFY(!QFileInfo(link).isSymLink());
    pollfd p{station.fd(), POLLIN, 0};
    QCOMPARE(::poll(&p, 1, 1000), 1);
    QVERIFY(p.revents & POLLHUP);
    QCOMPARE(m_sim->pendingAnswers(), 0);
}

void TestDeviceSimulator::realPort()
{
    // Another pty stands in for a serial port; its master is the station's end here.
    int master = -1;
    int slave = -1;
    QCOMPARE(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const QString path = QString::fromLocal8Bit(::ttyname(slave));
    QVERIFY(!m_sim->openPort(path, 12345));
    QVERIFY(!m_sim->openPort(QStringLiteral("/nonexistent/tty"), 9600));
    QVERIFY(m_sim->errorString().contains(QLatin1String("/nonexistent/tty")));
    QVERIFY2(m_sim->openPort(path, 19200), qPrintable(m_sim->errorString()));
    QCOMPARE(m_sim->portName(), path);
    m_sim->addDevice(0x0D)->setTemperatures(1.0, 2.0);
    const QByteArray request = temperatureRequest(0x0D);
    QCOMPARE(::write(master, request.constData(), size_t(request.size())), ssize_t(request.size()));
    QByteArray got;
    QVERIFY(QTest::qWaitFor(
        [&] {
            char buffer[64];
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 0) == 1) {
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n > 0)
                    got.append(buffer, n);
            }
            return got.size() >= 9;
        },
        5000));
    QCOMPARE(got, ModbusSlave::temperatureAnswer(0x0D, 10, 20));
    m_sim->close();
    ::close(slave);
    ::close(master);
}

QTEST_GUILESS_MAIN(TestDeviceSimulator)
#include "tst_devicesimulator.moc"
