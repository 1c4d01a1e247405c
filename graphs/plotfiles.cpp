#include "plotfiles.h"
#include "ui_plotfiles.h"

#include "channeltable.h"
#include "logfilereader.h"
#include "minmaxgraph.h"
#include "plotpictures.h"
#include "timeaxesbox.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

namespace {
// In pieces, so that the file is never held whole next to its points. The first piece tells
// about how many records the file holds: the channels get their room at once instead of
// growing by copies.
void readInPieces(QFile &file, LogFileReader &log, plotfiles::ChannelPoints &points)
{
    QByteArray piece(1 << 20, Qt::Uninitialized);
    bool first = true;
    for (qint64 got; (got = file.read(piece.data(), piece.size())) > 0; first = false) {
        log.feed(QByteArrayView(piece.constData(), got));
        if (first && got < file.size()) {
            const qint64 records = log.recordCount() * file.size() / got * 21 / 20 + 1;
            for (QVector<QCPGraphData> &kept : points) {
                if (!kept.isEmpty())
                    kept.reserve(records);
            }
        }
    }
    log.finish();
}
} // namespace

plotfiles::plotfiles(QWidget *parent)
    : QMainWindow(parent) // adds Qt::Window: a top-level window even with an owner
    , ui(new Ui::plotfiles)
{
    ui->setupUi(this);
    channelBoxes = {ui->checkBoxT0, ui->checkBoxT1, ui->checkBoxT2,  ui->checkBoxT3,
                    ui->checkBoxT4, ui->checkBoxT5, ui->checkBoxT6,  ui->checkBoxT7,
                    ui->checkBoxT8, ui->checkBoxT9, ui->checkBoxT10, ui->checkBoxT11};
    askFileName = [](QWidget *owner, const QString &directory) {
        return QFileDialog::getOpenFileName(owner, tr("Открыть файл"), directory,
                                            tr("Файлы графиков(*.dat);;Все файлы (*.*)"));
    };

    DisableChannelBoxes();
    SetupPlot();
    plotPictures = new PlotPictures(ui->customPlot);
    plotPictures->directory = [this] { return AnalysisDirectory; };
    // A picture of a log is named after the log; the label holds a caption until one is opened.
    plotPictures->pictureName = [this] {
        const QFileInfo log(ui->Path_displ->text());
        return log.isAbsolute() ? log.completeBaseName() : windowTitle();
    };
    ui->customPlot->replot(QCustomPlot::rpRefreshHint);
    ui->statusBar->clearMessage();
}

plotfiles::~plotfiles()
{
    delete ui;
}

void plotfiles::SetAnalysisDirectory(const QString &dir)
{
    AnalysisDirectory = dir;
}

void plotfiles::SetupPlot()
{
    QCustomPlot *plot = ui->customPlot;

    plot->legend->setVisible(false);
    plot->legend->setFont(QFont(QStringLiteral("Helvetica"), 9));
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectAxes);

    for (int i = 0; i < Station::ChannelCount; ++i) {
        MinMaxGraph *graph = MinMaxGraph::add(plot);
        channelGraphs[i] = graph;
        graph->setPen(QPen(channelLineColor(i)));
        graph->setVisible(false);
        graph->setName(QStringLiteral("T%1").arg(i));
    }

    setupTimeAxesBox(plot, QSharedPointer<QCPAxisTickerDateTime>(new QCPAxisTickerDateTime));

    connect(plot, &QCustomPlot::mousePress, this, &plotfiles::mousePress);
    connect(plot, &QCustomPlot::mouseWheel, this, &plotfiles::mouseWheel);
}

void plotfiles::on_OpenFileData_clicked()
{
    LoadFile(askFileName ? askFileName(this, AnalysisDirectory) : QString());
}

void plotfiles::LoadFile(const QString &path)
{
    // Whatever happens below, nothing of the previous file may stay on show.
    ClearChannels();
    ui->statusBar->clearMessage();
    ui->Path_displ->setText(path);

    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        qWarning("Can not open file test.dat");
        ShowNoData();
        return;
    }
    ChannelPoints points;
    LogFileReader log([&points](int channel, double key, double value) {
        points[channel].append(QCPGraphData(key, value));
    });
    readInPieces(file, log, points);
    file.close();

    switch (log.problem()) {
    case LogFileReader::Problem::None:
        break;
    case LogFileReader::Problem::BadChannelCount:
        qWarning("Log file %s has no channel count of 1 to 12", qUtf8Printable(path));
        break;
    case LogFileReader::Problem::MalformedToken:
        qWarning("Log file %s holds a token that is not a number; reading stopped there",
                 qUtf8Printable(path));
        break;
    case LogFileReader::Problem::CutOffRecord:
        qWarning("Log file %s ends inside a record; the incomplete record is left out",
                 qUtf8Printable(path));
        break;
    }

    if (!log.hasRecords()) {
        ShowNoData();
        return;
    }
    ShowLog(log, points);
    if (log.skippedTokens() > 0) {
        qWarning("Log file %s holds records cut short; %lld tokens were skipped",
                 qUtf8Printable(path), log.skippedTokens());
        ui->statusBar->showMessage(
            tr("В файле есть оборванные записи: пропущено значений %1").arg(log.skippedTokens()));
    }
    QStringList names;
    for (int i = 0; i < log.channelCount(); ++i)
        names.append(log.channelName(i));
    qDebug("Log file %s shown: %d channels (%s), %lld records", qUtf8Printable(path),
           log.channelCount(), qUtf8Printable(names.join(QLatin1String(", "))), log.recordCount());
}

void plotfiles::ClearChannels()
{
    for (int i = 0; i < Station::ChannelCount; ++i) {
        MinMaxGraph *graph = channelGraphs[i];
        graph->clearPoints();
        graph->setVisible(false);
        graph->removeFromLegend();
        SetChannelChecked(i, false);
    }
    DisableChannelBoxes();
    LoadedChannels = 0;
    ChannelMin.fill(0);
    ChannelMax.fill(0);
}

void plotfiles::ShowNoData()
{
    ui->StartTime->setText(QStringLiteral(" -//- "));
    ui->CountOfMeasurement->setText(QStringLiteral("-//-"));
    ui->SensorsCount->setText(QStringLiteral("-//-"));
    ui->customPlot->legend->setVisible(false);
    ui->customPlot->replot(QCustomPlot::rpRefreshHint);
}

void plotfiles::ShowLog(const LogFileReader &log, ChannelPoints &points)
{
    QCustomPlot *plot = ui->customPlot;

    LoadedChannels = log.channelCount();
    ui->SensorsCount->setText(QString::number(LoadedChannels));
    ui->StartTime->setText(QDateTime::fromSecsSinceEpoch(log.firstTimestamp())
                               .toString(QStringLiteral("hh:mm:ss dd.MM.yyyy")));

    for (int i = 0; i < LoadedChannels; ++i) {
        MinMaxGraph *graph = channelGraphs[i];
        graph->setName(QStringLiteral("T%1 %2").arg(QString::number(i), log.channelName(i)));
        graph->setPoints(std::move(points[i]), log.keysAscending());
        ChannelMin[i] = log.channelMinimum(i);
        ChannelMax[i] = log.channelMaximum(i);
        // A single point draws no line.
        if (graph->dataCount() > 1) {
            EnableChannelBox(i);
            SetChannelChecked(i, true);
            graph->setVisible(true);
            graph->addToLegend();
        }
    }

    // Without any valid value both are 0, which gives -1..1.
    FitValueAxis(log.minimum(), log.maximum());
    plot->legend->setVisible(true);
    // A single record asks for an empty range, which the axis refuses.
    plot->xAxis->setRange(log.earliestKey(), log.latestKey() - log.earliestKey(), Qt::AlignLeft);
    plot->replot(QCustomPlot::rpRefreshHint);

    ui->CountOfMeasurement->setText(QString::number(log.valueCount()));
}

void plotfiles::FitValueAxis(float minimum, float maximum)
{
    const double low = minimum;
    const double high = maximum;
    ui->customPlot->yAxis->setRange((low + high) / 2.0, high - low + 2.0, Qt::AlignCenter);
}

void plotfiles::ToggleChannel(int channel)
{
    if (channel < 0 || channel >= Station::ChannelCount)
        return;
    QCustomPlot *plot = ui->customPlot;
    plot->graph(channel)->setVisible(IsChannelChecked(channel));

    bool found = false;
    float minimum = 0;
    float maximum = 0;
    for (int j = 0; j < LoadedChannels; ++j) {
        if (!IsChannelChecked(j))
            continue;
        if (!found) {
            minimum = ChannelMin[j];
            maximum = ChannelMax[j];
            found = true;
        } else {
            minimum = qMin(minimum, ChannelMin[j]);
            maximum = qMax(maximum, ChannelMax[j]);
        }
    }
    // With no channel left there is nothing to fit: the operator keeps the view
    // and gets the same fit back by checking a box again.
    if (found)
        FitValueAxis(minimum, maximum);
    plot->replot(QCustomPlot::rpRefreshHint);
}

bool plotfiles::IsChannelChecked(int channel) const
{
    if (channel < 0 || channel >= Station::ChannelCount)
        return false;
    return channelBoxes[channel]->isChecked();
}

void plotfiles::SetChannelChecked(int channel, bool checked)
{
    if (channel >= 0 && channel < Station::ChannelCount)
        channelBoxes[channel]->setChecked(checked);
}

void plotfiles::EnableChannelBox(int channel)
{
    if (channel >= 0 && channel < Station::ChannelCount)
        channelBoxes[channel]->setEnabled(true);
}

void plotfiles::DisableChannelBoxes()
{
    for (QCheckBox *box : channelBoxes)
        box->setEnabled(false);
}

Qt::Orientations plotfiles::SelectedAxisOrientations() const
{
    const QCustomPlot *plot = ui->customPlot;
    if (plot->xAxis->selectedParts().testFlag(QCPAxis::spAxis))
        return plot->xAxis->orientation();
    if (plot->yAxis->selectedParts().testFlag(QCPAxis::spAxis))
        return plot->yAxis->orientation();
    return Qt::Horizontal | Qt::Vertical;
}

void plotfiles::mousePress()
{
    ui->customPlot->axisRect()->setRangeDrag(SelectedAxisOrientations());
}

void plotfiles::mouseWheel()
{
    ui->customPlot->axisRect()->setRangeZoom(SelectedAxisOrientations());
}

void plotfiles::on_checkBoxT0_clicked()
{
    ToggleChannel(0);
}

void plotfiles::on_checkBoxT1_clicked()
{
    ToggleChannel(1);
}

void plotfiles::on_checkBoxT2_clicked()
{
    ToggleChannel(2);
}

void plotfiles::on_checkBoxT3_clicked()
{
    ToggleChannel(3);
}

void plotfiles::on_checkBoxT4_clicked()
{
    ToggleChannel(4);
}

void plotfiles::on_checkBoxT5_clicked()
{
    ToggleChannel(5);
}

void plotfiles::on_checkBoxT6_clicked()
{
    ToggleChannel(6);
}

void plotfiles::on_checkBoxT7_clicked()
{
    ToggleChannel(7);
}

void plotfiles::on_checkBoxT8_clicked()
{
    ToggleChannel(8);
}

void plotfiles::on_checkBoxT9_clicked()
{
    ToggleChannel(9);
}

void plotfiles::on_checkBoxT10_clicked()
{
    ToggleChannel(10);
}

void plotfiles::on_checkBoxT11_clicked()
{
    ToggleChannel(11);
}
