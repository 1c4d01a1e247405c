// grelvix-soak: the station's own binary against the device simulator for a long run, with
// recording on and faults changing, then its log checked against what the simulator answered.
#include "soakrun.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("grelvix-soak"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs the station against six simulated devices at a poll period of 1 s with recording\n"
        "on, changes the devices' faults every phase (silent, bad check bytes, delays past the\n"
        "45 ms pacing, answers byte by byte, out-of-range values, the port removed and\n"
        "restored), then stops the station and checks: no crash, RSS and CPU, the log's format,\n"
        "every logged value against the simulator's answers, and the time between records.\n"
        "Exits with 0 when every check holds."));
    parser.addHelpOption();
    const QCommandLineOption minutes(QStringLiteral("minutes"), QStringLiteral("Run time."),
                                     QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("Run time in seconds, instead of --minutes."),
                                     QStringLiteral("N"));
    const QCommandLineOption phase(QStringLiteral("phase-seconds"),
                                   QStringLiteral("Seconds between fault changes (default 30)."),
                                   QStringLiteral("N"), QStringLiteral("30"));
    const QCommandLineOption margin(
        QStringLiteral("gap-margin-ms"),
        QStringLiteral("Allowed beyond the period plus the cycle between two records (default 0)."),
        QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of the fault schedule (default 1)."),
                                  QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption station(
        QStringLiteral("station"), QStringLiteral("The station's binary (default: this build's)."),
        QStringLiteral("PATH"), QStringLiteral(GRELVIX_STATION));
    const QCommandLineOption directory(
        QStringLiteral("dir"),
        QStringLiteral("Run in DIR and keep it (Monitor.ini, logs/, station.err)."),
        QStringLiteral("DIR"));
    parser.addOptions({minutes, seconds, phase, margin, seed, station, directory});
    parser.process(app);

    SoakRun::Options options;
    bool ok = true;
    const auto number = [&parser, &ok](const QCommandLineOption &option) {
        bool good = false;
        const int value = parser.value(option).toInt(&good);
        ok = ok && good && value >= 0;
        return value;
    };
    options.seconds = parser.isSet(seconds) ? number(seconds) : 60 * number(minutes);
    options.phaseSeconds = number(phase);
    options.gapMarginMs = number(margin);
    options.seed = quint32(number(seed));
    options.station = parser.value(station);
    options.pluginDir = QStringLiteral(GRELVIX_SOAK_PLUGINS);
    options.leakSuppressions = QStringLiteral(GRELVIX_LSAN_SUPPRESSIONS);
    options.directory = parser.value(directory);
    if (!ok || options.seconds < 1 || options.phaseSeconds < 2) {
        std::fputs("grelvix-soak: bad number; see --help\n", stderr);
        return 2;
    }

    SoakRun run(options);
    QObject::connect(&run, &SoakRun::finished, &app, &QCoreApplication::quit);
    if (!run.start())
        return 2;
    app.exec();
    return run.exitCode();
}
