#include "minmaxpyramid.h"

#include <algorithm>
#include <limits>

namespace {

// Asks for the cache line holding `address` to be read from memory now; compilers without the
// builtin just do without.
inline void prefetchLine(const void *address)
{
#if defined(__GNUC__)
    __builtin_prefetch(address);
#else
    Q_UNUSED(address);
#endif
}

} // namespace

// Smallest and largest value seen, each with a rank that orders them: twice the number of the
// point or of the first point of the run it comes from, plus one for the later extreme of a
// run. Items taken never overlap, so ranks of different items never tie.
class MinMaxPyramid::Tally
{
public:
    // Consecutive points, from number `first` on.
    void addPoints(const QCPGraphData *points, qsizetype count, qsizetype first)
    {
        // Locals, not members: the compiler cannot keep members apart from the points.
        double low = points[0].value;
        double high = low;
        qsizetype lowAt = 0;
        qsizetype highAt = 0;
        bool anyGap = false;
        for (qsizetype i = 0; i < count; ++i) {
            const double value = points[i].value;
            anyGap |= isGap(value);
            if (value < low) {
                low = value;
                lowAt = i;
            }
            if (value > high) {
                high = value;
                highAt = i;
            }
        }
        if (anyGap)
            gap = true;
        else
            add(low, 2 * (first + lowAt), high, 2 * (first + highAt));
    }
    void addNode(const Node &node, qsizetype first)
    {
        if (std::isnan(node.earlier))
            gap = true;
        else if (node.earlier <= node.later)
            add(node.earlier, 2 * first, node.later, 2 * first + 1);
        else
            add(node.later, 2 * first + 1, node.earlier, 2 * first);
    }
    bool hasGap() const { return gap; }
    Node node() const
    {
        if (gap)
            return Node{std::numeric_limits<double>::quiet_NaN(), 0};
        return minimumFirst() ? Node{minimum, maximum} : Node{maximum, minimum};
    }
    Extremes extremes() const { return Extremes{minimum, maximum, minimumFirst(), gap}; }

private:
    void add(double low, qsizetype lowRank, double high, qsizetype highRank)
    {
        if (!any || low < minimum) {
            minimum = low;
            minimumRank = lowRank;
        }
        if (!any || high > maximum) {
            maximum = high;
            maximumRank = highRank;
        }
        any = true;
    }
    bool minimumFirst() const { return minimumRank <= maximumRank; }

    double minimum = 0;
    double maximum = 0;
    qsizetype minimumRank = 0;
    qsizetype maximumRank = 0;
    bool any = false;
    bool gap = false;
};

void MinMaxPyramid::rebuild(const QCPGraphData *points, qsizetype count)
{
    levels.clear();
    dropped = 0;
    pointCount = 0;
    extend(points, count);
}

void MinMaxPyramid::extend(const QCPGraphData *points, qsizetype count)
{
    pointCount = count;
    const qsizetype end = dropped + count;
    for (int l = 0;; ++l) {
        const qsizetype span = l == 0 ? RunPoints : levels[l - 1].span * RunNodes;
        if (span > end)
            break;
        if (l == int(levels.size())) {
            levels.push_back(Level{span, dropped / span, {}});
            levels.back().nodes.reserve(size_t(end / span - dropped / span + 1));
        }
        Level &level = levels[l];
        const qsizetype complete = end / span;
        for (qsizetype run = level.firstNode + qsizetype(level.nodes.size()); run < complete;
             ++run) {
            // A run reaching back before the oldest point is never asked for whole.
            Node node{std::numeric_limits<double>::quiet_NaN(), 0};
            if (run * span >= dropped)
                node = l == 0 ? summarizePoints(points, run * span - dropped)
                              : summarizeNodes(l - 1, run);
            level.nodes.push_back(node);
        }
    }
}

void MinMaxPyramid::dropFront(qsizetype count)
{
    dropped += count;
    pointCount -= count;
    for (Level &level : levels) {
        const qsizetype gone =
            std::min(dropped / level.span - level.firstNode, qsizetype(level.nodes.size()));
        if (gone > 0) {
            level.nodes.erase(level.nodes.begin(), level.nodes.begin() + gone);
            level.firstNode += gone;
        }
    }
}

MinMaxPyramid::Node MinMaxPyramid::summarizePoints(const QCPGraphData *points,
                                                   qsizetype first) const
{
    Tally tally;
    tally.addPoints(points + first, RunPoints, first);
    return tally.node();
}

MinMaxPyramid::Node MinMaxPyramid::summarizeNodes(int level, qsizetype run) const
{
    const Level &below = levels[level];
    Tally tally;
    for (qsizetype child = run * RunNodes; child < (run + 1) * RunNodes; ++child)
        tally.addNode(below.nodes[size_t(child - below.firstNode)], child * below.span);
    return tally.node();
}

MinMaxPyramid::Extremes MinMaxPyramid::find(const QCPGraphData *points, qsizetype begin,
                                            qsizetype end) const
{
    // Climbs while whole runs of the next level fit in, taking the ragged ends at each level
    // on the way: at most 2 x 15 points, then 2 x 3 runs per level.
    Tally tally;
    qsizetype low = begin + dropped;
    qsizetype high = end + dropped;
    for (int level = -1; low < high && !tally.hasGap(); ++level) {
        const qsizetype up = level + 1 < int(levels.size()) ? levels[level + 1].span : 0;
        const qsizetype lowUp = up ? (low + up - 1) / up * up : 0;
        const qsizetype highDown = up ? high / up * up : 0;
        if (lowUp >= highDown) {
            take(tally, points, level, low, high);
            break;
        }
        take(tally, points, level, low, lowUp);
        take(tally, points, level, highDown, high);
        low = lowUp;
        high = highDown;
    }
    return tally.extremes();
}

void MinMaxPyramid::prefetch(const QCPGraphData *points, qsizetype position, qsizetype length) const
{
    // A cache line holds 4 points or 4 nodes.
    const qsizetype number = position + dropped;
    const qsizetype run = number / RunPoints * RunPoints - dropped;
    for (qsizetype i = std::max(qsizetype(0), run); i < std::min(pointCount, run + RunPoints);
         i += 4)
        prefetchLine(points + i);
    for (const Level &level : levels) {
        if (level.span > length)
            break;
        const qsizetype node = number / level.span - level.firstNode;
        const qsizetype first = std::max(qsizetype(0), node - RunNodes + 1);
        const qsizetype last = std::min(qsizetype(level.nodes.size()), node + RunNodes);
        for (qsizetype i = first; i < last; i += 4)
            prefetchLine(level.nodes.data() + i);
    }
}

// Items of `level` (-1: the points themselves) covering the numbers [from, to).
void MinMaxPyramid::take(Tally &tally, const QCPGraphData *points, int level, qsizetype from,
                         qsizetype to) const
{
    if (level < 0) {
        if (from < to)
            tally.addPoints(points + (from - dropped), to - from, from);
        return;
    }
    const Level &items = levels[level];
    for (qsizetype run = from / items.span; run < to / items.span; ++run)
        tally.addNode(items.nodes[size_t(run - items.firstNode)], run * items.span);
}
