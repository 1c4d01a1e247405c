// The port field offers the ports present, as they come and go, and nothing more.
#include "portcompleter.h"
#include "serialdeviceenumerator.h"
#include "unix/nativedeviceenumerator.h"
#include "velunor.h"

#include "fakettysource.h"
#include "windowfixture.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QTest>

class tst_PortCompleter : public QObject
{
    Q_OBJECT

private slots:
    void offersThePortsAsTheyComeAndGo();
    void stationFieldHasIt();
};

void tst_PortCompleter::offersThePortsAsTheyComeAndGo()
{
    auto *source = new FakeTtySource({FakeTtySource::pnpUart()});
    SerialDeviceEnumerator ports(
        new NativeDeviceEnumerator(std::unique_ptr<TtyDeviceSource>(source)));
    QLineEdit field(QStringLiteral("COM12"));
    auto *completer = new PortCompleter(&ports, &field);
    const auto offered = [completer] {
        QStringList names;
        for (int row = 0; row < completer->model()->rowCount(); ++row)
            names << completer->model()->index(row, 0).data(Qt::UserRole).toString();
        return names;
    };
    QCOMPARE(offered(), QStringList{"/dev/ttyS0"});

    source->set({FakeTtySource::pnpUart(), FakeTtySource::usbAdapter(QStringLiteral("ttyUSB10")),
                 FakeTtySource::usbAdapter(QStringLiteral("ttyUSB9"))});
    QTRY_COMPARE(offered(), QStringList({"/dev/ttyS0", "/dev/ttyUSB9", "/dev/ttyUSB10"}));
    QCOMPARE(completer->model()->index(1, 0).data().toString(),
             QStringLiteral("/dev/ttyUSB9 \u2014 FT232R USB UART"));
    QCOMPARE(field.text(), QStringLiteral("COM12")); // nothing chosen for the operator
    QVERIFY(!completer->popup()->isVisible());

    // Part of a name finds the port; taking it puts the bare name into the field.
    field.show();
    field.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&field));
    field.setFocus(); // a line edit takes completions only while it has the focus
    field.clear();
    QTest::keyClicks(&field, QStringLiteral("usb1"));
    QTRY_VERIFY(completer->popup()->isVisible());
    QCOMPARE(completer->completionCount(), 1);
    QTest::keyClick(completer->popup(), Qt::Key_Down);
    QTest::keyClick(completer->popup(), Qt::Key_Return);
    QCOMPARE(field.text(), QStringLiteral("/dev/ttyUSB10"));

    source->set({FakeTtySource::pnpUart()});
    QTRY_COMPARE(offered(), QStringList{"/dev/ttyS0"});
    QCOMPARE(field.text(), QStringLiteral("/dev/ttyUSB10"));
}

void tst_PortCompleter::stationFieldHasIt()
{
    WindowFixture fixture;
    Velunor &station = fixture.create();
    auto *field = station.findChild<QLineEdit *>(QStringLiteral("lePort"));
    QVERIFY(qobject_cast<PortCompleter *>(field->completer()));
    QCOMPARE(field->text(), QStringLiteral("COM12"));
}

QTEST_MAIN(tst_PortCompleter)
#include "tst_portcompleter.moc"
