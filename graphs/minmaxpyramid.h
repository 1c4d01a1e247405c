#pragma once

#include "qcustomplot.h"

#include <cmath>
#include <vector>

// Finds the smallest and the largest value of any stretch of a graph's points, and which of
// them comes first, by looking at a few dozen summaries instead of every point. Level 0
// summarizes runs of 16 points, each further level runs of 4 summaries of the level below;
// they lie in arrays of their own, so a frame reads little of the points themselves. Only
// complete runs are summarized, so appending points and dropping the oldest ones cost next to
// nothing. About 1.3 bytes per point of 16.
class MinMaxPyramid
{
public:
    // A NaN or infinite value is a gap in the curve: where one lies in the stretch, `hasGap`
    // is set and the rest means nothing.
    struct Extremes
    {
        double minimum = 0;
        double maximum = 0;
        bool minimumFirst = true;
        bool hasGap = false;
    };

    static bool isGap(double value) { return !std::isfinite(value); }

    qsizetype size() const { return pointCount; }
    void rebuild(const QCPGraphData *points, qsizetype count);
    // The points up to `count` are the old ones followed by new ones.
    void extend(const QCPGraphData *points, qsizetype count);
    // The first `count` points are gone; positions then count from the new first point.
    void dropFront(qsizetype count);

    // Stretch [begin, end) of the points summarized, not empty.
    Extremes find(const QCPGraphData *points, qsizetype begin, qsizetype end) const;
    // Starts reading from memory what find() needs at an end of a stretch of about `length`
    // points beginning or ending at `position`, so that it is at hand when asked for.
    void prefetch(const QCPGraphData *points, qsizetype position, qsizetype length) const;

private:
    static constexpr int RunPoints = 16;
    static constexpr int RunNodes = 4;

    // The run's extremes in their order; `earlier` is NaN for a run with a gap.
    struct Node
    {
        double earlier;
        double later;
    };
    struct Level
    {
        qsizetype span = 0;      // points per run
        qsizetype firstNode = 0; // run number of nodes.front()
        std::vector<Node> nodes;
    };
    class Tally;

    Node summarizePoints(const QCPGraphData *points, qsizetype first) const;
    Node summarizeNodes(int level, qsizetype run) const;
    void take(Tally &tally, const QCPGraphData *points, int level, qsizetype from,
              qsizetype to) const;

    std::vector<Level> levels;
    // Points dropped from the front since the last rebuild: point i is number i + dropped of
    // the sequence the runs are counted in.
    qsizetype dropped = 0;
    qsizetype pointCount = 0;
};
