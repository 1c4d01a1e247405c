#pragma once

#include "minmaxpyramid.h"
#include "qcustomplot.h"

// A graph whose frame costs follow the pixels, not the points. Of the points falling into one
// pixel column it draws the first, the smallest, the largest and the last, found in a summary
// built when the data arrives; the picture stays that of all points within a pixel, with every
// extreme, every gap (NaN) and every line between columns. With adaptive sampling switched
// off it draws every point, as QCPGraph does.
// Its data changes through the functions below. Changes made through data() instead are
// noticed when they change the point count, and cost a new summary at the next frame.
class MinMaxGraph : public QCPGraph
{
public:
    MinMaxGraph(QCPAxis *keyAxis, QCPAxis *valueAxis);
    // A new graph on the plot's bottom and left axes, as QCustomPlot::addGraph() makes one.
    static MinMaxGraph *add(QCustomPlot *plot);

    // Takes the points over without copying them. Unsorted points are sorted by key first;
    // points of equal key keep their order.
    void setPoints(QVector<QCPGraphData> points, bool sorted);
    // Empties the graph and gives its memory back.
    void clearPoints();
    // Adds a point in key order, after any of the same key.
    void addPoint(double key, double value);
    void removePointsBefore(double key);

    QCPRange getValueRange(bool &foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth,
                           const QCPRange &inKeyRange = QCPRange()) const override;

protected:
    void getOptimizedLineData(QVector<QCPGraphData> *lineData,
                              const QCPGraphDataContainer::const_iterator &begin,
                              const QCPGraphDataContainer::const_iterator &end) const override;
    void drawFill(QCPPainter *painter, QVector<QPointF> *lines) const override;

private:
    const QCPGraphData *points() const;
    bool summaryInStep() const;
    const MinMaxPyramid &summary() const;
    void appendColumn(QVector<QCPGraphData> *lineData, qsizetype begin, qsizetype end,
                      double middle) const;
    void appendColumnWithGaps(QVector<QCPGraphData> *lineData, qsizetype begin,
                              qsizetype end) const;
    void appendExtremes(QVector<QCPGraphData> *lineData, qsizetype begin, qsizetype end,
                        const MinMaxPyramid::Extremes &extremes, double earlierKey,
                        double laterKey) const;
    bool linesAntialiased() const;
    bool fillsInSlices() const;
    void fillInSlices(QCPPainter *painter, const QVector<QPointF> &lines,
                      const QCPDataRange &segment) const;

    // Built lazily from const drawing code, hence mutable.
    mutable MinMaxPyramid pyramid;
    mutable const QCPGraphDataContainer *summarized = nullptr;
    mutable bool stale = true;
};
