#include "quitonsignals.h"
#include "stationcore.h"
#include "stationfont.h"
#include "stationstyle.h"
#include "velunor.h"
#if GRELVIX_HAVE_MQTT
#include "publisherlabel.h"
#include "stationpublisher.h"
#endif

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {
bool hasOption(int argc, char *argv[], const char *option)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], option) == 0)
            return true;
    }
    return false;
}

// Answered before the window system is touched, so they work on a terminal without a display.
// Every other argument is left to Qt, as before.
bool answeredInformationOption(int argc, char *argv[])
{
    if (hasOption(argc, argv, "--version")) {
        std::printf("grelvix %s\n", GRELVIX_VERSION);
        return true;
    }
    if (hasOption(argc, argv, "--help")) {
        std::printf("Usage: grelvix [--record] [--version | --help]\n"
                    "Temperature monitoring station. It keeps its settings in Monitor.ini in "
                    "the directory it is started from.\n"
                    "  --record  record once the port is open, as the record button does\n");
        return true;
    }
    return false;
}
} // namespace

int main(int argc, char *argv[])
{
    if (answeredInformationOption(argc, argv))
        return 0;
    if (hasOption(argc, argv, "--headless")) {
#ifdef Q_OS_WIN
        std::fputs("grelvix: no headless station on Windows\n", stderr);
#else
        std::fputs("grelvix-window: the headless station is grelvix --headless\n", stderr);
#endif
        return 2;
    }

    const bool styleChosen = styleChosenByOperator(argc, argv);
    QApplication app(argc, argv);
    if (!styleChosen)
        applyStationStyle();
    QApplication::setApplicationVersion(QStringLiteral(GRELVIX_VERSION));
    applyStationFont();
    quitOnTerminationSignals();
    app.setWindowIcon(QIcon(QStringLiteral(":/images/grelvix-128.png")));

    int exitCode = 0;
    {
        // Destroyed before the application object: its destructor saves the configuration.
        Velunor window;
#if GRELVIX_HAVE_MQTT
        // Gone before the window: its presence turns "offline" while the station still stands.
        StationPublisher publisher(window.station());
        std::unique_ptr<PublisherLabel> label;
        if (publisher.isEnabled())
            label = std::make_unique<PublisherLabel>(publisher, window.statusBar());
        publisher.start();
#endif
        if (hasOption(argc, argv, "--record"))
            window.station().requestRecording();
        window.show();
        exitCode = app.exec();
    }
    return exitCode;
}
