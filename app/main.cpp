#include "quitonsignals.h"
#include "stationfont.h"
#include "stationpublisher.h"
#include "textcodecs.h"
#include "velunor.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installStationCodec();
    applyStationFont();
    quitOnTerminationSignals();
    app.setWindowIcon(QIcon(QStringLiteral(":/images/grelvix-128.png")));

    int exitCode = 0;
    {
        // Destroyed before the application object: its destructor saves the configuration.
        Velunor window;
        // Gone before the window: its presence turns "offline" while the station still stands.
        StationPublisher publisher(window);
        window.show();
        exitCode = app.exec();
    }
    return exitCode;
}
