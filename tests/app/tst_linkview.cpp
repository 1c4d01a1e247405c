// What the main window shows of its core's device link: displays, graphs, the status label, the
// port controls and the link's messages in the status bar. Requests go out on a pseudo-terminal;
// the test hands the devices' answers to the receive path.
#include "bytes.h"
#include "modbus.h"
#include "ptypair.h"
#include "windowfixture.h"

#include <QHelpEvent>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolTip>

namespace {
QByteArray answerOf(quint8 address, qint16 first, qint16 second)
{
    return Modbus::withCrc(bytes(
        {address, 3, 4, quint16(first) >> 8, first & 0xFF, quint16(second) >> 8, second & 0xFF}));
}

} // namespace

class TestLinkView : public QObject
{
    Q_OBJECT

    std::unique_ptr<WindowFixture> fixture;
    std::unique_ptr<PtyPair> line;
    Velunor *window = nullptr;
    int probed = 0;

    DeviceLink &link() { return window->station().link(); }
    template<typename T = QWidget>
    T *child(const char *name)
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    QString message() { return window->statusBar()->currentMessage(); }
    QString rate() { return child<QLabel>("linkAnswerRate")->text(); }

    void open()
    {
        child<QLineEdit>("lePort")->setText(line->slavePath());
        window->on_pbPortOpen_clicked();
        QVERIFY(link().isOpen());
    }
    // Period ticks until a cycle starts, and its first request.
    void poll()
    {
        for (int i = 0; i < 10 && !link().isPolling(); ++i)
            link().SendRequestReadTemperature();
        QVERIFY(link().isPolling());
        link().ProccessCommunication();
    }
    // Ticks until the cycle is over, the device asked now never answering.
    void giveUp()
    {
        for (int i = 0; i < 30 && link().isPolling(); ++i)
            link().ProccessCommunication();
        QVERIFY(!link().isPolling());
    }
    // Ticks the search on to `address`; the devices in `found` answer their probes.
    void searchTo(int address, const QList<quint8> &found)
    {
        while (link().isSearching() && probed < address) {
            link().ProccessCommunication();
            if (link().isSearching() && found.contains(quint8(probed)))
                link().ProcessAnswer(Modbus::withCrc(bytes({probed, 3, 2, 0, 0})));
        }
    }
    QString toolTip(QWidget *widget)
    {
        // A hidden tip keeps its text for a while: another text tells a tip not shown again.
        QToolTip::showText(widget->mapToGlobal(QPoint(2, 2)), QStringLiteral("-"), widget);
        QHelpEvent rest(QEvent::ToolTip, QPoint(2, 2), widget->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(widget, &rest);
        return QToolTip::text();
    }

private slots:
    void init()
    {
        fixture = std::make_unique<WindowFixture>();
        line = std::make_unique<PtyPair>();
        window = &fixture->create();
        probed = 0;
        connect(&link(), &DeviceLink::searchProgress, this, [this](int a) { probed = a; });
    }
    void cleanup() { fixture.reset(); }

    void portControls()
    {
        child<QLineEdit>("lePort")->setText(line->slavePath());
        for (bool open : {true, false}) {
            window->on_pbPortOpen_clicked();
            QCOMPARE(link().isOpen(), open);
            QCOMPARE(child<QPushButton>("pbPortOpen")->text(), open ? "Close" : "Open");
            QCOMPARE(child("lePort")->isEnabled(), !open);
            QCOMPARE(child("cbBaud")->isEnabled(), !open);
            for (const char *name : {"CurrentDisplayTempBox", "StatusDevBox", "SearchDevicesBox",
                                     "StartLog", "StopLog"})
                QVERIFY2(child(name)->isEnabled() == open, name);
        }
    }

    void failedOpenChangesNothingOnScreen_data()
    {
        QTest::addColumn<QString>("port");
        QTest::newRow("empty") << QString();
        QTest::newRow("missing") << QStringLiteral("/dev/grelvix-no-such-port");
    }
    void failedOpenChangesNothingOnScreen()
    {
        QFETCH(QString, port);
        child<QLineEdit>("lePort")->setText(port);
        window->show();
        const QImage before = window->grab().toImage();
        window->on_pbPortOpen_clicked();
        QVERIFY(!link().isOpen());
        QCOMPARE(window->grab().toImage(), before);
        QVERIFY(!window->station().findChild<StationTimer *>("TimerRequest")->isActive());
    }

    void shows_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("points");
        const auto row = [](const char *name, const char *script, const char *status, QColor colour,
                            const char *shown, int points) {
            QTest::newRow(name) << script << status << colour << shown << points;
        };
        const QColor green(48, 255, 25);
        // Steps: a request, its answer, one out of range; the device given up; a search.
        row("open", "", "ОЖИДАНИЕ", green, " | ", 0);
        row("asking", "q", "ЗАПРОС", QColor(255, 255, 0), " | ", 0);
        row("reading", "a", "ОЖИДАНИЕ", green, "23.5|-10.0", 1);
        // Kept by the core, but neither shown nor plotted.
        row("out of range", "r", "ОЖИДАНИЕ", green, "---|---", 0);
        row("given up", "ag", "НЕТ СВЯЗИ", QColor(255, 17, 68), "---|---", 1);
        row("search", "s", "ПОИСК...", QColor(238, 130, 238), " | ", 0);
    }
    void shows()
    {
        QFETCH(QString, script);
        QFETCH(QString, shown);
        QFETCH(int, points);
        open();
        link().setDevices({5});
        for (QChar step : script) {
            if (step == QLatin1Char('s'))
                window->on_SearchDevice_pushButton_clicked();
            else
                poll();
            if (step == QLatin1Char('a') || step == QLatin1Char('r'))
                link().ProcessAnswer(step == 'a' ? answerOf(5, 235, -100)
                                                 : answerOf(5, 1250, -550));
            if (step == QLatin1Char('g'))
                giveUp();
        }
        auto *label = child<QLabel>("label_status_dev");
        QTEST(label->text(), "status");
        QTEST(label->grab().toImage().pixelColor(2, 2), "colour");
        for (int channel : {0, 1}) {
            const QString text = shown.split(QLatin1Char('|'))[channel];
            QVERIFY2(WindowFixture::displays(window->display(channel), text), qPrintable(text));
            QCOMPARE(WindowFixture::graphPoints(window->graphWindow(channel)), points);
        }
        QCOMPARE(WindowFixture::graphPoints(window->graphWindow(2)), 0);
    }

    void searchProgress_data()
    {
        QTest::addColumn<QList<quint8>>("found");
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("buttons");
        const QList<quint8> two{5, 9};
        QTest::newRow("first") << two << 2 << "Поиск: адрес 2 из 254, найдено 0" << 4;
        QTest::newRow("middle") << two << 37 << "Поиск: адрес 37 из 254, найдено 2" << 4;
        QTest::newRow("last") << two << 254 << "Поиск: адрес 254 из 254, найдено 2" << 4;
        // More devices than the window shows: no channel button is enabled.
        QTest::newRow("seven") << QList<quint8>{2, 3, 4, 6, 8, 10, 12} << 10
                               << "Поиск: адрес 10 из 254, найдено 5" << 0;
    }
    void searchProgress()
    {
        QFETCH(QList<quint8>, found);
        QFETCH(int, address);
        QFETCH(int, buttons);
        open();
        const QString earlier = QStringLiteral("Файл Monitor.ini повреждён");
        window->statusBar()->showMessage(earlier);
        window->on_SearchDevice_pushButton_clicked();
        searchTo(address, found);
        QCOMPARE(probed, address);
        QTEST(message(), "shown");
        QCOMPARE(rate(), QStringLiteral("Ответы —"));
        searchTo(255, found);
        QVERIFY(!link().isSearching());
        QCOMPARE(message(), earlier); // the message the search covered is back
        QCOMPARE(child<QLCDNumber>("NumberOfDevices")->intValue(), found.size());
        for (int n = 0; n < Velunor::ChannelCount; ++n)
            QCOMPARE(window->channelButton(n)->isEnabled(), n < buttons);
    }

    void silentDevice()
    {
        open();
        link().setDevices({5, 7});
        poll();
        link().ProcessAnswer(answerOf(5, 235, -100));
        giveUp();
        QCOMPARE(message(), QStringLiteral("Нет связи с устройством 7: 21 запрос без ответа "
                                           "(порт %1, 9600 бит/с)")
                                .arg(line->slavePath()));
        QCOMPARE(rate(), QStringLiteral("Ответы 4 %"));

        // Address, requests, answers, check failures, no answer; on both widgets.
        window->show();
        const QString table = toolTip(child("linkAnswerRate"));
        for (QString row : {"5|1|100 %|0|0", "7|21|0 %|0|21"}) {
            row = "<td align=\"right\">" + row.replace('|', "</td><td align=\"right\">");
            QVERIFY2(table.contains(row), qPrintable(row));
        }
        QCOMPARE(toolTip(child("label_status_dev")), table);

        // The device answers again: its message goes.
        poll();
        link().ProcessAnswer(answerOf(5, 235, -100));
        link().ProccessCommunication();
        link().ProcessAnswer(answerOf(7, 235, -100));
        QCOMPARE(message(), QString());
    }
};

QTEST_MAIN(TestLinkView)
#include "tst_linkview.moc"
