#include "headlessstation.h"

#include "servicenotifier.h"
#include "stationcore.h"
#include "statusreporter.h"
#if GRELVIX_HAVE_MQTT
#include "stationpublisher.h"
#endif

#include <QDir>
#include <QFileInfo>

HeadlessStation::HeadlessStation(StationTimer::Mode timers, QObject *parent)
    : QObject(parent)
    , core(std::make_unique<StationCore>(timers))
    , reporter(new StatusReporter(*core, this))
    , notifier(new ServiceNotifier(*core, this))
{
    core->setReopenMissingPort(true);
    core->setSoundPlayed(false);
}

HeadlessStation::~HeadlessStation()
{
#if GRELVIX_HAVE_MQTT
    publisher.reset();
#endif
    // The reporter and the notifier watch the core: gone before it.
    delete reporter;
    delete notifier;
}

int HeadlessStation::start(bool record)
{
    // Nothing is started, so nothing is written, not even the journal's start.
    const QFileInfo stored(QStringLiteral("Monitor.ini"));
    if (!stored.isFile() || !stored.isReadable()) {
        qCritical("No readable Monitor.ini in %s, so nothing to poll. Start the station with its "
                  "window in that directory once (open the port, search the bus, set the "
                  "alarms, close it), or copy a Monitor.ini there, and start again.",
                  qUtf8Printable(QDir::currentPath()));
        return NoConfiguration;
    }
    core->start();
    reporter->reportNoSound();
    if (record)
        core->requestRecording();
#if GRELVIX_HAVE_MQTT
    publisher = std::make_unique<StationPublisher>(*core);
    publisher->start();
#endif
    notifier->ready();
    return 0;
}

void HeadlessStation::finish()
{
    notifier->stopping();
    core->SaveIniToFile();
    core->SaveStateToFile();
#if GRELVIX_HAVE_MQTT
    // Its presence turns "offline" while the station still stands.
    publisher.reset();
#endif
    qInfo("Ended: Monitor.ini and %s saved", qUtf8Printable(StateFile::fileName()));
}
