#include "realtimegraph.h"
#include "ui_realtimegraph.h"

#include "fixedstepdatetimeticker.h"
#include "minmaxgraph.h"
#include "plotpictures.h"
#include "timeaxesbox.h"

#include <QDateTime>

namespace {
constexpr double HistorySeconds = 48 * 3600;
} // namespace

RealTimeGraph::RealTimeGraph(QWidget *parent)
    : QMainWindow(parent) // adds Qt::Window: a top-level window even with an owner
    , ui(new Ui::RealTimeGraph)
{
    ui->setupUi(this);
    SetupPlot();
    plotPictures = new PlotPictures(ui->customPlot);
    ui->customPlot->replot(QCustomPlot::rpRefreshHint);
    ui->statusBar->clearMessage();
}

RealTimeGraph::~RealTimeGraph()
{
    delete ui;
}

void RealTimeGraph::SetupPlot()
{
    QCustomPlot *plot = ui->customPlot;

    history = MinMaxGraph::add(plot);
    history->setPen(QPen(Qt::blue));
    history->setBrush(QBrush(QColor(240, 255, 200, 255)));
    history->setAntialiasedFill(false);

    QCPGraph *newest = plot->addGraph();
    newest->setPen(QPen(Qt::blue));
    newest->setLineStyle(QCPGraph::lsNone);
    newest->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, 6));

    timeTicker.reset(new FixedStepDateTimeTicker(WindowSeconds / 10));
    setupTimeAxesBox(plot, timeTicker);
}

void RealTimeGraph::SetGraphColors(const QColor &line, const QColor &fill)
{
    history->setPen(QPen(line));
    history->setBrush(QBrush(fill));
    ui->customPlot->graph(1)->setPen(QPen(line));
}

void RealTimeGraph::AddPoint(double value)
{
    AddPoint(value, QDateTime::currentMSecsSinceEpoch() / 1000.0);
}

void RealTimeGraph::AddPoint(double value, double key)
{
    QCustomPlot *plot = ui->customPlot;
    QCPGraph *newest = plot->graph(1);

    history->addPoint(key, value);
    newest->data()->clear();
    newest->addData(key, value);
    history->removePointsBefore(key - HistorySeconds);
    history->rescaleValueAxis(true);

    if (FirstPoint) {
        FirstPoint = 0;
        // A first reading of 0 asks for an empty range, which the axis refuses.
        plot->yAxis->setRange(value, value, Qt::AlignCenter);
    }
    plot->xAxis->setRange(key + MarginSeconds, WindowSeconds, Qt::AlignRight);
    // Twelve hidden windows redrawing every reading would be most of the station's CPU time;
    // a hidden one draws once, when it is shown.
    if (isVisible())
        plot->replot(QCustomPlot::rpRefreshHint);
    else
        replotWhenShown = true;

    ui->statusBar->showMessage(QStringLiteral(" Total Data points: %2").arg(history->dataCount()));
}

void RealTimeGraph::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (replotWhenShown) {
        replotWhenShown = false;
        ui->customPlot->replot(QCustomPlot::rpRefreshHint);
    }
}

// The margin is a thirtieth and the tick step a tenth of the span, so every span
// shows ten tick intervals. Nothing is redrawn until the next reading.
void RealTimeGraph::SetTimeSpan(int windowSeconds)
{
    WindowSeconds = windowSeconds;
    MarginSeconds = windowSeconds / 30;
    timeTicker->setTickStep(windowSeconds / 10);
}

void RealTimeGraph::on_Button_12h_clicked()
{
    SetTimeSpan(43200);
}

void RealTimeGraph::on_Button_1h_clicked()
{
    SetTimeSpan(3600);
}

void RealTimeGraph::on_Button_24h_clicked()
{
    SetTimeSpan(86400);
}

void RealTimeGraph::on_Button_3h_clicked()
{
    SetTimeSpan(10800);
}

void RealTimeGraph::on_Button_6h_clicked()
{
    SetTimeSpan(21600);
}

void RealTimeGraph::on_Button_48h_clicked()
{
    SetTimeSpan(172800);
}
