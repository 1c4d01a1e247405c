// The journal window over a small journal: what its filters leave, and the CSV it exports.
#include "journalfilter.h"
#include "journalmodel.h"
#include "journalwindow.h"
#include "stationcore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

namespace {
// 2026-12-15 12:00:00 UTC.
constexpr qint64 base = 1797336000;

// A window whose file question the test answers.
class AnsweredWindow : public JournalWindow
{
public:
    using JournalWindow::JournalWindow;
    QString answer;

protected:
    QString askCsvPath(const QString &) override { return answer; }
};
} // namespace

class TestJournalWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<StationCore> core;
    std::unique_ptr<AnsweredWindow> window;

    // Filters on a channel, a kind of event and, unless `from` is -1, the two minutes from `from`
    // seconds after base on; then what the table shows, top down, as "seconds event".
    QString shown(const QString &channel, const QString &event, qint64 from)
    {
        auto *channels = window->findChild<QComboBox *>(QStringLiteral("channelBox"));
        channels->setCurrentIndex(channels->findText(channel));
        auto *events = window->findChild<QComboBox *>(QStringLiteral("eventBox"));
        events->setCurrentIndex(events->findData(event));
        const auto edit = [this](const char *name) {
            return window->findChild<QDateTimeEdit *>(QLatin1String(name));
        };
        edit("fromEdit")->setDateTime(QDateTime::fromSecsSinceEpoch(base + from));
        edit("toEdit")->setDateTime(QDateTime::fromSecsSinceEpoch(base + from + 120));
        window->findChild<QCheckBox *>(QStringLiteral("periodBox"))->setChecked(from >= 0);
        QStringList rows;
        const JournalFilter &table = window->shown();
        for (int row = 0; row < table.rowCount(); ++row) {
            const QModelIndex index = table.index(row, 0);
            rows << QStringLiteral("%1 %2")
                        .arg(index.data(JournalModel::TimeRole).toLongLong() - base)
                        .arg(index.data(JournalModel::EventRole).toString());
        }
        return rows.join(QStringLiteral(", "));
    }

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
        QFile file(dir.filePath(QStringLiteral("journal-2026-12.txt")));
        const QByteArray journal =
            "1797336000\talarm_on\tT2\tПечь\t65\tвыше верхнего порога 60\n"
            "1797336060\tlink_lost\t7\t\t\t21 запрос без ответа (порт /dev/ttyUSB0, 9600 бит/с)\n"
            "1797336120\talarm_on\tT3\t=1+2\t-3.5\tниже нижнего порога 2\n"
            "1797336180\talarm_reset\tT2,T3\tПечь, =1+2\t\tв тревоге: T2, T3; звук выключен\n"
            "1797336240\talarm_off\tT2\tПечь\tnan\tдлилась 00:04:00\n"
            "1797336250\talarm_o";
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(journal) == journal.size());
    }
    void init()
    {
        core = std::make_unique<StationCore>(StationTimer::Mode::Held);
        core->journal().setClock([] { return base + 3600; });
        core->setWorkingDirectory(dir.path() + QLatin1Char('/'));
        window = std::make_unique<AnsweredWindow>(*core);
        window->show();
    }
    void cleanup()
    {
        window.reset();
        core.reset();
    }

    void filters_data()
    {
        QTest::addColumn<QString>("channel");
        QTest::addColumn<QString>("event");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<QString>("rows");
        const QString all = QStringLiteral("Все каналы");
        QTest::newRow("all, newest first, the cut line left out")
            << all << QString() << qint64(-1)
            << "240 alarm_off, 180 alarm_reset, 120 alarm_on, 60 link_lost, 0 alarm_on";
        QTest::newRow("a channel, with the reset it was in")
            << "T2" << QString() << qint64(-1) << "240 alarm_off, 180 alarm_reset, 0 alarm_on";
        QTest::newRow("a channel and a kind of event")
            << "T3"
            << "alarm_reset" << qint64(-1) << "180 alarm_reset";
        QTest::newRow("a period") << all << QString() << qint64(60)
                                  << "180 alarm_reset, 120 alarm_on, 60 link_lost";
    }
    void filters()
    {
        QFETCH(QString, channel);
        QFETCH(QString, event);
        QFETCH(qint64, from);
        QFETCH(QString, rows);
        QCOMPARE(shown(channel, event, from), rows);
    }

    void exportWritesWhatIsShown()
    {
        shown(QStringLiteral("Все каналы"), QString(), 120);
        window->answer = dir.filePath(QStringLiteral("shown.csv"));
        window->exportCsv();
        QFile file(window->answer);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
                 QByteArray("\xEF\xBB\xBF"
                            "Время,Событие,Канал,Имя,Значение,Подробности\r\n"
                            "2026-12-15 12:04:00,Конец тревоги,T2,Печь,'---,длилась 00:04:00\r\n"
                            "2026-12-15 12:03:00,Сброс тревоги,\"T2,T3\",\"Печь, =1+2\",,"
                            "\"в тревоге: T2, T3; звук выключен\"\r\n"
                            "2026-12-15 12:02:00,Тревога,T3,'=1+2,-3.5,ниже нижнего порога 2\r\n"));
        QVERIFY(window->statusBar()->currentMessage().contains(window->answer));

        window->answer = dir.filePath(QStringLiteral("missing/shown.csv"));
        window->exportCsv();
        QVERIFY(window->statusBar()->currentMessage().startsWith(
            QStringLiteral("Не удалось записать файл %1").arg(window->answer)));
    }
};

QTEST_MAIN(TestJournalWindow)
#include "tst_journalwindow.moc"
