#pragma once

#include <QColor>
#include <QMainWindow>
#include <QSharedPointer>

namespace Ui {
class RealTimeGraph;
}
class FixedStepDateTimeTicker;
class MinMaxGraph;
class PlotPictures;

// One channel's readings of the last 48 hours against local clock time.
class RealTimeGraph : public QMainWindow
{
    Q_OBJECT

public:
    explicit RealTimeGraph(QWidget *parent = nullptr);
    ~RealTimeGraph() override;

    void SetGraphColors(const QColor &line, const QColor &fill);
    // A reading taken now.
    void AddPoint(double value);
    // A reading taken at `key`, seconds since the epoch.
    void AddPoint(double value, double key);

    // The plot's context menu: pictures of it, and what program drew it.
    PlotPictures *pictures() const { return plotPictures; }

    int FirstPoint = 1;
    int WindowSeconds = 3600;
    int MarginSeconds = 120;

public slots:
    void on_Button_12h_clicked();
    void on_Button_1h_clicked();
    void on_Button_24h_clicked();
    void on_Button_3h_clicked();
    void on_Button_6h_clicked();
    void on_Button_48h_clicked();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void SetupPlot();
    void SetTimeSpan(int windowSeconds);

    Ui::RealTimeGraph *ui;
    // Graph 0: every reading of the last 48 hours.
    MinMaxGraph *history = nullptr;
    // Shared by the bottom and top axes so their ticks stay in step.
    QSharedPointer<FixedStepDateTimeTicker> timeTicker;
    bool replotWhenShown = false;
    PlotPictures *plotPictures = nullptr;
};
