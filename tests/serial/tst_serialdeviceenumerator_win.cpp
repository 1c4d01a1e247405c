// The Windows port enumerator against the stand-in's simulated devices and registry.
#include "serialdeviceenumerator.h"
#include "windows/nativedeviceenumerator.h"

#include "portrecord.h"
#include "setupapistandin.h"
#include "simulatedcomport.h"

#include <QSignalSpy>
#include <QTest>

using namespace Win32StandIn;

namespace {

const GUID portsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID multiportClass = {
    0xDF799E12, 0x3C56, 0x421B, {0xB2, 0x98, 0xB6, 0xD3, 0x64, 0x2B, 0xC8, 0x78}};
const GUID modemClass = {
    0x4D36E96D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID hidClass = {
    0x745A17A0, 0x74D3, 0x11D0, {0xB6, 0xFE, 0x00, 0xA0, 0xC9, 0x0F, 0x57, 0xDA}};

const QString services = QStringLiteral("SYSTEM\\CurrentControlSet\\services\\");

SimulatedDevice device(const GUID &deviceClass, const QString &valueName, const QString &port,
                       const QString &service)
{
    SimulatedDevice simulated;
    simulated.classGuid = deviceClass;
    simulated.deviceKey[QStringLiteral("PollingPeriod")] = RegistryValue::number(0);
    if (!valueName.isEmpty())
        simulated.deviceKey[valueName] = RegistryValue::text(port);
    if (!service.isEmpty())
        simulated.properties[SPDRP_SERVICE] = RegistryValue::text(service);
    return simulated;
}

SimulatedDevice ftdiAdapter(const QString &port)
{
    SimulatedDevice ftdi =
        device(portsClass, QStringLiteral("PortName"), port, QStringLiteral("FTDIBUS"));
    ftdi.properties[SPDRP_ENUMERATOR_NAME] = RegistryValue::text(QStringLiteral("FTDIBUS"));
    ftdi.properties[SPDRP_DEVICEDESC] = RegistryValue::text(QStringLiteral("USB Serial Port"));
    ftdi.properties[SPDRP_FRIENDLYNAME] =
        RegistryValue::text(QStringLiteral("USB Serial Port (%1)").arg(port));
    ftdi.properties[SPDRP_HARDWAREID] = RegistryValue::texts(
        {QStringLiteral("FTDIBUS\\COMPORT&VID_0403&PID_6001"), QStringLiteral("FTDIBUS\\COMPORT")});
    ftdi.properties[SPDRP_LOCATION_INFORMATION] = RegistryValue::number(2);
    ftdi.properties[SPDRP_MFG] = RegistryValue::text(QStringLiteral("FTDI"));
    ftdi.properties[SPDRP_CLASS] = RegistryValue::text(QStringLiteral("Ports"));
    ftdi.properties[SPDRP_PHYSICAL_DEVICE_OBJECT_NAME] =
        RegistryValue::text(QStringLiteral("\\Device\\VCP0"));
    return ftdi;
}

} // namespace

class tst_SerialDeviceEnumeratorWin : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void portsOfTheThreeClasses();
    void listedAlsoWithoutAWatch();
    void watchesTheServicesKey();
    void inUseMeansTheOpenFails();
};

void tst_SerialDeviceEnumeratorWin::init()
{
    Win32StandIn::reset();
    setRegistryValue(
        services + QStringLiteral("FTDIBUS"), QStringLiteral("ImagePath"),
        RegistryValue::text(QStringLiteral("\\SystemRoot\\System32\\drivers\\ftdibus.sys"),
                            REG_EXPAND_SZ));
}

void tst_SerialDeviceEnumeratorWin::portsOfTheThreeClasses()
{
    setWindowsMajorVersion(10);
    plugDevice(ftdiAdapter(QStringLiteral("COM3")));
    plugDevice(device(modemClass, QStringLiteral("PortName"), QStringLiteral("COM4"),
                      QStringLiteral("Modem")));
    plugDevice(device(multiportClass, QStringLiteral("DosPortName"), QStringLiteral("COM10"),
                      QStringLiteral("Serial")));
    plugDevice(device(portsClass, QStringLiteral("PortName"), QStringLiteral("LPT1"),
                      QStringLiteral("Parport")));
    plugDevice(device(portsClass, QStringLiteral("portname"), QStringLiteral("COM8"),
                      QStringLiteral("Serial")));
    plugDevice(device(portsClass, QString(), QString(), QStringLiteral("Serial")));
    SimulatedDevice keyless = device(portsClass, QStringLiteral("PortName"), QStringLiteral("COM6"),
                                     QStringLiteral("Serial"));
    keyless.hasDeviceKey = false;
    plugDevice(keyless);
    plugDevice(device(hidClass, QStringLiteral("PortName"), QStringLiteral("COM9"),
                      QStringLiteral("HidUsb")));

    SerialDeviceEnumerator ports(new NativeDeviceEnumerator);
    QCOMPARE(ports.portNames(), QStringList({"COM10", "COM3", "COM4"}));

    ports.selectPort(QStringLiteral("COM3"));
    // Windows 10 writes the identifiers as Vista did.
    QCOMPARE(portRecord(ports),
             QStringList({"COM3", "FTDIBUS", "USB Serial Port", "USB Serial Port (COM3)",
                          "FTDIBUS\\COMPORT&VID_0403&PID_6001,FTDIBUS\\COMPORT", "2", "FTDI",
                          "Ports", "FTDIBUS", "\\SystemRoot\\System32\\drivers\\ftdibus.sys",
                          "\\Device\\VCP0", "0403", "6001"}));

    ports.selectPort(QStringLiteral("COM4"));
    QVERIFY(ports.driver().isEmpty()); // no such service key
    ports.selectPort(QStringLiteral("LPT1"));
    QVERIFY(!ports.isPresent());
}

void tst_SerialDeviceEnumeratorWin::listedAlsoWithoutAWatch()
{
    Win32StandIn::reset(); // no services key to watch
    plugDevice(device(portsClass, QStringLiteral("PortName"), QStringLiteral("COM1"), QString()));
    {
        SerialDeviceEnumerator ports(new NativeDeviceEnumerator);
        QVERIFY(!ports.isWatching());
        QCOMPARE(ports.portNames(), QStringList{"COM1"});
    }
    QCOMPARE(openHandles(), 0);
}

void tst_SerialDeviceEnumeratorWin::watchesTheServicesKey()
{
    plugDevice(ftdiAdapter(QStringLiteral("COM3")));
    {
        SerialDeviceEnumerator ports(new NativeDeviceEnumerator);
        QSignalSpy spy(&ports, &SerialDeviceEnumerator::hasChanged);
        QVERIFY(ports.isWatching());
        QCOMPARE(registryWatches(), 1);

        const DWORD second = plugDevice(ftdiAdapter(QStringLiteral("COM12")));
        QTRY_COMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toStringList(), QStringList({"COM12", "COM3"}));
        QCOMPARE(registryWatches(), 1); // set again for the next change

        // A change that leaves the ports as they were is looked at, and not announced.
        setRegistryValue(services + QStringLiteral("Serial"), QStringLiteral("Start"),
                         RegistryValue::number(3));
        QCOMPARE(registryWatches(), 0);
        QTRY_COMPARE(registryWatches(), 1);
        QCOMPARE(spy.size(), 1);

        unplugDevice(second);
        QTRY_COMPARE(spy.size(), 2);
        QCOMPARE(spy.at(1).at(0).toStringList(), QStringList{"COM3"});

        // Not watching, it hears nothing; switching on looks at once.
        ports.setWatching(false);
        plugDevice(ftdiAdapter(QStringLiteral("COM7")));
        QCoreApplication::processEvents();
        QCOMPARE(spy.size(), 2);
        ports.setWatching(true);
        QCOMPARE(spy.size(), 3);
        QCOMPARE(ports.portNames(), QStringList({"COM3", "COM7"}));
    }
    QCOMPARE(openHandles(), 0);
}

void tst_SerialDeviceEnumeratorWin::inUseMeansTheOpenFails()
{
    plugDevice(ftdiAdapter(QStringLiteral("COM3")));
    SimulatedComPort *port = addPort(QStringLiteral("COM3"));
    SerialDeviceEnumerator ports(new NativeDeviceEnumerator);

    ports.selectPort(QStringLiteral("COM3"));
    QVERIFY(!ports.isInUse());
    QCOMPARE(port->openedAs, nullptr); // closed again at once
    const QString path = QStringLiteral("\\\\.\\COM3");
    const HANDLE other =
        CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    QVERIFY(other != INVALID_HANDLE_VALUE);
    QVERIFY(ports.isInUse());
    CloseHandle(other);

    // CreateFileW fails on a port that is not there too; that is no use by anyone.
    ports.selectPort(QStringLiteral("COM5"));
    QVERIFY(!ports.isInUse());
}

QTEST_GUILESS_MAIN(tst_SerialDeviceEnumeratorWin)
#include "tst_serialdeviceenumerator_win.moc"
