// What the status bar tells the operator: the search's progress, the answer rate, a silent
// device and the per-device table. Requests go out on a pseudo-terminal; answers are handed to
// the receive path.
#include "bytes.h"
#include "linkstatusbar.h"
#include "modbus.h"
#include "stationfixture.h"

#include <QHelpEvent>
#include <QStatusBar>
#include <QToolTip>

class TestOperatorView : public QObject
{
    Q_OBJECT

    std::unique_ptr<PtyPair> line;
    std::unique_ptr<StationFixture> fixture;

    Velunor &w() { return *fixture->station; }
    QString message() { return w().statusBar()->currentMessage(); }
    QString rate() { return w().LinkStatus->rateLabel()->text(); }

    void answer(quint8 address)
    {
        w().ProcessAnswer(Modbus::withCrc(bytes({address, 0x03, 0x04, 0x00, 0xEB, 0x00, 0x64})));
    }

    // Ticks the search on to `address`, the devices at `found` answering their probes.
    void searchTo(int address, std::initializer_list<quint8> found)
    {
        const auto searching = [&] { return w().SearchActive && w().SearchAddress < address; };
        for (int i = 0; i < 1000 && searching(); ++i) {
            fixture->tick();
            for (quint8 a : found) {
                if (w().SearchActive && w().SearchAddress == a)
                    w().ProcessAnswer(Modbus::withCrc(bytes({a, 0x03, 0x02, 0x00, 0x00})));
            }
        }
        QVERIFY2(!searching(), "the search did not get there in 1000 ticks");
    }

    // Polls device 1 of {5, 7} until the station gives it up; 5 answers.
    void cycleWithSevenSilent()
    {
        w().PollIndex = 0;
        w().PollActive = true;
        fixture->tick();
        answer(5);
        for (int i = 0; i < 100 && w().PollActive; ++i)
            fixture->tick();
        QVERIFY2(!w().PollActive, "the cycle did not end in 100 ticks");
    }

private slots:
    void init()
    {
        line = std::make_unique<PtyPair>();
        fixture = std::make_unique<StationFixture>();
        fixture->create();
        QVERIFY(fixture->open(line->slavePath()));
    }
    void cleanup()
    {
        fixture.reset();
        line.reset();
    }

    void searchShowsItsProgress_data()
    {
        QTest::addColumn<int>("address");
        QTest::addColumn<QString>("shown");
        QTest::newRow("first") << 2 << "Поиск: адрес 2 из 254, найдено 0";
        QTest::newRow("middle") << 37 << "Поиск: адрес 37 из 254, найдено 2";
        QTest::newRow("last") << 254 << "Поиск: адрес 254 из 254, найдено 2";
    }
    void searchShowsItsProgress()
    {
        QFETCH(int, address);
        const QString earlier = QStringLiteral("Файл Monitor.ini повреждён");
        w().statusBar()->showMessage(earlier);
        w().on_SearchDevice_pushButton_clicked();
        searchTo(address, {5, 9});
        QCOMPARE(int(w().SearchAddress), address);
        QTEST(message(), "shown");
        QCOMPARE(rate(), QStringLiteral("Ответы —"));

        searchTo(255, {5, 9});
        QVERIFY(!w().SearchActive);
        QCOMPARE(w().DeviceCount, 2);
        // The message the search covered is back.
        QCOMPARE(message(), earlier);
    }

    void silentDeviceIsReportedOncePerSilence()
    {
        w().DeviceAddress[0] = 5;
        w().DeviceAddress[1] = 7;
        w().DeviceCount = 2;

        cycleWithSevenSilent();
        QCOMPARE(message(), QStringLiteral("Нет связи с устройством 7: 21 запрос без ответа "
                                           "(порт %1, 9600 бит/с)")
                                .arg(line->slavePath()));
        QCOMPARE(fixture->status(), QStringLiteral("НЕТ СВЯЗИ"));
        QCOMPARE(rate(), QStringLiteral("Ответы 4 %"));

        w().statusBar()->clearMessage();
        cycleWithSevenSilent();
        QCOMPARE(message(), QString());

        // A garbled answer, then the device is back; the next silence is a new one.
        w().PollIndex = 1;
        w().PollActive = true;
        fixture->tick();
        w().ProcessAnswer(bytes({0x07, 0x03, 0x04, 0x00}));
        fixture->tick();
        answer(7);
        cycleWithSevenSilent();
        QVERIFY(message().startsWith(QStringLiteral("Нет связи с устройством 7:")));

        // Address, requests, answers, check failures, no answer.
        const QString table = w().LinkStatus->table();
        for (const char *row : {"5|3|100 %|0|0", "7|65|1 %|1|64"}) {
            const QString cells =
                QString::fromUtf8(row).replace(QLatin1Char('|'), "</td><td align=\"right\">");
            QVERIFY2(table.contains(QStringLiteral("<td align=\"right\">") + cells), row);
        }
        w().show();
        for (QWidget *widget : {static_cast<QWidget *>(w().LinkStatus->rateLabel()),
                                w().findChild<QWidget *>(QStringLiteral("label_status_dev"))}) {
            QToolTip::hideText();
            QHelpEvent rest(QEvent::ToolTip, QPoint(2, 2), widget->mapToGlobal(QPoint(2, 2)));
            QCoreApplication::sendEvent(widget, &rest);
            QCOMPARE(QToolTip::text(), table);
        }
    }
};

QTEST_MAIN(TestOperatorView)
#include "tst_operatorview.moc"
