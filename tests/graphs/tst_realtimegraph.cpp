#include "realtimegraph.h"

#include "qcustomplot.h"

#include <QDateTime>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

namespace {

constexpr double Day = 86400;
const double Start = QDateTime(QDate(2015, 6, 1), QTime(12, 0)).toSecsSinceEpoch();

QCustomPlot *plotOf(RealTimeGraph &window)
{
    return window.findChild<QCustomPlot *>(QStringLiteral("customPlot"));
}

// Spacing of the ticks the axis draws, or 0 when they are not evenly spaced
// or not labelled as clock times.
double tickStepOf(QCPAxis *axis)
{
    QVector<double> ticks;
    QVector<QString> labels;
    axis->ticker()->generate(axis->range(), QLocale::c(), 'g', 6, ticks, nullptr, &labels);
    const QRegularExpression clock(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"));
    if (ticks.size() < 10 || !clock.match(labels.first()).hasMatch())
        return 0;
    const double step = ticks[1] - ticks[0];
    for (int i = 2; i < ticks.size(); ++i) {
        if (qAbs(ticks[i] - ticks[i - 1] - step) > 1e-6)
            return 0;
    }
    return step;
}

} // namespace

class TestRealTimeGraph : public QObject
{
    Q_OBJECT

private slots:
    void separateWindowOfItsOwner();
    void valueAxisOnlyGrows();
    void firstReadingCentresValueAxis_data();
    void firstReadingCentresValueAxis();
    void spanButtonTakesEffectWithNextReading_data();
    void spanButtonTakesEffectWithNextReading();
    void historyHolds48Hours();
    void readingWithoutKeyIsTakenNow();
    void hiddenWindowDrawsWhenShown();
};

void TestRealTimeGraph::separateWindowOfItsOwner()
{
    QWidget owner;
    auto *window = new RealTimeGraph(&owner);
    QCOMPARE(window->parentWidget(), &owner);
    QVERIFY(window->isWindow());
    QCOMPARE(window->size(), QSize(730, 520));
}

void TestRealTimeGraph::valueAxisOnlyGrows()
{
    RealTimeGraph window;
    QCPAxis *valueAxis = plotOf(window)->yAxis;

    window.AddPoint(20, Start);
    QCOMPARE(valueAxis->range(), QCPRange(10, 30));
    window.AddPoint(35, Start + 60);
    QCOMPARE(valueAxis->range(), QCPRange(10, 35));
    window.AddPoint(25, Start + 120);
    QCOMPARE(valueAxis->range(), QCPRange(10, 35));

    // Once 20 and 35 have left the history the axis still holds them.
    window.AddPoint(22, Start + 3 * Day);
    QCOMPARE(plotOf(window)->graph(0)->dataCount(), 1);
    QCOMPARE(valueAxis->range(), QCPRange(10, 35));
    QCOMPARE(plotOf(window)->yAxis2->range(), QCPRange(10, 35));
}

void TestRealTimeGraph::firstReadingCentresValueAxis_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QCPRange>("range");
    QTest::newRow("20") << 20.0 << QCPRange(10, 30);
    QTest::newRow("-10") << -10.0 << QCPRange(-15, -5);
    // An empty range is refused: the axis keeps the range enlarged to take 0 in.
    QTest::newRow("0") << 0.0 << QCPRange(0, 8);
}

void TestRealTimeGraph::firstReadingCentresValueAxis()
{
    QFETCH(double, value);
    QFETCH(QCPRange, range);
    RealTimeGraph window;
    plotOf(window)->yAxis->setRange(3, 8);

    window.AddPoint(value, Start);
    QCOMPARE(window.FirstPoint, 0);
    QCOMPARE(plotOf(window)->yAxis->range(), range);
    // Only the very first reading centres the axis.
    window.AddPoint(value, Start + 1);
    QCOMPARE(plotOf(window)->yAxis->range(), range);
}

void TestRealTimeGraph::spanButtonTakesEffectWithNextReading_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("span");
    QTest::addColumn<int>("margin");
    QTest::newRow("1h") << "Button_1h" << 3600 << 120;
    QTest::newRow("3h") << "Button_3h" << 10800 << 360;
    QTest::newRow("6h") << "Button_6h" << 21600 << 720;
    QTest::newRow("12h") << "Button_12h" << 43200 << 1440;
    QTest::newRow("24h") << "Button_24h" << 86400 << 2880;
    QTest::newRow("48h") << "Button_48h" << 172800 << 5760;
}

void TestRealTimeGraph::spanButtonTakesEffectWithNextReading()
{
    QFETCH(QString, button);
    QFETCH(int, span);
    QFETCH(int, margin);

    RealTimeGraph window;
    QCustomPlot *plot = plotOf(window);
    // Start from another span, so that every button has something to change.
    window.findChild<QPushButton *>(QStringLiteral("Button_12h"))->click();
    window.AddPoint(20, Start);
    const QCPRange before = plot->xAxis->range();

    window.findChild<QPushButton *>(button)->click();
    QCOMPARE(window.WindowSeconds, span);
    QCOMPARE(window.MarginSeconds, margin);
    QCOMPARE(plot->xAxis->range(), before);

    const double key = Start + 1000.5;
    window.AddPoint(21, key);
    QCOMPARE(plot->xAxis->range(), QCPRange(key + margin - span, key + margin));
    QCOMPARE(plot->xAxis2->range(), plot->xAxis->range());
    QCOMPARE(tickStepOf(plot->xAxis), span / 10.0);
    QCOMPARE(tickStepOf(plot->xAxis2), span / 10.0);
}

void TestRealTimeGraph::historyHolds48Hours()
{
    RealTimeGraph window;
    QCustomPlot *plot = plotOf(window);
    auto *statusBar = window.findChild<QStatusBar *>(QStringLiteral("statusBar"));
    QCOMPARE(statusBar->currentMessage(), QString());

    // A reading every 20 minutes for four days; one exactly 48 h older than the
    // newest is still held.
    const double step = 1200;
    const int held = int(2 * Day / step) + 1;
    for (int i = 0; i < 4 * Day / step; ++i) {
        const double key = Start + i * step;
        window.AddPoint(20 + i % 7, key);
        const int count = qMin(i + 1, held);
        QCOMPARE(plot->graph(0)->dataCount(), count);
        QCOMPARE(plot->graph(0)->data()->constBegin()->key, key - (count - 1) * step);
        QCOMPARE(plot->graph(1)->dataCount(), 1);
        QCOMPARE(plot->graph(1)->data()->constBegin()->key, key);
        QCOMPARE(statusBar->currentMessage(), QStringLiteral(" Total Data points: %1").arg(count));
    }
}

void TestRealTimeGraph::readingWithoutKeyIsTakenNow()
{
    RealTimeGraph window;
    const double before = QDateTime::currentMSecsSinceEpoch() / 1000.0;
    window.AddPoint(20);
    const double after = QDateTime::currentMSecsSinceEpoch() / 1000.0;
    const double key = plotOf(window)->graph(0)->data()->constBegin()->key;
    QVERIFY(key >= before && key <= after);
}

void TestRealTimeGraph::hiddenWindowDrawsWhenShown()
{
    RealTimeGraph window;
    QSignalSpy drawn(plotOf(window), &QCustomPlot::afterReplot);
    for (int i = 0; i < 5; ++i)
        window.AddPoint(20 + i, Start + i);
    QCOMPARE(drawn.count(), 0);
    window.show();
    QVERIFY(drawn.count() >= 1);
    drawn.clear();
    window.AddPoint(30, Start + 10);
    QCOMPARE(drawn.count(), 1);

    // Shown again at the same size, it still draws what came while it was hidden.
    window.hide();
    window.AddPoint(31, Start + 11);
    QCOMPARE(drawn.count(), 1);
    window.show();
    QCOMPARE(drawn.count(), 2);
    QCOMPARE(plotOf(window)->graph(0)->dataCount(), 7);
}

QTEST_MAIN(TestRealTimeGraph)
#include "tst_realtimegraph.moc"
