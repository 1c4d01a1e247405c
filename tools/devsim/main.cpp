// grelvix-devsim: the measuring devices of a station, played on a pseudo-terminal.

#include "controlchannel.h"
#include "devicesimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

void say(FILE *stream, const QString &line)
{
    std::fputs(line.toUtf8().append('\n').constData(), stream);
    std::fflush(stream);
}

void say(const QStringList &lines)
{
    for (const QString &line : lines)
        say(stdout, line);
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

// Quits the application on SIGINT, SIGTERM and SIGHUP, from the event loop.
bool catchSignals(QCoreApplication &app)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) < 0)
        return false;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action
    {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &action, nullptr);
    // Run in the background of a shell, reading the terminal fails instead of stopping us.
    ::signal(SIGTTIN, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

// Reads commands from stdin; answers go to stdout.
void listenToStdin(QCoreApplication &app, ControlChannel &channel, bool exitOnEof)
{
    if (::fcntl(STDIN_FILENO, F_GETFD) < 0)
        return;
    auto *notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
    auto pending = std::make_shared<QByteArray>();
    QObject::connect(notifier, &QSocketNotifier::activated, &app,
                     [&app, &channel, notifier, pending, exitOnEof] {
                         char buffer[4096];
                         // One read per notification: stdin stays blocking, as the shell may share
                         // it.
                         const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
                         if (n < 0 && (errno == EINTR || errno == EAGAIN))
                             return;
                         if (n > 0)
                             pending->append(buffer, n);
                         const bool end = n <= 0;
                         while (!pending->isEmpty()) {
                             const qsizetype eol = pending->indexOf('\n');
                             if (eol < 0 && !end)
                                 break;
                             const qsizetype length = eol < 0 ? pending->size() : eol;
                             say(channel.execute(QString::fromUtf8(pending->left(length))));
                             pending->remove(0, eol < 0 ? length : length + 1);
                             if (channel.quitRequested()) {
                                 notifier->setEnabled(false);
                                 app.quit();
                                 return;
                             }
                         }
                         if (!end)
                             return;
                         notifier->setEnabled(false);
                         if (n < 0)
                             say(stderr,
                                 QStringLiteral("grelvix-devsim: stdin unreadable, commands off"));
                         if (exitOnEof)
                             app.quit();
                     });
}

bool run(ControlChannel &channel, const QString &command)
{
    const QStringList answer = channel.execute(command);
    if (!answer.isEmpty() && answer.last().startsWith(QLatin1String("error"))) {
        say(stderr, QStringLiteral("grelvix-devsim: %1 (from '%2')").arg(answer.last(), command));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("grelvix-devsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(GRELVIX_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral(
            "Plays the Modbus RTU temperature devices of a Grelvix station on a pseudo-terminal\n"
            "(or on a serial port). The first line on stdout is 'port PATH': the port name to\n"
            "type into the station. A served address answers the probe (function 3, register 0,\n"
            "one register) with 7 bytes, the temperature request (registers 1 and 2) with 9\n"
            "bytes of signed tenths of a degree, and any other request with a Modbus exception;\n"
            "other addresses stay silent.\n\n") +
        ControlChannel::commandHelp() +
        QStringLiteral("\nExample:\n"
                       "  grelvix-devsim --link /tmp/grelvix-port --devices 5,7,9 --drift \\\n"
                       "      --device 11=23.5,-10 --fault 9=delay:200\n"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"), QStringLiteral("Open the serial port PATH instead of a pty."),
        QStringLiteral("PATH"));
    const QCommandLineOption baudOption(QStringLiteral("baud"),
                                        QStringLiteral("Speed of --port (default 9600)."),
                                        QStringLiteral("N"), QStringLiteral("9600"));
    const QCommandLineOption ptyOption(QStringLiteral("pty"),
                                       QStringLiteral("Create a pseudo-terminal (the default)."));
    const QCommandLineOption linkOption(
        QStringLiteral("link"),
        QStringLiteral("Point the symbolic link PATH at the port (replaced if it is a link, "
                       "removed on exit)."),
        QStringLiteral("PATH"));
    const QCommandLineOption deviceOption(
        QStringLiteral("device"),
        QStringLiteral("Serve address ADDR, optionally with fixed temperatures, e.g. 5=23.5,-10 "
                       "(repeatable)."),
        QStringLiteral("ADDR[=T1,T2]"));
    const QCommandLineOption devicesOption(QStringLiteral("devices"),
                                           QStringLiteral("Serve several addresses, e.g. 5,7,9."),
                                           QStringLiteral("LIST"));
    const QCommandLineOption driftOption(
        QStringLiteral("drift"),
        QStringLiteral("Temperatures drift around their set values (devices added later too)."));
    const QCommandLineOption driftIntervalOption(
        QStringLiteral("drift-interval"),
        QStringLiteral("Milliseconds between drift steps (default 1000)."), QStringLiteral("MS"),
        QStringLiteral("1000"));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
                                        QStringLiteral("Seed of the drift, for repeatable runs."),
                                        QStringLiteral("N"));
    const QCommandLineOption faultOption(
        QStringLiteral("fault"),
        QStringLiteral("Fault of device ADDR (or 'all'), repeatable; KIND is none, silent, badcrc, "
                       "delay:MS, gap:MS or range[:T1,T2]."),
        QStringLiteral("ADDR=KIND"));
    const QCommandLineOption exitOnEofOption(QStringLiteral("exit-on-eof"),
                                             QStringLiteral("Exit when stdin ends."));
    const QCommandLineOption quietOption(QStringLiteral("quiet"),
                                         QStringLiteral("No trace of the traffic on stderr."));
    parser.addOptions({portOption, baudOption, ptyOption, linkOption, deviceOption, devicesOption,
                       driftOption, driftIntervalOption, seedOption, faultOption, exitOnEofOption,
                       quietOption});
    parser.process(app);

    const auto usageError = [](const QString &message) {
        say(stderr, QStringLiteral("grelvix-devsim: ") + message);
        return 1;
    };
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'; see --help")
                              .arg(parser.positionalArguments().first()));
    if (parser.isSet(portOption) && parser.isSet(ptyOption))
        return usageError(QStringLiteral("--port and --pty exclude each other"));

    DeviceSimulator simulator;
    ControlChannel channel(&simulator);
    bool ok = false;
    const int driftInterval = parser.value(driftIntervalOption).toInt(&ok);
    if (!ok || driftInterval < 1)
        return usageError(QStringLiteral("bad --drift-interval"));
    simulator.setDriftInterval(driftInterval);
    if (parser.isSet(seedOption)) {
        const quint32 seed = parser.value(seedOption).toUInt(&ok);
        if (!ok)
            return usageError(QStringLiteral("bad --seed"));
        simulator.setSeed(seed);
    }
    channel.setDriftForNewDevices(parser.isSet(driftOption));

    QStringList commands;
    for (const QString &value : parser.values(deviceOption)) {
        const qsizetype eq = value.indexOf(QLatin1Char('='));
        if (eq < 0) {
            commands.append(QStringLiteral("add ") + value);
            continue;
        }
        const QStringList values = value.mid(eq + 1).split(QLatin1Char(','));
        if (values.size() != 2)
            return usageError(QStringLiteral("bad --device %1; e.g. 5=23.5,-10").arg(value));
        commands.append(
            QStringLiteral("add %1 %2 %3").arg(value.left(eq), values.at(0), values.at(1)));
    }
    for (const QString &value : parser.values(devicesOption))
        for (const QString &address : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
            commands.append(QStringLiteral("add ") + address);
    for (const QString &value : parser.values(faultOption)) {
        const qsizetype eq = value.indexOf(QLatin1Char('='));
        if (eq < 0)
            return usageError(QStringLiteral("bad --fault %1; e.g. 5=delay:200").arg(value));
        commands.append(QStringLiteral("fault %1 %2").arg(value.left(eq), value.mid(eq + 1)));
    }
    for (const QString &command : commands)
        if (!run(channel, command))
            return 1;

    const bool quiet = parser.isSet(quietOption);
    QObject::connect(&simulator, &DeviceSimulator::errorOccurred, [](const QString &message) {
        say(stderr, QStringLiteral("grelvix-devsim: ") + message);
    });
    if (!quiet) {
        QObject::connect(
            &simulator, &DeviceSimulator::requestReceived,
            [&simulator](quint8 address, ModbusSlave::RequestKind kind, const QByteArray &request) {
                const char *what = kind == ModbusSlave::ProbeRequest         ? "probe"
                                   : kind == ModbusSlave::TemperatureRequest ? "temperature"
                                                                             : "other";
                say(stderr, QStringLiteral("rx %1  %2 %3%4")
                                .arg(hex(request), QLatin1String(what))
                                .arg(address)
                                .arg(simulator.device(address) ? QString()
                                                               : QStringLiteral(" (not served)")));
            });
        QObject::connect(&simulator, &DeviceSimulator::answerWritten,
                         [](quint8, const QByteArray &answer) {
                             say(stderr, QStringLiteral("tx %1").arg(hex(answer)));
                         });
        if (simulator.addresses().isEmpty())
            say(stderr, QStringLiteral("grelvix-devsim: no devices yet; add some with 'add ADDR'"));
    }

    if (parser.isSet(portOption)) {
        const int baud = parser.value(baudOption).toInt(&ok);
        if (!ok || !simulator.openPort(parser.value(portOption), baud))
            return 1;
    } else if (!simulator.openPty()) {
        return 1;
    }
    if (parser.isSet(linkOption) && !simulator.createLink(parser.value(linkOption)))
        return 1;
    if (!catchSignals(app))
        return usageError(QStringLiteral("cannot set up signal handling"));

    say(stdout, QStringLiteral("port ") + simulator.portName());
    if (!simulator.linkPath().isEmpty())
        say(stdout, QStringLiteral("link ") + simulator.linkPath());
    listenToStdin(app, channel, parser.isSet(exitOnEofOption));
    return app.exec();
}
