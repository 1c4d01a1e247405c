// The port enumerator's own logic and its Linux side, through recorded udev devices, a sysfs
// tree written by the test, and a pseudo-terminal for the exclusive open.
#include "abstractserial.h"
#include "serialdeviceenumerator.h"
#include "serialdeviceinfo_p.h"
#include "unix/nativedeviceenumerator.h"
#include "unix/sysfsttysource.h"

#include "fakettysource.h"
#include "portrecord.h"
#include "ptypair.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

using Devices = QList<TtyDevice>;
Q_DECLARE_METATYPE(Devices)

namespace {

SerialDeviceEnumerator *enumeratorOn(FakeTtySource *source)
{
    return new SerialDeviceEnumerator(
        new NativeDeviceEnumerator(std::unique_ptr<TtyDeviceSource>(source)));
}

// Writes a file or a link of a sysfs tree; "->" makes a link.
void write(const QDir &root, const QString &path, const QString &content)
{
    const QString at = root.filePath(path);
    QDir().mkpath(QFileInfo(at).path());
    if (content.startsWith(QLatin1String("->"))) {
        QFile::link(content.mid(2), at);
        return;
    }
    QFile file(at);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content.toUtf8());
}

} // namespace

class tst_SerialDeviceEnumerator : public QObject
{
    Q_OBJECT

private slots:
    void vendorAndProduct_data();
    void vendorAndProduct();
    void printerPortsSkipped();
    void udevRecords();
    void changesAnnounced_data();
    void changesAnnounced();
    void sysfsFallback();
    void inUseMeansTheExclusiveOpenFails();
};

void tst_SerialDeviceEnumerator::vendorAndProduct_data()
{
    QTest::addColumn<QString>("hardwareId");
    QTest::addColumn<int>("windows");
    QTest::addColumn<QString>("vendor");
    QTest::addColumn<QString>("product");
    QTest::newRow("XP") << "USB\\Vid_067b&Pid_2303&Rev_0300" << 5 << "067b"
                        << "2303";
    QTest::newRow("7") << "USB\\VID_0403&PID_6001&REV_0600" << 6 << "0403"
                       << "6001";
    QTest::newRow("10, written as since Vista")
        << "FTDIBUS\\COMPORT&VID_0403&PID_6001" << 10 << "0403"
        << "6001";
    QTest::newRow("XP spelling on 10") << "USB\\Vid_067b&Pid_2303" << 10 << ""
                                       << "";
    QTest::newRow("no identifiers") << "ACPI\\PNP0501" << 10 << ""
                                    << "";
}

void tst_SerialDeviceEnumerator::vendorAndProduct()
{
    QFETCH(QString, hardwareId);
    QFETCH(int, windows);
    QFETCH(QString, vendor);
    QString gotVendor;
    QString gotProduct;
    QCOMPARE(SerialDeviceInfo::parseVendorProduct(hardwareId, windows, &gotVendor, &gotProduct),
             !vendor.isEmpty());
    QCOMPARE(gotVendor, vendor);
    QTEST(gotProduct, "product");
}

void tst_SerialDeviceEnumerator::printerPortsSkipped()
{
    SerialDeviceMap map;
    for (const char *name : {"COM3", "LPT1", "", "COM10"}) {
        SerialDeviceInfo info;
        info.name = QLatin1String(name);
        insertSerialDevice(map, info);
    }
    QCOMPARE(map.keys(), QStringList({"COM10", "COM3"}));
}

void tst_SerialDeviceEnumerator::udevRecords()
{
    auto *source = new FakeTtySource({FakeTtySource::console(), FakeTtySource::phantomSlot(),
                                      FakeTtySource::usbAdapter(), FakeTtySource::pnpUart()});
    std::unique_ptr<SerialDeviceEnumerator> ports(enumeratorOn(source));
    QCOMPARE(ports->portNames(), QStringList({"/dev/ttyS0", "/dev/ttyUSB0"}));
    QVERIFY(ports->isWatching());

    const auto record = [&ports](const char *name) {
        ports->selectPort(QLatin1String(name));
        return portRecord(*ports);
    };
    const TtyDevice adapter = FakeTtySource::usbAdapter();
    QCOMPARE(
        record("/dev/ttyUSB0"),
        QStringList({"/dev/ttyUSB0", "usb", "FT232R USB UART", "FT232R USB UART (ttyUSB0)",
                     adapter.modalias, adapter.links.join(QLatin1String("; ")),
                     "Future Technology Devices International, Ltd", "tty", "ftdi_sio",
                     "/sys/bus/usb-serial/drivers/ftdi_sio", adapter.sysPath, "0403", "6001"}));
    QCOMPARE(record("/dev/ttyS0"),
             QStringList({"/dev/ttyS0", "pnp", "", "ttyS0", "", "/dev/serial/by-path/pnp-0-0-port0",
                          "", "tty", "serial", "/sys/bus/pnp/drivers/serial",
                          FakeTtySource::pnpUart().sysPath, "", ""}));

    ports->selectPort(QStringLiteral("/dev/ttyS1"));
    QVERIFY(!ports->isPresent());
    QVERIFY(ports->name().isEmpty());
}

void tst_SerialDeviceEnumerator::changesAnnounced_data()
{
    QTest::addColumn<Devices>("after");
    QTest::addColumn<QStringList>("announced"); // empty: no announcement

    const TtyDevice adapter = FakeTtySource::usbAdapter();
    const TtyDevice uart = FakeTtySource::pnpUart();
    TtyDevice otherAdapter = adapter;
    otherAdapter.properties[QStringLiteral("ID_MODEL_ID")] = QStringLiteral("6015");

    QTest::newRow("adapter plugged in")
        << Devices{adapter, uart, FakeTtySource::usbAdapter(QStringLiteral("ttyUSB1"))}
        << QStringList{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1"};
    QTest::newRow("adapter pulled") << Devices{uart} << QStringList{"/dev/ttyS0"};
    QTest::newRow("another adapter on the same name")
        << Devices{otherAdapter, uart} << QStringList{"/dev/ttyS0", "/dev/ttyUSB0"};
    QTest::newRow("only a phantom slot came")
        << Devices{adapter, uart, FakeTtySource::phantomSlot()} << QStringList();
    QTest::newRow("nothing changed") << Devices{uart, adapter} << QStringList();
}

void tst_SerialDeviceEnumerator::changesAnnounced()
{
    QFETCH(Devices, after);
    QFETCH(QStringList, announced);
    auto *source = new FakeTtySource({FakeTtySource::usbAdapter(), FakeTtySource::pnpUart()});
    std::unique_ptr<SerialDeviceEnumerator> ports(enumeratorOn(source));
    QSignalSpy spy(ports.get(), &SerialDeviceEnumerator::hasChanged);

    source->set(after);
    QTRY_COMPARE(source->eventsTaken, 1);
    QCOMPARE(spy.size(), announced.isEmpty() ? 0 : 1);
    if (!announced.isEmpty())
        QCOMPARE(spy.at(0).at(0).toStringList(), announced);

    // Switched off, it hears nothing more.
    ports->setWatching(false);
    QVERIFY(!ports->isWatching());
    source->set({});
    QCoreApplication::processEvents();
    QCOMPARE(source->eventsTaken, 1);
}

void tst_SerialDeviceEnumerator::sysfsFallback()
{
    QTemporaryDir dir;
    const QDir sys(dir.path());
    // A UART behind the serial core's port and controller devices (Linux 6.5 on).
    const QString uart = QStringLiteral("devices/pnp0/00:00/00:00:0/00:00:0.0/tty/ttyS0");
    write(sys, QStringLiteral("class/tty/ttyS0"), QStringLiteral("->") + sys.filePath(uart));
    write(sys, uart + QStringLiteral("/uevent"), QStringLiteral("MAJOR=4\nDEVNAME=ttyS0\n"));
    write(sys, uart + QStringLiteral("/type"), QStringLiteral("4\n"));
    write(sys, uart + QStringLiteral("/device"), QStringLiteral("->../.."));
    write(sys, QStringLiteral("devices/pnp0/00:00/00:00:0/00:00:0.0/subsystem"),
          QStringLiteral("->../../../../bus/serial-base"));
    write(sys, QStringLiteral("devices/pnp0/00:00/00:00:0/subsystem"),
          QStringLiteral("->../../../bus/serial-base"));
    write(sys, QStringLiteral("devices/pnp0/00:00/subsystem"), QStringLiteral("->../../bus/pnp"));
    write(sys, QStringLiteral("devices/pnp0/00:00/driver"),
          QStringLiteral("->../../bus/pnp/drivers/serial"));
    // A slot without a UART, and a console.
    const QString slot = QStringLiteral("devices/platform/serial8250/tty/ttyS1");
    write(sys, QStringLiteral("class/tty/ttyS1"), QStringLiteral("->") + sys.filePath(slot));
    write(sys, slot + QStringLiteral("/uevent"), QStringLiteral("DEVNAME=ttyS1\n"));
    write(sys, slot + QStringLiteral("/type"), QStringLiteral("0\n"));
    write(sys, slot + QStringLiteral("/device"), QStringLiteral("->../.."));
    const QString console = QStringLiteral("devices/virtual/tty/tty0");
    write(sys, QStringLiteral("class/tty/tty0"), QStringLiteral("->") + sys.filePath(console));
    write(sys, console + QStringLiteral("/uevent"), QStringLiteral("DEVNAME=tty0\n"));
    // A USB adapter: the identifiers come from the USB device two levels up.
    const QString usb = QStringLiteral("devices/pci0000:00/usb1/1-2");
    const QString adapter = usb + QStringLiteral("/1-2:1.0/ttyUSB0/tty/ttyUSB0");
    write(sys, QStringLiteral("class/tty/ttyUSB0"), QStringLiteral("->") + sys.filePath(adapter));
    write(sys, adapter + QStringLiteral("/uevent"), QStringLiteral("DEVNAME=ttyUSB0\n"));
    write(sys, adapter + QStringLiteral("/device"), QStringLiteral("->../.."));
    write(sys, usb + QStringLiteral("/1-2:1.0/ttyUSB0/subsystem"),
          QStringLiteral("->../../../../../bus/usb-serial"));
    write(sys, usb + QStringLiteral("/1-2:1.0/ttyUSB0/driver"),
          QStringLiteral("->../../../../../bus/usb-serial/drivers/ftdi_sio"));
    write(sys, usb + QStringLiteral("/idVendor"), QStringLiteral("0403\n"));
    write(sys, usb + QStringLiteral("/idProduct"), QStringLiteral("6001\n"));
    write(sys, usb + QStringLiteral("/manufacturer"), QStringLiteral("FTDI\n"));
    write(sys, usb + QStringLiteral("/product"), QStringLiteral("FT232R USB UART\n"));

    NativeDeviceEnumerator sysfs(std::make_unique<SysfsTtySource>(dir.path()));
    const SerialDeviceMap ports = sysfs.enumerate();
    QCOMPARE(ports.keys(), QStringList({"/dev/ttyS0", "/dev/ttyUSB0"}));
    QVERIFY(!sysfs.setWatching(true));
    const SerialDeviceInfo &s0 = ports.value(QStringLiteral("/dev/ttyS0"));
    QCOMPARE(QStringList({s0.bus, s0.service}), QStringList({"pnp", "serial"}));
    const SerialDeviceInfo &usb0 = ports.value(QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(QStringList({usb0.bus, usb0.service, usb0.vendorID, usb0.productID, usb0.description,
                          usb0.manufacturer}),
             QStringList({"usb", "ftdi_sio", "0403", "6001", "FT232R USB UART", "FTDI"}));
}

void tst_SerialDeviceEnumerator::inUseMeansTheExclusiveOpenFails()
{
    PtyPair line;
    QVERIFY(line.isValid());
    TtyDevice tty = FakeTtySource::usbAdapter();
    tty.devNode = line.slavePath();
    std::unique_ptr<SerialDeviceEnumerator> ports(enumeratorOn(new FakeTtySource({tty})));

    ports->selectPort(line.slavePath());
    QVERIFY(!ports->isInUse());
    AbstractSerial serial;
    serial.setDeviceName(line.slavePath());
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QVERIFY(ports->isInUse());
    serial.close();
    QVERIFY(!ports->isInUse());

    // Another program's TIOCEXCL, which does not stop root from opening, still counts; and
    // trying the port leaves that program's hold as it was.
    const int other = ::open(QFile::encodeName(line.slavePath()).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(other >= 0);
    QCOMPARE(::ioctl(other, TIOCEXCL), 0);
    QVERIFY(ports->isInUse());
    int held = 0;
    QCOMPARE(::ioctl(other, TIOCGEXCL, &held), 0);
    QCOMPARE(held, 1);
    ::close(other);

    // A port that is not there is in no one's use.
    ports->selectPort(QStringLiteral("/dev/ttyUSB7"));
    QVERIFY(!ports->isInUse());
}

QTEST_GUILESS_MAIN(tst_SerialDeviceEnumerator)
#include "tst_serialdeviceenumerator.moc"
