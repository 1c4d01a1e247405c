// grelvix-devsim: the measuring devices of a station, played on a pseudo-terminal.

#include "controlchannel.h"
#include "devicesimulator.h"
#include "quitonsignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

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

int usageError(const QString &message)
{
    say(stderr, QStringLiteral("grelvix-devsim: ") + message);
    return 1;
}

// What the command line asks for; devices and faults as commands of the stdin language.
struct Options
{
    QString port; // empty for a pty
    QString baud;
    QString link;
    int driftInterval = 1000;
    std::optional<quint32> seed;
    bool drift = false;
    bool exitOnEof = false;
    bool quiet = false;
    QString record;
    QStringList commands;
};

void describeOptions(QCommandLineParser &parser)
{
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
    const auto option = [](const char *name, const char *description, const char *value = nullptr,
                           const char *byDefault = nullptr) {
        return QCommandLineOption(QLatin1String(name), QLatin1String(description),
                                  QLatin1String(value), QLatin1String(byDefault));
    };
    parser.addOptions({
        option("port", "Open the serial port PATH instead of a pty.", "PATH"),
        option("baud", "Speed of --port (default 9600).", "N", "9600"),
        option("pty", "Create a pseudo-terminal (the default)."),
        option("link",
               "Point the symbolic link PATH at the port (replaced if it is a link, removed on "
               "exit).",
               "PATH"),
        option("device",
               "Serve address ADDR, optionally with fixed temperatures, e.g. 5=23.5,-10 "
               "(repeatable).",
               "ADDR[=T1,T2]"),
        option("devices", "Serve several addresses, e.g. 5,7,9.", "LIST"),
        option("drift", "Temperatures drift around their set values (devices added later too)."),
        option("drift-interval", "Milliseconds between drift steps (default 1000).", "MS", "1000"),
        option("seed", "Seed of the drift, for repeatable runs.", "N"),
        option("fault",
               "Fault of device ADDR (or 'all'), repeatable; KIND is none, silent, badcrc, "
               "delay:MS, gap:MS or range[:T1,T2].",
               "ADDR=KIND"),
        option("exit-on-eof", "Exit when stdin ends."),
        option("quiet", "No trace of the traffic on stderr."),
        option("record",
               "Append a line per temperature answer served with a valid check to FILE: seconds "
               "since 1970 (to the millisecond), address, both temperatures.",
               "FILE"),
    });
}

// --device, --devices and --fault as commands; false after reporting a malformed one.
bool addDeviceCommands(const QCommandLineParser &parser, QStringList &commands)
{
    for (const QString &value : parser.values(QStringLiteral("device"))) {
        const qsizetype eq = value.indexOf(QLatin1Char('='));
        if (eq < 0) {
            commands.append(QStringLiteral("add ") + value);
            continue;
        }
        const QStringList values = value.mid(eq + 1).split(QLatin1Char(','));
        if (values.size() != 2) {
            usageError(QStringLiteral("bad --device %1; e.g. 5=23.5,-10").arg(value));
            return false;
        }
        commands.append(
            QStringLiteral("add %1 %2 %3").arg(value.left(eq), values.at(0), values.at(1)));
    }
    for (const QString &value : parser.values(QStringLiteral("devices")))
        for (const QString &address : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
            commands.append(QStringLiteral("add ") + address);
    for (const QString &value : parser.values(QStringLiteral("fault"))) {
        const qsizetype eq = value.indexOf(QLatin1Char('='));
        if (eq < 0) {
            usageError(QStringLiteral("bad --fault %1; e.g. 5=delay:200").arg(value));
            return false;
        }
        commands.append(QStringLiteral("fault %1 %2").arg(value.left(eq), value.mid(eq + 1)));
    }
    return true;
}

// Exits for --help and --version; nothing after reporting a usage error.
std::optional<Options> parseOptions(const QCoreApplication &app)
{
    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(app);

    if (!parser.positionalArguments().isEmpty()) {
        usageError(QStringLiteral("unexpected argument '%1'; see --help")
                       .arg(parser.positionalArguments().first()));
        return std::nullopt;
    }
    const auto isSet = [&parser](const char *name) { return parser.isSet(QLatin1String(name)); };
    const auto value = [&parser](const char *name) { return parser.value(QLatin1String(name)); };
    if (isSet("port") && isSet("pty")) {
        usageError(QStringLiteral("--port and --pty exclude each other"));
        return std::nullopt;
    }

    Options options;
    options.port = value("port");
    options.baud = value("baud");
    options.link = value("link");
    bool ok = false;
    options.driftInterval = value("drift-interval").toInt(&ok);
    if (!ok || options.driftInterval < 1) {
        usageError(QStringLiteral("bad --drift-interval"));
        return std::nullopt;
    }
    if (isSet("seed")) {
        options.seed = value("seed").toUInt(&ok);
        if (!ok) {
            usageError(QStringLiteral("bad --seed"));
            return std::nullopt;
        }
    }
    options.drift = isSet("drift");
    options.exitOnEof = isSet("exit-on-eof");
    options.quiet = isSet("quiet");
    options.record = value("record");
    if (!addDeviceCommands(parser, options.commands))
        return std::nullopt;
    return options;
}

// Runs the commands of the command line; false after reporting the first that fails.
bool runCommands(ControlChannel &channel, const QStringList &commands)
{
    for (const QString &command : commands) {
        const QStringList answer = channel.execute(command);
        if (!answer.isEmpty() && answer.last().startsWith(QLatin1String("error"))) {
            say(stderr,
                QStringLiteral("grelvix-devsim: %1 (from '%2')").arg(answer.last(), command));
            return false;
        }
    }
    return true;
}

// Errors always, and unless quiet every request and answer, on stderr.
void traceTraffic(DeviceSimulator &simulator, bool quiet)
{
    QObject::connect(&simulator, &DeviceSimulator::errorOccurred, [](const QString &message) {
        say(stderr, QStringLiteral("grelvix-devsim: ") + message);
    });
    if (quiet)
        return;
    QObject::connect(
        &simulator, &DeviceSimulator::requestReceived,
        [&simulator](quint8 address, ModbusSlave::RequestKind kind, const QByteArray &request) {
            const char *what = kind == ModbusSlave::ProbeRequest         ? "probe"
                               : kind == ModbusSlave::TemperatureRequest ? "temperature"
                                                                         : "other";
            say(stderr,
                QStringLiteral("rx %1  %2 %3%4")
                    .arg(hex(request), QLatin1String(what))
                    .arg(address)
                    .arg(simulator.device(address) ? QString() : QStringLiteral(" (not served)")));
        });
    QObject::connect(&simulator, &DeviceSimulator::answerWritten,
                     [](quint8, const QByteArray &answer) {
                         say(stderr, QStringLiteral("tx %1").arg(hex(answer)));
                     });
    if (simulator.addresses().isEmpty())
        say(stderr, QStringLiteral("grelvix-devsim: no devices yet; add some with 'add ADDR'"));
}

// What the station can have read: every temperature answer that left with a valid check.
bool recordServed(DeviceSimulator &simulator, const QString &path)
{
    auto file = std::make_shared<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        usageError(QStringLiteral("cannot write %1: %2").arg(path, file->errorString()));
        return false;
    }
    QObject::connect(&simulator, &DeviceSimulator::answerWritten,
                     [file](quint8 address, const QByteArray &answer) {
                         if (answer.size() != 9 || answer.at(1) != 0x03 || answer.at(2) != 0x04 ||
                             !ModbusSlave::hasValidCrc(answer))
                             return;
                         const auto tenths = [&answer](int at) {
                             return qint16(quint8(answer.at(at)) << 8 | quint8(answer.at(at + 1)));
                         };
                         const qint64 ms = QDateTime::currentMSecsSinceEpoch();
                         file->write(QStringLiteral("%1.%2 %3 %4 %5\n")
                                         .arg(ms / 1000)
                                         .arg(ms % 1000, 3, 10, QLatin1Char('0'))
                                         .arg(address)
                                         .arg(tenths(3) / 10.0, 0, 'f', 1)
                                         .arg(tenths(5) / 10.0, 0, 'f', 1)
                                         .toLatin1());
                         file->flush();
                     });
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("grelvix-devsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(GRELVIX_VERSION));
    const std::optional<Options> options = parseOptions(app);
    if (!options)
        return 1;

    DeviceSimulator simulator;
    ControlChannel channel(&simulator);
    simulator.setDriftInterval(options->driftInterval);
    if (options->seed)
        simulator.setSeed(*options->seed);
    channel.setDriftForNewDevices(options->drift);
    if (!runCommands(channel, options->commands))
        return 1;
    traceTraffic(simulator, options->quiet);
    if (!options->record.isEmpty() && !recordServed(simulator, options->record))
        return 1;

    if (!options->port.isEmpty()) {
        bool ok = false;
        const int baud = options->baud.toInt(&ok);
        if (!ok || !simulator.openPort(options->port, baud))
            return 1;
    } else if (!simulator.openPty()) {
        return 1;
    }
    if (!options->link.isEmpty() && !simulator.createLink(options->link))
        return 1;
    if (!quitOnTerminationSignals())
        return usageError(QStringLiteral("cannot set up signal handling"));
    // Run in the background of a shell, reading the terminal fails instead of stopping us.
    ::signal(SIGTTIN, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);

    say(stdout, QStringLiteral("port ") + simulator.portName());
    if (!simulator.linkPath().isEmpty())
        say(stdout, QStringLiteral("link ") + simulator.linkPath());
    listenToStdin(app, channel, options->exitOnEof);
    return app.exec();
}
