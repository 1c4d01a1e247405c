// The main window at start: widget tree, initial states and the two display operations.
#include "channeltable.h"
#include "cp1251.h"
#include "realtimegraph.h"
#include "textcodecs.h"
#include "windowfixture.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTextCodec>
#include <QTimer>
#include <QToolButton>

namespace {
// Enabled as far as the button itself goes; its group box may be disabled around it.
bool enabledInItself(QWidget *widget)
{
    return widget->isEnabledTo(widget->parentWidget());
}

// The ground of a label as drawn, clear of its text.
QColor background(QWidget *label)
{
    return label->grab().toImage().pixelColor(2, 2);
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    // Each test starts in a working directory of its own, without Monitor.ini.
    std::unique_ptr<WindowFixture> fixture;

    // Counts the events of one type that reach a widget.
    struct EventCounter : QObject
    {
        QEvent::Type type;
        int count = 0;
        explicit EventCounter(QEvent::Type counted)
            : type(counted)
        {}
        bool eventFilter(QObject *, QEvent *event) override
        {
            count += event->type() == type;
            return false;
        }
    };

    template<typename T>
    static T *child(QObject *window, const char *name)
    {
        T *widget = window->findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }

private slots:
    void init() { fixture = std::make_unique<WindowFixture>(); }
    void cleanup() { fixture.reset(); }

    void startsIdleWithoutConfiguration()
    {
        Velunor &w = fixture->create();
        auto *status = child<QLabel>(&w, "label_status_dev");
        QCOMPARE(status->text(), QStringLiteral("ОЖИДАНИЕ"));
        QCOMPARE(background(status), QColor(48, 255, 25));
        for (int n = 0; n < Velunor::ChannelCount; ++n) {
            QVERIFY(!enabledInItself(w.channelButton(n)));
            QCOMPARE(WindowFixture::segmentColours(w.display(n)), QStringLiteral("none"));
        }
        for (const char *box : {"CurrentDisplayTempBox", "StatusDevBox", "SearchDevicesBox"})
            QVERIFY2(!child<QGroupBox>(&w, box)->isEnabled(), box);
        QVERIFY(!child<QToolButton>(&w, "StartLog")->isEnabled());
        QVERIFY(!child<QToolButton>(&w, "StopLog")->isEnabled());
        QVERIFY(child<QLineEdit>(&w, "lePort")->isEnabled());
        QVERIFY(child<QComboBox>(&w, "cbBaud")->isEnabled());
        QCOMPARE(child<QPushButton>(&w, "pbPortOpen")->text(), QStringLiteral("Open"));
        const auto timer = [&w](const char *name) {
            return child<StationTimer>(&w.station(), name);
        };
        QVERIFY(timer("TimerAlarm")->isActive());
        QCOMPARE(timer("TimerAlarm")->interval(), 650);
        QVERIFY(!timer("TimerRequest")->isActive());
        QVERIFY(!timer("TimerCommunication")->isActive());
        const StationCore &core = w.station();
        QVERIFY(!core.link().isOpen());
        QVERIFY(!core.link().isPolling() && !core.recorder().isRecording());
        QVERIFY(!core.link().isSearching());
        QCOMPARE(core.link().deviceCount(), 0);
        QVERIFY(QDir::current().entryList(QDir::Files).isEmpty());
    }

    void formHasItsTexts()
    {
        Velunor &w = fixture->create();
        QCOMPARE(w.windowTitle(), QStringLiteral("Grelvix"));
        QCOMPARE(child<QLineEdit>(&w, "lePort")->text(), QStringLiteral("COM12"));
        auto *baud = child<QComboBox>(&w, "cbBaud");
        QStringList speeds;
        for (int i = 0; i < baud->count(); ++i)
            speeds << baud->itemText(i);
        QCOMPARE(speeds, (QStringList{"9600", "19200", "28800", "57600", "115200"}));
        QCOMPARE(baud->currentIndex(), 0);
        // The channel captions start with the Cyrillic capital Te, not a Latin T.
        QCOMPARE(w.channelButton(10)->text(), QStringLiteral("\u042210 Датчик"));
        QCOMPARE(w.graphWindow(7)->windowTitle(), QStringLiteral("График \u04227"));
        QCOMPARE(child<QToolButton>(&w, "StartLog")->toolTip(),
                 QStringLiteral("Запуск Регистрации Температуры"));
        QCOMPARE(child<QPushButton>(&w, "GraphAnalisys")->toolTip(),
                 QStringLiteral("Просмотр Архива Регистрации"));
        QVERIFY(child<QToolButton>(&w, "StartLog")->isCheckable());
        QVERIFY(!child<QToolButton>(&w, "StartLog")->icon().isNull());
        QVERIFY(!child<QPushButton>(&w, "CurrentDirectory")->icon().isNull());
        QVERIFY(child<QPushButton>(&w, "CurrentDirectory")->text().isEmpty());
#ifndef Q_OS_WIN
        QCOMPARE(child<QLabel>(&w, "PathCurrentDirectory")->text(), QDir::homePath() + '/');
#endif
    }

    void windowIsFixedSize()
    {
        Velunor &w = fixture->create();
        w.show();
        QCOMPARE(w.size(), QSize(690, 510));
        w.resize(900, 700);
        QCOMPARE(w.size(), QSize(690, 510));
        w.resize(300, 200);
        QCOMPARE(w.size(), QSize(690, 510));
    }

    void pollIntervalStaysWithinOneToTen()
    {
        Velunor &w = fixture->create();
        auto *interval = child<QSpinBox>(&w, "SensorsReadInterval");
        QCOMPARE(interval->value(), 5);
        interval->setValue(0);
        QCOMPARE(interval->value(), 1);
        interval->setValue(11);
        QCOMPARE(interval->value(), 10);
        // Typed by the operator, neither is taken.
        interval->setValue(4);
        for (const char *typed : {"0", "11"}) {
            interval->selectAll();
            QTest::keyClicks(interval, QLatin1String(typed));
            QTest::keyClick(interval, Qt::Key_Return);
            QVERIFY2(interval->value() >= 1 && interval->value() <= 10, typed);
            QVERIFY2(interval->value() != QByteArray(typed).toInt(), typed);
        }
    }

    void channelButtonsCarryLineColours()
    {
        Velunor &w = fixture->create();
        const Qt::GlobalColor expected[] = {Qt::blue,  Qt::darkBlue,  Qt::red,     Qt::darkRed,
                                            Qt::green, Qt::darkGreen, Qt::yellow,  Qt::darkYellow,
                                            Qt::cyan,  Qt::darkCyan,  Qt::magenta, Qt::darkMagenta};
        for (int n = 0; n < Velunor::ChannelCount; ++n) {
            const QPalette palette = w.channelButton(n)->palette();
            for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
                QCOMPARE(palette.color(group, QPalette::ButtonText), QColor(expected[n]));
            QCOMPARE(channelLineColor(n), QColor(expected[n]));
        }
        QCOMPARE(channelFillColor(0), QColor(173, 216, 230));
        QCOMPARE(channelFillColor(11), QColor(255, 187, 255));
        QVERIFY(!channelLineColor(12).isValid());
    }

    void displayEnableFollowsDeviceCount_data()
    {
        QTest::addColumn<int>("devices");
        QTest::addColumn<int>("enabled");
        QTest::addColumn<bool>("blanked");
        QTest::newRow("none") << 0 << 0 << true;
        QTest::newRow("three") << 3 << 6 << false;
        QTest::newRow("six") << 6 << 12 << false;
        QTest::newRow("seven") << 7 << 0 << false;
        QTest::newRow("negative") << -1 << 0 << false;
    }
    void displayEnableFollowsDeviceCount()
    {
        QFETCH(int, devices);
        QFETCH(int, enabled);
        QFETCH(bool, blanked);
        Velunor &w = fixture->create();
        w.SetDisplayTempEnable(6);
        for (int n = 0; n < Velunor::ChannelCount; ++n)
            w.display(n)->display(QStringLiteral("23.5"));

        w.SetDisplayTempEnable(devices);
        for (int n = 0; n < Velunor::ChannelCount; ++n) {
            QCOMPARE(enabledInItself(w.channelButton(n)), n < enabled);
            QCOMPARE(WindowFixture::segmentColours(w.display(n)) == QStringLiteral("none"),
                     blanked);
        }
    }

    void statusShowsEachState_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("ground");
        QTest::newRow("waiting") << 0 << "ОЖИДАНИЕ" << QColor(48, 255, 25);
        QTest::newRow("request") << 1 << "ЗАПРОС" << QColor(255, 255, 0);
        QTest::newRow("no link") << 2 << "НЕТ СВЯЗИ" << QColor(255, 17, 68);
        QTest::newRow("search") << 3 << "ПОИСК..." << QColor(238, 130, 238);
    }
    void statusShowsEachState()
    {
        QFETCH(int, status);
        QFETCH(QString, text);
        QFETCH(QColor, ground);
        Velunor &w = fixture->create();
        w.ShowStatusDevice(status);
        auto *label = child<QLabel>(&w, "label_status_dev");
        QCOMPARE(label->text(), text);
        QCOMPARE(background(label), ground);
        // Unknown values leave whatever is shown.
        w.ShowStatusDevice(4);
        w.ShowStatusDevice(-1);
        QCOMPARE(label->text(), text);
        QCOMPARE(background(label), ground);
        // Shown again, as on every request of a silent device: the label is not re-polished.
        w.show();
        EventCounter polishes(QEvent::StyleChange);
        label->installEventFilter(&polishes);
        w.ShowStatusDevice(status);
        QCOMPARE(polishes.count, 0);
    }

    void channelButtonShowsItsGraphWindow()
    {
        Velunor &w = fixture->create();
        w.show();
        QVERIFY(!w.graphWindow(3)->isVisible());
        child<QGroupBox>(&w, "CurrentDisplayTempBox")->setEnabled(true);
        w.channelButton(3)->setEnabled(true);
        w.channelButton(3)->click();
        QVERIFY(w.graphWindow(3)->isVisible());
        QVERIFY(w.graphWindow(3)->isWindow());
        QVERIFY(!w.graphWindow(2)->isVisible());
    }

    void closingMainWindowEndsProgram()
    {
        Velunor &w = fixture->create();
        w.show();
        w.graphWindow(0)->show();
        w.findChild<QWidget *>(QStringLiteral("Settings"))->show();
        QTimer::singleShot(0, &w, &QWidget::close);
        QTimer stuck;
        stuck.setSingleShot(true);
        connect(&stuck, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
        stuck.start(10000);
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    void stationFilesAreDecoded()
    {
        // "Датчик" as a Windows station writes it.
        const QByteArray cp1251("\xc4\xe0\xf2\xf7\xe8\xea");
        QCOMPARE(decodeStationText(cp1251), QStringLiteral("Датчик"));
        QCOMPARE(decodeStationText(QStringLiteral("Датчик").toUtf8()), QStringLiteral("Датчик"));
    }

    // Builds without Qt's codecs read Windows files through our own table.
    void cp1251TableMatchesQtCodec()
    {
        QTextCodec *qt = QTextCodec::codecForName("windows-1251");
        QVERIFY(qt);
        for (int byte = 0; byte < 256; ++byte) {
            const QByteArray one(1, char(byte));
            QCOMPARE(fromCp1251(one), qt->toUnicode(one));
        }
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
