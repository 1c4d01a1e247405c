// Graph windows on generated data at the sizes operators load, times a size factor:
//  - a week's log at 1 s, 12 channels (604,800 records): opening it in the analysis window,
//    from the click to all graphs drawn, and the station's peak RSS meanwhile;
//  - replots of that log at the window's size, over the full range and zoomed to a day,
//    each frame dragged a few pixels on, as the operator's drag steps are;
//  - replots of a real-time window holding 48 h of readings at 1 s (172,800 points).
// A larger factor makes the log that many weeks long and the readings that much closer.
// All data is a random walk of 0.1 degree steps kept within 1 degree of its start. Times are
// medians, of the wall clock and of the thread's CPU time, which shows what the work costs
// when other processes share the cores.
// Usage: bench_graphs [size factor: 1x, 4x, 16x; default 1x] [frames per figure, default 60]
#include "plotfiles.h"
#include "realtimegraph.h"
#include "velunor.h"

#include "headless.h"

#include "qcustomplot.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include <time.h>

namespace {

constexpr int Channels = 12;
constexpr qint64 WeekRecords = 7 * 24 * 3600;
constexpr qint64 HistoryPoints = 48 * 3600;
constexpr double Day = 86400;
const quint32 Start = 1433161805; // 01.06.2015, a record a second from here

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Wall and CPU time of what runs between start() and the sample taken; the CPU time tells
// what the work costs while other processes share the cores.
class Stopwatch
{
public:
    void start()
    {
        wall.start();
        cpuStart = cpuNow();
    }
    void sample()
    {
        walls.push_back(double(wall.nsecsElapsed()) / 1e6);
        cpus.push_back(cpuNow() - cpuStart);
    }
    QByteArray medians(int decimals) const
    {
        return QStringLiteral("median %1 ms (CPU %2 ms) of %3")
            .arg(median(walls), 0, 'f', decimals)
            .arg(median(cpus), 0, 'f', decimals)
            .arg(walls.size())
            .toUtf8();
    }

private:
    static double cpuNow()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
    }

    QElapsedTimer wall;
    double cpuStart = 0;
    std::vector<double> walls;
    std::vector<double> cpus;
};

// Kilobytes from a line of /proc/self/status, e.g. "VmHWM:".
long statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Makes VmHWM start again from the current RSS, so the peak seen is that of what follows.
void resetPeakRss()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

class Walk
{
public:
    explicit Walk(double start, unsigned seed)
        : centre(start)
        , value(start)
        , random(seed)
    {}
    double next()
    {
        const double step = (random() & 1) ? 0.1 : -0.1;
        if (qAbs(value + step - centre) <= 1.0)
            value += step;
        else
            value -= step;
        return value;
    }

private:
    double centre;
    double value;
    std::mt19937 random;
};

// Written the way the station writes its logs: tab-terminated tokens, floats to 6 digits.
bool writeLog(const QString &path, qint64 records)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray text = QByteArray::number(Channels) + '\t';
    for (int i = 0; i < Channels; ++i)
        text += QStringLiteral("Датчик\t").toUtf8();
    std::vector<Walk> walks;
    for (int i = 0; i < Channels; ++i)
        walks.emplace_back(5.0 * i - 10.0, 1000u + unsigned(i));
    for (qint64 r = 0; r < records; ++r) {
        text += QByteArray::number(quint32(Start + r)) + '\t';
        for (Walk &walk : walks)
            text += QByteArray::number(float(walk.next()), 'g', 6) + '\t';
        if (text.size() > (1 << 20)) {
            file.write(text);
            text.clear();
        }
    }
    file.write(text);
    return file.error() == QFileDevice::NoError;
}

// Replots at the window's size, the view moved `pixels` on before each one, back and forth
// within [lower, upper] of the time axis.
QByteArray replots(QCustomPlot *plot, double lower, double upper, int frames, double pixels)
{
    plot->xAxis->setRange(lower, upper);
    double step = pixels * (upper - lower) / plot->axisRect()->width();
    Stopwatch clock;
    for (int i = 0; i < frames; ++i) {
        if (i % 20 == 10)
            step = -step;
        plot->xAxis->moveRange(step);
        clock.start();
        plot->replot(QCustomPlot::rpImmediateRefresh);
        clock.sample();
    }
    return clock.medians(2);
}

void measureLog(qint64 records, int frames, const QString &dir)
{
    const QString path = dir + QStringLiteral("/week.dat");
    if (!writeLog(path, records)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return;
    }
    std::printf("log: %lld records x %d channels, %.1f MB\n", static_cast<long long>(records),
                Channels, double(QFileInfo(path).size()) / 1e6);

    // Beside a station, as the operator opens it.
    Velunor station;
    auto *window = new plotfiles(&station);
    window->askFileName = [&](QWidget *, const QString &) { return path; };
    window->show();
    QCustomPlot *plot = window->findChild<QCustomPlot *>(QStringLiteral("customPlot"));
    auto *open = window->findChild<QPushButton *>(QStringLiteral("OpenFileData"));
    auto *count = window->findChild<QLabel *>(QStringLiteral("CountOfMeasurement"));
    QCoreApplication::processEvents();

    const long before = statusKb("VmRSS:");
    Stopwatch clock;
    const int loads = records > 4 * WeekRecords ? 3 : 5;
    for (int i = 0; i < loads; ++i) {
        if (i == 0)
            resetPeakRss();
        clock.start();
        open->click();
        QCoreApplication::processEvents();
        clock.sample();
        if (i == 0) {
            std::printf("peak RSS while opening: %.1f MB (%.1f MB before, %.1f MB after; "
                        "goal at 1x <= 180 MB)\n",
                        double(statusKb("VmHWM:")) / 1024, double(before) / 1024,
                        double(statusKb("VmRSS:")) / 1024);
        }
    }
    std::printf("open, click to all graphs drawn: %s (count shown: %s; goal at 1x <= 400 ms)\n",
                clock.medians(0).constData(), qPrintable(count->text()));

    const double first = Start;
    const double last = Start + double(records - 1);
    std::printf("replot %dx%d, full range: %s (goal <= 16 ms, stretch <= 8 ms)\n", plot->width(),
                plot->height(), replots(plot, first, last, frames, 5).constData());
    const double middle = first + (last - first) / 2;
    std::printf("replot %dx%d, a day: %s (goal <= 16 ms, stretch <= 8 ms)\n", plot->width(),
                plot->height(),
                replots(plot, middle - Day / 2, middle + Day / 2, frames, 5).constData());
}

void measureRealTime(qint64 points, int frames)
{
    RealTimeGraph window;
    window.findChild<QPushButton *>(QStringLiteral("Button_48h"))->click();
    Walk walk(20.0, 7);
    // More points in the same 48 hours: readings closer together.
    const double spacing = double(HistoryPoints) / double(points);
    QElapsedTimer clock;
    clock.start();
    // Hidden, the window gathers readings without drawing them.
    for (qint64 i = 0; i < points; ++i)
        window.AddPoint(walk.next(), Start + double(i) * spacing);
    const double fill = double(clock.nsecsElapsed()) / 1e6;
    window.show();
    QCoreApplication::processEvents();

    QCustomPlot *plot = window.findChild<QCustomPlot *>(QStringLiteral("customPlot"));
    Stopwatch replots;
    for (int i = 0; i < frames; ++i) {
        replots.start();
        plot->replot(QCustomPlot::rpImmediateRefresh);
        replots.sample();
    }
    std::printf("real-time window %dx%d, %d points (added in %.0f ms): replot %s (goal <= 3 ms)\n",
                plot->width(), plot->height(), plot->graph(0)->dataCount(), fill,
                replots.medians(2).constData());
}

} // namespace

int main(int argc, char *argv[])
{
    prepareHeadlessRun();
    QApplication app(argc, argv);
    const int factor = argc > 1 ? std::max(1, atoi(argv[1])) : 1;
    const int frames = argc > 2 ? std::max(1, atoi(argv[2])) : 60;
    std::printf("size factor %dx\n", factor);

    // The station saves its Monitor.ini where it runs.
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    measureLog(WeekRecords * factor, frames, dir.path());
    measureRealTime(HistoryPoints * factor, std::max(frames, 100));
    return 0;
}
