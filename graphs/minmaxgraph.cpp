#include "minmaxgraph.h"

#include <algorithm>
#include <cmath>

namespace {

// A container that takes over a vector of points instead of copying it.
class AdoptedPoints : public QCPGraphDataContainer
{
public:
    explicit AdoptedPoints(QVector<QCPGraphData> &&points) { mData = std::move(points); }
};

// First point at or after `boundary` in the sorted points [first + 1, last), else `last`.
// Galloping from where the column would end if it held `guess` points, as the one before did:
// evenly spaced points take two or three looks, all close to each other.
qsizetype columnEnd(const QCPGraphData *points, qsizetype first, qsizetype last, double boundary,
                    qsizetype guess)
{
    qsizetype low = first; // before the answer
    qsizetype high = std::clamp(first + guess, first + 1, last);
    qsizetype step = 1;
    if (high < last && points[high].key < boundary) {
        do {
            low = high;
            high = std::min(last, low + step);
            step *= 2;
        } while (high < last && points[high].key < boundary);
    } else {
        low = std::max(first, high - 1);
        while (low > first && points[low].key >= boundary) {
            high = low;
            step *= 2;
            low = std::max(first, high - step);
        }
    }
    return std::lower_bound(points + low + 1, points + high, boundary,
                            [](const QCPGraphData &point, double key) { return point.key < key; }) -
           points;
}

// The pixel column holding a key, in keys: where it ends, and where its extremes are drawn.
// They go on the middle of the pixel as painted, which QCustomPlot shifts by half a pixel when
// it antialiases: a stroke between them then covers the column as those between all its points
// would. A stroke across pixels would paint both pale.
struct Column
{
    double end;
    double middle;
};

// Linear axes are worked out here, the axis itself answers for logarithmic ones.
class PixelColumns
{
public:
    PixelColumns(const QCPAxis *keyAxis, bool antialiased)
        : axis(keyAxis)
        , lower(axis->range().lower)
        , origin(axis->coordToPixel(lower))
        , scale((axis->coordToPixel(axis->range().upper) - origin) / axis->range().size())
        , linear(axis->scaleType() == QCPAxis::stLinear && qIsFinite(scale) && scale != 0)
        , forward((axis->orientation() == Qt::Horizontal) != axis->rangeReversed())
        , centre(antialiased ? 0 : 0.5)
    {}

    Column holding(double key) const
    {
        const double pixel =
            std::floor(linear ? origin + (key - lower) * scale : axis->coordToPixel(key));
        return Column{toKey(forward ? pixel + 1 : pixel), toKey(pixel + centre)};
    }

private:
    double toKey(double pixel) const
    {
        return linear ? lower + (pixel - origin) / scale : axis->pixelToCoord(pixel);
    }

    const QCPAxis *axis;
    double lower;
    double origin;
    double scale;
    bool linear;
    bool forward; // whether pixels grow with keys
    double centre;
};

// Points of one pixel column closer together than this are drawn as they are.
constexpr qsizetype FewPoints = 4;
// Points of the polygons a fill is drawn in.
constexpr qsizetype SlicePoints = 64;

} // namespace

MinMaxGraph::MinMaxGraph(QCPAxis *keyAxis, QCPAxis *valueAxis)
    : QCPGraph(keyAxis, valueAxis)
{
    summary();
}

MinMaxGraph *MinMaxGraph::add(QCustomPlot *plot)
{
    // The plot takes ownership.
    auto *graph = new MinMaxGraph(plot->xAxis, plot->yAxis);
    graph->setName(QStringLiteral("Graph %1").arg(plot->graphCount()));
    return graph;
}

void MinMaxGraph::setPoints(QVector<QCPGraphData> points, bool sorted)
{
    if (!sorted)
        std::stable_sort(points.begin(), points.end(), qcpLessThanSortKey<QCPGraphData>);
    setData(QSharedPointer<QCPGraphDataContainer>(new AdoptedPoints(std::move(points))));
    summary();
}

void MinMaxGraph::clearPoints()
{
    setData(QSharedPointer<QCPGraphDataContainer>::create());
    summary();
}

void MinMaxGraph::addPoint(double key, double value)
{
    const bool inStep = summaryInStep();
    const bool appends = mDataContainer->isEmpty() || key >= (mDataContainer->constEnd() - 1)->key;
    mDataContainer->add(QCPGraphData(key, value));
    if (inStep && appends)
        pyramid.extend(points(), mDataContainer->size());
    else
        stale = true;
}

void MinMaxGraph::removePointsBefore(double key)
{
    const bool inStep = summaryInStep();
    const int before = mDataContainer->size();
    mDataContainer->removeBefore(key);
    if (inStep)
        pyramid.dropFront(before - mDataContainer->size());
}

const QCPGraphData *MinMaxGraph::points() const
{
    return mDataContainer->isEmpty() ? nullptr : &*mDataContainer->constBegin();
}

bool MinMaxGraph::summaryInStep() const
{
    return !stale && summarized == mDataContainer.data() &&
           pyramid.size() == mDataContainer->size();
}

const MinMaxPyramid &MinMaxGraph::summary() const
{
    if (!summaryInStep()) {
        pyramid.rebuild(points(), mDataContainer->size());
        summarized = mDataContainer.data();
        stale = false;
    }
    return pyramid;
}

QCPRange MinMaxGraph::getValueRange(bool &foundRange, QCP::SignDomain inSignDomain,
                                    const QCPRange &inKeyRange) const
{
    if (inSignDomain == QCP::sdBoth && inKeyRange == QCPRange() && !mDataContainer->isEmpty()) {
        const MinMaxPyramid::Extremes all = summary().find(points(), 0, mDataContainer->size());
        if (!all.hasGap) {
            foundRange = true;
            return QCPRange(all.minimum, all.maximum);
        }
    }
    return QCPGraph::getValueRange(foundRange, inSignDomain, inKeyRange);
}

void MinMaxGraph::getOptimizedLineData(QVector<QCPGraphData> *lineData,
                                       const QCPGraphDataContainer::const_iterator &begin,
                                       const QCPGraphDataContainer::const_iterator &end) const
{
    const QCPAxis *keyAxis = mKeyAxis.data();
    if (!lineData || !keyAxis || !mAdaptiveSampling || begin == end) {
        QCPGraph::getOptimizedLineData(lineData, begin, end);
        return;
    }
    qsizetype first = begin - mDataContainer->constBegin();
    const qsizetype last = end - mDataContainer->constBegin();
    const double pixels =
        qAbs(keyAxis->coordToPixel((end - 1)->key) - keyAxis->coordToPixel(begin->key));
    lineData->clear();
    if (!(double(last - first) > FewPoints * (pixels + 2))) {
        lineData->resize(last - first);
        std::copy(begin, end, lineData->begin());
        return;
    }

    summary();
    lineData->reserve(qsizetype(FewPoints * (pixels + 2)));
    const PixelColumns columns(keyAxis, linesAntialiased());
    qsizetype guess = 1;
    while (first < last) {
        // What the next column's end needs is read from memory while this one is worked on.
        pyramid.prefetch(points(), first + 2 * guess, guess);
        const Column column = columns.holding(points()[first].key);
        const qsizetype next = columnEnd(points(), first, last, column.end, guess);
        appendColumn(lineData, first, next, column.middle);
        guess = next - first;
        first = next;
    }
}

void MinMaxGraph::appendColumn(QVector<QCPGraphData> *lineData, qsizetype begin, qsizetype end,
                               double middle) const
{
    if (end - begin <= FewPoints) {
        for (qsizetype i = begin; i < end; ++i)
            lineData->append(points()[i]);
        return;
    }
    const MinMaxPyramid::Extremes extremes = pyramid.find(points(), begin, end);
    if (extremes.hasGap)
        appendColumnWithGaps(lineData, begin, end);
    else
        appendExtremes(lineData, begin, end, extremes, middle, middle);
}

// Rare: QCustomPlot breaks the line at every NaN, so each stretch between gaps keeps its ends,
// and its extremes go a third and two thirds along it.
void MinMaxGraph::appendColumnWithGaps(QVector<QCPGraphData> *lineData, qsizetype begin,
                                       qsizetype end) const
{
    const auto appendStretch = [&](qsizetype from, qsizetype to) {
        const double first = points()[from].key;
        const double width = points()[to - 1].key - first;
        appendExtremes(lineData, from, to, pyramid.find(points(), from, to), first + width / 3,
                       first + width * 2 / 3);
    };
    qsizetype stretch = -1;
    for (qsizetype i = begin; i < end; ++i) {
        if (!MinMaxPyramid::isGap(points()[i].value)) {
            if (stretch < 0)
                stretch = i;
            continue;
        }
        if (stretch >= 0)
            appendStretch(stretch, i);
        stretch = -1;
        if (lineData->isEmpty() || !MinMaxPyramid::isGap(lineData->constLast().value))
            lineData->append(points()[i]);
    }
    if (stretch >= 0)
        appendStretch(stretch, end);
}

// First and last point of [begin, end) with the extremes between them in their order, at the
// keys given: within a pixel column, where exactly does not show.
void MinMaxGraph::appendExtremes(QVector<QCPGraphData> *lineData, qsizetype begin, qsizetype end,
                                 const MinMaxPyramid::Extremes &extremes, double earlierKey,
                                 double laterKey) const
{
    const QCPGraphData &first = points()[begin];
    const QCPGraphData &last = points()[end - 1];
    const double earlier = extremes.minimumFirst ? extremes.minimum : extremes.maximum;
    const double later = extremes.minimumFirst ? extremes.maximum : extremes.minimum;
    lineData->append(first);
    if (earlier != first.value)
        lineData->append(QCPGraphData(earlierKey, earlier));
    if (later != earlier && later != last.value)
        lineData->append(QCPGraphData(laterKey, later));
    if (end - 1 != begin)
        lineData->append(last);
}

// As QCPLayerable::applyAntialiasingHint() decides for plottables.
bool MinMaxGraph::linesAntialiased() const
{
    if (mParentPlot->notAntialiasedElements().testFlag(QCP::aePlottables))
        return false;
    return mAntialiased || mParentPlot->antialiasedElements().testFlag(QCP::aePlottables);
}

// Under a drawn line the fill may leave out the points a pixel column shares: the line covers
// whatever edge they would give it. What is left is filled in slices, as one polygon with
// thousands of crossing edges costs the raster engine tens of milliseconds.
bool MinMaxGraph::fillsInSlices() const
{
    const QCPAxis *keyAxis = mKeyAxis.data();
    return mAdaptiveSampling && !mChannelFillGraph && mLineStyle == lsLine &&
           mPen.style() != Qt::NoPen && mPen.color().alpha() != 0 && keyAxis &&
           keyAxis->orientation() == Qt::Horizontal && !keyAxis->rangeReversed();
}

void MinMaxGraph::drawFill(QCPPainter *painter, QVector<QPointF> *lines) const
{
    if (!fillsInSlices() || painter->brush().style() == Qt::NoBrush ||
        painter->brush().color().alpha() == 0) {
        QCPGraph::drawFill(painter, lines);
        return;
    }
    applyFillAntialiasingHint(painter);
    for (const QCPDataRange &segment : getNonNanSegments(lines, Qt::Horizontal))
        fillInSlices(painter, *lines, segment);
}

void MinMaxGraph::fillInSlices(QCPPainter *painter, const QVector<QPointF> &lines,
                               const QCPDataRange &segment) const
{
    if (segment.size() < 2)
        return;
    const auto column = [&](int i) { return std::floor(lines[i].x()); };
    QVector<QPointF> edge;
    edge.reserve(segment.size());
    for (int i = segment.begin(); i < segment.end(); ++i) {
        const bool inner = i > segment.begin() && i + 1 < segment.end() &&
                           column(i - 1) == column(i) && column(i + 1) == column(i);
        if (!inner)
            edge.append(lines[i]);
    }

    // Slices meet on pixel borders, so together they are drawn as the whole polygon would be.
    QPolygonF slice;
    slice.reserve(SlicePoints + 4);
    slice << getFillBasePoint(edge.first()) << edge.first();
    for (qsizetype i = 1; i < edge.size(); ++i) {
        const QPointF &from = edge[i - 1];
        const QPointF &to = edge[i];
        const double border = std::floor(from.x()) + 1;
        if (slice.size() > SlicePoints && border < to.x()) {
            const QPointF cut(border, from.y() + (border - from.x()) / (to.x() - from.x()) *
                                                     (to.y() - from.y()));
            slice << cut << getFillBasePoint(cut);
            painter->drawPolygon(slice);
            slice.clear();
            slice << getFillBasePoint(cut) << cut;
        }
        slice << to;
    }
    slice << getFillBasePoint(edge.last());
    painter->drawPolygon(slice);
}
