#include "minmaxgraph.h"
#include "minmaxpyramid.h"

#include <QTest>

#include <cmath>
#include <random>

namespace {

const double Gap = std::nan("");
const QColor Line(Qt::blue);
const QColor Fill(240, 255, 200);

enum class Build { Reference, Reduced, Appended };

// A random walk over the keys 0, 1, 2 ... with steps up to `step`.
QList<QPointF> walk(int count, double step, unsigned seed = 1)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> move(-step, step);
    QList<QPointF> points;
    double value = 0;
    for (int i = 0; i < count; ++i) {
        value += move(random);
        points.append({double(i), value});
    }
    return points;
}

// The plot as QCustomPlot draws every point (Reference), or as MinMaxGraph draws it from its
// data set at once (Reduced) or gathered as the real-time window gathers readings (Appended).
// Points older than `history` before the newest are dropped, unless it is 0.
QImage render(const QList<QPointF> &points, const QCPRange &keys, bool filled, Build build,
              double history, QRect *inside = nullptr)
{
    QCustomPlot plot;
    QCPGraph *graph = build == Build::Reference ? plot.addGraph() : MinMaxGraph::add(&plot);
    graph->setAdaptiveSampling(build != Build::Reference);
    // Sharp pixels compare by place; antialiasing only shades them by how many segments
    // overlap. No grid either, so every pixel is background, fill or line.
    graph->setAntialiased(false);
    plot.xAxis->grid()->setVisible(false);
    plot.yAxis->grid()->setVisible(false);
    graph->setPen(QPen(Line));
    if (filled) {
        graph->setBrush(QBrush(Fill));
        graph->setAntialiasedFill(false);
    }
    QCPRange values(0, 0);
    QVector<QCPGraphData> all;
    for (const QPointF &point : points) {
        if (!std::isnan(point.y()))
            values.expand(point.y());
        const double oldest = history ? point.x() - history : -1e300;
        if (build == Build::Appended) {
            static_cast<MinMaxGraph *>(graph)->addPoint(point.x(), point.y());
            static_cast<MinMaxGraph *>(graph)->removePointsBefore(oldest);
        } else {
            graph->addData(point.x(), point.y());
            graph->data()->removeBefore(oldest);
        }
        all.append(QCPGraphData(point.x(), point.y()));
    }
    if (build == Build::Reduced)
        static_cast<MinMaxGraph *>(graph)->setPoints(all, true);
    plot.xAxis->setRange(keys);
    plot.yAxis->setRange(values.lower - 1, values.upper + 1);
    const QImage image = plot.toPixmap(400, 300).toImage();
    if (inside)
        *inside = plot.axisRect()->rect().adjusted(1, 1, -1, -1);
    return image;
}

// Background, fill or line: the plots here draw sharp pixels of these colours only.
int kind(QRgb pixel)
{
    return pixel == Line.rgb() ? 2 : pixel == Fill.rgb() ? 1 : 0;
}

// Line or fill pixels of `a` inside the axis rect with nothing to match them within one pixel
// in `b`: a line pixel needs a line pixel, a fill pixel a fill or line one, as the fill's edge
// runs under the line. Background is left out: a line moved by less than a pixel may close a
// one-pixel hole.
int strays(const QImage &a, const QImage &b, const QRect &inside)
{
    int count = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const int wanted = kind(a.pixel(x, y));
            bool near = wanted == 0;
            for (int dy = -1; dy <= 1 && !near; ++dy) {
                for (int dx = -1; dx <= 1 && !near; ++dx)
                    near = kind(b.pixel(x + dx, y + dy)) >= wanted;
            }
            count += !near;
        }
    }
    return count;
}

// Whether `found` tells the truth about the points [first, last): the gap, the extremes, and an
// order that some minimum and some maximum of them have.
bool truthful(const MinMaxPyramid::Extremes &found, const QCPGraphData *first,
              const QCPGraphData *last)
{
    if (std::any_of(first, last, [](auto &p) { return MinMaxPyramid::isGap(p.value); }))
        return found.hasGap;
    const auto [low, high] =
        std::minmax_element(first, last, [](auto &a, auto &b) { return a.value < b.value; });
    if (found.hasGap || found.minimum != low->value || found.maximum != high->value)
        return false;
    const auto earliest = [&](double v) {
        return std::find_if(first, last, [v](auto &p) { return p.value == v; });
    };
    const auto latest = [&](double v) {
        const QCPGraphData *at = last - 1;
        while (at->value != v)
            --at;
        return at;
    };
    return found.minimumFirst ? earliest(found.minimum) <= latest(found.maximum)
                              : earliest(found.maximum) < latest(found.minimum);
}

} // namespace

class TestMinMaxGraph : public QObject
{
    Q_OBJECT

private slots:
    void drawsAsEveryPoint_data();
    void drawsAsEveryPoint();
    void summaryFollowsAppends_data();
    void summaryFollowsAppends();
};

void TestMinMaxGraph::drawsAsEveryPoint_data()
{
    QTest::addColumn<QList<QPointF>>("points");
    QTest::addColumn<QCPRange>("keys");
    QTest::addColumn<bool>("filled");
    QTest::addColumn<Build>("build");

    const QList<QPointF> noise = walk(40000, 1);
    const QCPRange all(0, 39999);
    QTest::newRow("noise") << noise << all << false << Build::Reduced;
    QTest::newRow("noise filled") << noise << all << true << Build::Reduced;

    QList<QPointF> spikes = walk(40000, 0.01, 2);
    std::mt19937 random(3);
    for (int i = 0; i < 60; ++i)
        spikes[int(random() % 40000)].setY(i % 2 ? 30 : -30);
    QTest::newRow("spikes") << spikes << all << false << Build::Reduced;
    QTest::newRow("spikes filled") << spikes << all << true << Build::Reduced;

    QList<QPointF> gaps = noise;
    gaps.first().setY(Gap);
    gaps.last().setY(Gap);
    for (int i = 700; i < 40000; i += 1511)
        gaps[i].setY(Gap);
    for (int i = 20000; i < 23000; ++i)
        gaps[i].setY(Gap);
    QTest::newRow("gaps") << gaps << all << false << Build::Reduced;
    QTest::newRow("gaps filled") << gaps << all << true << Build::Reduced;

    QTest::newRow("flat") << walk(40000, 0) << all << true << Build::Reduced;
    QTest::newRow("a point a column")
        << walk(350, 10) << QCPRange(0, 349) << false << Build::Reduced;
    QTest::newRow("a few points a column")
        << walk(2000, 3) << QCPRange(0, 1999) << true << Build::Reduced;
    QTest::newRow("range cuts columns")
        << noise << QCPRange(1234.567, 31234.891) << true << Build::Reduced;
    // Readings of a clock set back go in among earlier ones.
    QList<QPointF> appended = noise;
    for (int i = 30000; i < 30500; ++i)
        appended[i] = QPointF(29000.5, appended[i].y() + 80);
    QTest::newRow("appended") << appended << all << true << Build::Appended;
}

void TestMinMaxGraph::drawsAsEveryPoint()
{
    QFETCH(QList<QPointF>, points);
    QFETCH(QCPRange, keys);
    QFETCH(bool, filled);
    QFETCH(Build, build);

    const double history = build == Build::Appended ? 30000 : 0;
    QRect inside;
    const QImage expected = render(points, keys, filled, Build::Reference, history, &inside);
    const QImage drawn = render(points, keys, filled, build, history);
    QCOMPARE(strays(expected, drawn, inside), 0);
    QCOMPARE(strays(drawn, expected, inside), 0);
}

void TestMinMaxGraph::summaryFollowsAppends_data()
{
    QTest::addColumn<int>("burst");   // points appended at once
    QTest::addColumn<int>("history"); // points kept, the oldest dropped beyond
    QTest::addColumn<int>("gapEvery");

    QTest::newRow("one by one") << 1 << 0 << 0;
    QTest::newRow("in bursts") << 37 << 0 << 0;
    QTest::newRow("oldest dropped") << 1 << 200 << 0;
    QTest::newRow("bursts, oldest dropped") << 23 << 150 << 0;
    QTest::newRow("with gaps") << 5 << 300 << 97;
    QTest::newRow("with gaps, none kept long") << 3 << 40 << 11;
}

void TestMinMaxGraph::summaryFollowsAppends()
{
    QFETCH(int, burst);
    QFETCH(int, history);
    QFETCH(int, gapEvery);

    std::mt19937 random(burst);
    std::uniform_int_distribution<int> reading(-50, 50);
    QVector<QCPGraphData> points;
    MinMaxPyramid summary;
    for (int round = 0; round < 700 / burst; ++round) {
        for (int i = 0; i < burst; ++i) {
            const bool gap = gapEvery && random() % gapEvery == 0;
            points.append(QCPGraphData(points.size(), gap ? Gap : reading(random)));
        }
        summary.extend(points.constData(), points.size());
        if (history && points.size() > history) {
            const int dropped = int(points.size()) - history;
            points.remove(0, dropped);
            summary.dropFront(dropped);
        }

        QCOMPARE(summary.size(), points.size());
        if (round * burst % 20 >= burst)
            continue;
        for (qsizetype begin = 0; begin < points.size(); begin += 3) {
            for (qsizetype end = begin + 1; end <= points.size(); end += 7) {
                const MinMaxPyramid::Extremes found = summary.find(points.constData(), begin, end);
                QVERIFY2(truthful(found, points.constData() + begin, points.constData() + end),
                         qPrintable(QStringLiteral("points %1 to %2").arg(begin).arg(end)));
            }
        }
    }
}

QTEST_MAIN(TestMinMaxGraph)
#include "tst_minmaxgraph.moc"
