// grelvix: the station. With --headless it runs here, on Qt Core alone, without a window or a
// display; otherwise it becomes the window program (grelvix-window), so that a headless station
// never loads Qt Gui, and with it the X and Wayland libraries.
#include "headlessstation.h"
#include "journallog.h"
#include "quitonsignals.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {
constexpr int usageStatus = 2;
constexpr int notStartedStatus = 127;

const char usage[] =
    "Usage: grelvix [--record] [--version | --help]\n"
    "       grelvix --headless [--dir DIR] [--record]\n"
    "Temperature monitoring station. It keeps its settings in Monitor.ini in the directory it is\n"
    "started from.\n"
    "  --record    record once the port is open, as the record button does\n"
    "  --headless  run without a window or a display, from the Monitor.ini in DIR; messages go\n"
    "              to standard error; SIGTERM, SIGINT or SIGHUP end it, saving Monitor.ini\n"
    "  --dir DIR   the directory of Monitor.ini (default: the current directory)\n";

struct Options
{
    bool headless = false;
    bool record = false;
    bool version = false;
    bool help = false;
    const char *dir = nullptr;
    const char *unknown = nullptr;
};

Options parse(int argc, char *argv[])
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--headless") == 0)
            options.headless = true;
        else if (std::strcmp(arg, "--record") == 0)
            options.record = true;
        else if (std::strcmp(arg, "--version") == 0)
            options.version = true;
        else if (std::strcmp(arg, "--help") == 0)
            options.help = true;
        else if (std::strcmp(arg, "--dir") == 0 && i + 1 < argc)
            options.dir = argv[++i];
        else if (std::strncmp(arg, "--dir=", 6) == 0)
            options.dir = arg + 6;
        else if (!options.unknown)
            options.unknown = arg; // the window program's, or Qt's, such as -platform
    }
    return options;
}

// Installed, the window program is in libexec (GRELVIX_WINDOW_DIR from here); in the build
// tree it is beside this program.
int runWindow(char *argv[])
{
    char self[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
    std::string directory = length > 0 ? std::string(self, size_t(length)) : std::string(".");
    directory.erase(directory.find_last_of('/') + 1);
    for (const std::string &candidate :
         {directory + GRELVIX_WINDOW_DIR "/grelvix-window", directory + "grelvix-window"}) {
        if (::access(candidate.c_str(), X_OK) == 0) {
            ::execv(candidate.c_str(), argv);
            std::fprintf(stderr, "grelvix: cannot start %s: %s\n", candidate.c_str(),
                         std::strerror(errno));
            return notStartedStatus;
        }
    }
    std::fprintf(stderr, "grelvix: the window program grelvix-window is not installed\n");
    return notStartedStatus;
}

int runHeadless(int argc, char *argv[], const Options &options)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(GRELVIX_VERSION));
    logToStandardError();
    // The receive path traces every answer; QT_LOGGING_RULES, which wins, can show them.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    if (options.dir && !QDir::setCurrent(QString::fromLocal8Bit(options.dir))) {
        qCritical("Cannot work in %s: no such directory", options.dir);
        return HeadlessStation::NoConfiguration;
    }
    if (!quitOnTerminationSignals()) {
        qCritical("Cannot set up the end on termination signals");
        return 1;
    }
    HeadlessStation station;
    if (const int status = station.start(options.record))
        return status;
    app.exec();
    station.finish();
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    const Options options = parse(argc, argv);
    if (options.version) {
        std::printf("grelvix %s\n", GRELVIX_VERSION);
        return 0;
    }
    if (options.help) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (!options.headless)
        return runWindow(argv);
    if (options.unknown) {
        std::fprintf(stderr, "grelvix: unknown option %s\n%s", options.unknown, usage);
        return usageStatus;
    }
    return runHeadless(argc, argv, options);
}
