#pragma once

// The main window in a scratch working directory, its core's timers held so that a test ticks
// it, and what the window shows as drawn.

#include "fakesoundoutput.h"
#include "stationcore.h"
#include "velunor.h"

#include <QDir>
#include <QImage>
#include <QLCDNumber>
#include <QTemporaryDir>

#include <memory>

class WindowFixture
{
public:
    WindowFixture()
        : previousDir(QDir::currentPath())
    {
        QDir::setCurrent(workDir.path());
    }
    ~WindowFixture()
    {
        window.reset();
        QDir::setCurrent(previousDir);
    }
    WindowFixture(const WindowFixture &) = delete;
    WindowFixture &operator=(const WindowFixture &) = delete;

    QString path(const QString &name) const { return workDir.filePath(name); }

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

    FakeSoundFactory sounds;
    std::unique_ptr<Velunor> window;

private:
    QTemporaryDir workDir;
    QString previousDir;
};
