#pragma once

// The main window in a scratch working directory, its core's timers held so that a test ticks
// it, and what the window shows as drawn.

#include "fakesoundoutput.h"
#include "realtimegraph.h"
#include "scratchdirectory.h"
#include "stationcore.h"
#include "velunor.h"

#include <qcustomplot.h>

#include <QDir>
#include <QImage>
#include <QLCDNumber>

#include <memory>

class WindowFixture : public ScratchDirectory
{
public:
    WindowFixture() = default;
    ~WindowFixture() { window.reset(); }
    WindowFixture(const WindowFixture &) = delete;
    WindowFixture &operator=(const WindowFixture &) = delete;

    template<typename Window = Velunor>
    Window &create()
    {
        auto made = std::make_unique<Window>(nullptr, StationTimer::Mode::Held, sounds.factory());
        Window &created = *made;
        window = std::move(made);
        return created;
    }
    // Closes the window as the program's end does: the configuration is saved.
    void destroy() { window.reset(); }
    StationCore &core() { return window->station(); }

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

    // Whether a display shows `text`: a twin beside it that shows the text is drawn the same.
    static bool displays(QLCDNumber *lcd, const QString &text)
    {
        QLCDNumber twin(lcd->digitCount(), lcd->parentWidget());
        twin.setGeometry(lcd->geometry());
        twin.setSegmentStyle(lcd->segmentStyle());
        twin.setSmallDecimalPoint(lcd->smallDecimalPoint());
        twin.setFrameStyle(lcd->frameStyle());
        twin.setLineWidth(lcd->lineWidth());
        twin.setStyleSheet(lcd->styleSheet());
        twin.display(text);
        return twin.grab().toImage() == lcd->grab().toImage();
    }

    // Readings a channel's real-time graph holds.
    static int graphPoints(RealTimeGraph *graph)
    {
        auto *plot = graph->findChild<QCustomPlot *>(QStringLiteral("customPlot"));
        return plot && plot->graphCount() > 0 ? plot->graph(0)->dataCount() : -1;
    }

    FakeSoundFactory sounds;
    std::unique_ptr<Velunor> window;
};
