#pragma once

// A station in a scratch working directory, with its timers held still so that a test drives
// every tick itself, plus helpers to look at what the window shows.

#include "abstractserial.h"
#include "ptypair.h"
#include "realtimegraph.h"
#include "velunor.h"

#include <qcustomplot.h>

#include <QDir>
#include <QImage>
#include <QLCDNumber>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

class StationFixture
{
public:
    StationFixture()
        : previousDir(QDir::currentPath())
    {
        QDir::setCurrent(workDir.path());
    }
    ~StationFixture()
    {
        station.reset();
        QDir::setCurrent(previousDir);
    }

    QString path(const QString &name) const { return workDir.filePath(name); }

    template<typename Window = Velunor>
    Window &create()
    {
        auto window = std::make_unique<Window>();
        Window &created = *window;
        station = std::move(window);
        holdTimers();
        RequestTicks = 0;
        return created;
    }

    // Closes the station as the program's end does: its destructor saves the configuration.
    void destroy() { station.reset(); }

    // Opens the port as the operator would and keeps the timers from ticking on their own.
    bool open(const QString &port)
    {
        station->findChild<QLineEdit *>(QStringLiteral("lePort"))->setText(port);
        station->on_pbPortOpen_clicked();
        holdTimers();
        return station->SerialDevice->isOpen();
    }

    // One tick of the request pacing; returns the interval the tick left the timer at.
    int tick()
    {
        station->ProccessCommunication();
        const int interval = station->TimerCommunication->interval();
        holdTimers();
        return interval;
    }

    void holdTimers()
    {
        station->TimerRequest->stop();
        station->TimerCommunication->stop();
        station->TimerAlarm->stop();
    }

    QString status() const
    {
        return station->findChild<QLabel *>(QStringLiteral("label_status_dev"))->text();
    }

    // What a display shows, compared by rendering: a twin showing the expected text.
    static bool displays(QLCDNumber *lcd, const QString &text)
    {
        QLCDNumber twin;
        twin.resize(lcd->size());
        twin.setDigitCount(lcd->digitCount());
        twin.setSmallDecimalPoint(lcd->smallDecimalPoint());
        twin.setSegmentStyle(lcd->segmentStyle());
        twin.setFrameShape(lcd->frameShape());
        twin.setFrameShadow(lcd->frameShadow());
        twin.setLineWidth(lcd->lineWidth());
        twin.setPalette(lcd->palette());
        twin.setStyleSheet(lcd->styleSheet());
        twin.setFont(lcd->font());
        twin.setEnabled(lcd->isEnabled());
        twin.display(text);
        const QImage a = twin.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage b = lcd->grab().toImage().convertToFormat(QImage::Format_RGB32);
        return a == b;
    }

    // The colours of a display's segments as drawn: "green", "red", "green red", or "none" when
    // nothing shows (a blank display, or digits as black as the ground).
    static QString segmentColours(QWidget *display)
    {
        const QImage image = display->grab().toImage();
        bool green = false;
        bool red = false;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                green = green || image.pixelColor(x, y) == QColor(Qt::green);
                red = red || image.pixelColor(x, y) == QColor(Qt::red);
            }
        QStringList found;
        if (green)
            found << QStringLiteral("green");
        if (red)
            found << QStringLiteral("red");
        return found.isEmpty() ? QStringLiteral("none") : found.join(QLatin1Char(' '));
    }

    // Readings a channel's real-time graph holds.
    static int graphPoints(RealTimeGraph *graph)
    {
        auto *plot = graph->findChild<QCustomPlot *>(QStringLiteral("customPlot"));
        return plot && plot->graphCount() > 0 ? plot->graph(0)->dataCount() : -1;
    }

    std::unique_ptr<Velunor> station;

private:
    QTemporaryDir workDir;
    QString previousDir;
};
