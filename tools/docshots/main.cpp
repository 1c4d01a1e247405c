// Takes the screenshots under docs/: run it on an X display of at least 2000x1600 (xvfb-run -s
// '-screen 0 2000x1600x24') with the directory to write into, once as it is and once with
// QT_SCALE_FACTOR=2, which gives the windows' pictures names ending in "-scale2" and leaves out
// the details. The station runs against the simulated bus in this process.
#include "devicesimulator.h"
#include "journalwindow.h"
#include "linkstatusbar.h"
#include "nightshift.h"
#include "plotfiles.h"
#include "plotpictures.h"
#include "portcompleter.h"
#include "realtimegraph.h"
#include "settings.h"
#include "stationconfig.h"
#include "stationcore.h"
#include "stationfont.h"
#include "stationstyle.h"
#include "velunor.h"

#include "abstractserial.h"
#include "serialdeviceenumerator.h"
#include "unix/nativedeviceenumerator.h"
#include "unix/ttydevicesource.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <cstdio>

namespace {
// The ports of a plant PC as udev tells of them: a UART on the board and two USB adapters. The
// same on every machine the pictures are taken on.
class DemoTtySource final : public TtyDeviceSource
{
public:
    QList<TtyDevice> devices() override
    {
        TtyDevice uart;
        uart.sysName = QStringLiteral("ttyS0");
        uart.subsystem = QStringLiteral("pnp");
        uart.driver = QStringLiteral("serial");
        uart.serialType = 4;
        QList<TtyDevice> ttys{uart};
        for (const QString &name : {QStringLiteral("ttyUSB0"), QStringLiteral("ttyUSB1")}) {
            TtyDevice usb;
            usb.sysName = name;
            usb.subsystem = QStringLiteral("usb-serial");
            usb.driver = QStringLiteral("ftdi_sio");
            usb.properties = {{QStringLiteral("ID_MODEL"), QStringLiteral("FT232R_USB_UART")},
                              {QStringLiteral("ID_VENDOR"), QStringLiteral("FTDI")}};
            ttys << usb;
        }
        for (TtyDevice &tty : ttys)
            tty.devNode = QStringLiteral("/dev/") + tty.sysName;
        return ttys;
    }
    int startMonitor() override { return -1; }
    void stopMonitor() override {}
    void takeEvents() override {}
};

bool shoot(QWidget *window, const QString &path)
{
    window->raise();
    QTest::qWait(400);
    const QPixmap shot = window->screen()->grabWindow(window->winId());
    if (shot.isNull() || !shot.save(path)) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// A part of the screen, for what lies outside one window (a completer's list, a menu, a tool tip).
bool shootArea(QWidget *window, const QRect &area, const QString &path)
{
    QTest::qWait(400);
    const QPixmap shot =
        window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    if (shot.isNull() || !shot.save(path)) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

QWidget *shownToolTip()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->inherits("QTipLabel") && widget->isVisible())
            return widget;
    }
    return nullptr;
}

// Six hours of six channels, a record a minute, as the station writes a log: every token
// followed by a tab, in a file named after its start. Returns its path, empty on failure.
QString writeLog(const QDir &dir, const QStringList &names)
{
    const qint64 start = QDateTime::currentSecsSinceEpoch() / 60 * 60 - 359 * 60;
    const QString path = dir.filePath(QDateTime::fromSecsSinceEpoch(start).toString(
        QStringLiteral("'Log_'hhmmss_ddMMyyyy'.dat'")));
    QString text = QString::number(names.size()) + QLatin1Char('\t') +
                   names.join(QLatin1Char('\t')) + QLatin1Char('\t');
    for (int i = 0; i < 360; ++i) {
        text += QString::number(start + i * 60) + QLatin1Char('\t');
        const double values[] = {21.0 + 1.5 * std::sin(i / 40.0),  19.5 + std::sin(i / 55.0 + 1.0),
                                 26.0 + 6.0 * std::sin(i / 30.0),  5.0 + 2.0 * std::sin(i / 25.0),
                                 -12.0 + 3.0 * std::sin(i / 90.0), 62.0 + 4.0 * std::sin(i / 35.0)};
        for (double value : values)
            text += QString::number(qRound(value * 10) / 10.0) + QLatin1Char('\t');
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) <= 0)
        return QString();
    return path;
}

// A station's stored configuration: three devices at 5, 7 and 9 polled every second, six
// channels named and watched.
void storeConfiguration(const QString &port)
{
    struct Channel
    {
        const char *name;
        float upper, lower;
        bool enabled;
    };
    const Channel named[] = {{"Цех1", 40, 10, true},   {"Цех2", 40, 10, true},
                             {"Печь", 30, 15, true},   {"Холод", 8, 2, true},
                             {"Улица", 40, 10, false}, {"Сушилка", 80, 40, true}};
    StationConfig config;
    config.port = port;
    config.directory = QDir::currentPath() + QLatin1Char('/');
    config.pollInterval = 1;
    config.devices = {5, 7, 9};
    for (int n = 0; n < Station::ChannelCount; ++n) {
        ChannelSettings &channel = config.channels[n];
        const Channel given = n < 6 ? named[n] : Channel{"Датчик", 40, 10, false};
        channel.ChannelName = QString::fromUtf8(given.name);
        channel.UpperLimit = given.upper;
        channel.LowerLimit = given.lower;
        channel.ChannelEnabled = given.enabled ? 1 : 0;
    }
    QFile file(QStringLiteral("Monitor.ini"));
    if (file.open(QIODevice::WriteOnly))
        file.write(config.format());
}

// A night on the bus and the journal window over what it left; the journal's lines go to
// standard output after the picture's name.
bool shootJournal(const QString &path)
{
    NightShift night;
    if (!night.play())
        return false;
    JournalWindow journal(night.station());
    journal.move(20, 20);
    journal.show();
    const bool shot = shoot(&journal, path);
    QFile lines(night.journalPath());
    if (lines.open(QIODevice::ReadOnly))
        std::fwrite(lines.readAll().constData(), 1, size_t(lines.size()), stdout);
    return shot;
}
} // namespace

int main(int argc, char *argv[])
{
    const bool styleChosen = styleChosenByOperator(argc, argv);
    QApplication app(argc, argv);
    if (!styleChosen)
        applyStationStyle();
    applyStationFont();
    const QDir out(
        QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs")).absolutePath());
    const bool scaled = app.devicePixelRatio() > 1;
    const auto picture = [&](const char *name) {
        return out.filePath(QLatin1String(name) +
                            (scaled ? QStringLiteral("-scale2.png") : QStringLiteral(".png")));
    };
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    bool ok = true;

    {
        // As it starts without a configuration.
        Velunor station;
        station.move(20, 20);
        station.show();
        ok &= shoot(&station, picture("mainwindow"));

        if (!scaled) {
            // The port field offering the ports present: a fixed set, the same on every machine.
            SerialDeviceEnumerator ports(
                new NativeDeviceEnumerator(std::make_unique<DemoTtySource>()));
            auto *field = station.findChild<QLineEdit *>(QStringLiteral("lePort"));
            auto *completer = new PortCompleter(&ports, field);
            field->clear();
            QTest::keyClicks(field, QStringLiteral("/dev/tty"));
            QTest::qWait(200);
            const QRect area(station.frameGeometry().topLeft(),
                             completer->popup()->geometry().bottomRight() + QPoint(120, 40));
            ok &= shootArea(&station, area, out.filePath(QStringLiteral("portcompleter.png")));
            delete completer;
        }
    }
    QFile::remove(QStringLiteral("Monitor.ini"));

    DeviceSimulator bus;
    bus.setDriftInterval(500);
    if (!bus.openPty())
        return 1;
    const double temperatures[][2] = {{21.4, 19.8}, {33.7, 4.2}, {-12.5, 64.0}};
    for (int i = 0; i < 3; ++i) {
        SimulatedDevice *device = bus.addDevice(quint8(5 + 2 * i));
        device->setTemperatures(temperatures[i][0], temperatures[i][1]);
        device->setDrift(true);
    }

    storeConfiguration(bus.portName());
    Velunor station;
    station.move(20, 20);
    station.show();

    // A few cycles, then the moment the alarm digits are lit.
    QTest::qWait(4000);
    if (!QTest::qWaitFor([&] { return station.display(2)->styleSheet().contains("255, 0, 0"); }))
        std::fprintf(stderr, "no channel in alarm\n");
    QTest::qWait(100);
    ok &= shoot(&station, picture("alarm"));

    Settings *settings = station.settingsWindow();
    settings->move(60, 60);
    settings->show();
    ok &= shoot(settings, picture("settings"));
    settings->hide();

    // A graph with an hour of history.
    RealTimeGraph *graph = station.graphWindow(0);
    const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    for (int i = 0; i < 720; ++i) {
        const double t = now - 3600 + i * 5;
        graph->AddPoint(21.0 + 1.5 * std::sin(i / 60.0) + 0.2 * std::sin(i / 3.0), t);
    }
    graph->move(80, 80);
    graph->show();
    ok &= shoot(graph, picture("graph"));

    if (!scaled) {
        // The graph's context menu.
        QMenu *menu = graph->pictures()->menu();
        menu->popup(graph->mapToGlobal(QPoint(300, 200)));
        ok &= shootArea(graph, graph->frameGeometry().united(menu->frameGeometry()),
                        out.filePath(QStringLiteral("graph-menu.png")));
        menu->hide();
    }
    graph->hide();

    // The analysis window with a log of six hours.
    const QString log =
        writeLog(QDir::current(),
                 {QStringLiteral("Цех1"), QStringLiteral("Цех2"), QStringLiteral("Печь"),
                  QStringLiteral("Холод"), QStringLiteral("Улица"), QStringLiteral("Сушилка")});
    ok &= !log.isEmpty();
    station.on_GraphAnalisys_clicked();
    plotfiles *analysis = station.analysisWindow();
    analysis->LoadFile(log);
    analysis->move(40, 40);
    ok &= shoot(analysis, picture("analysis"));
    analysis->hide();
    ok &= shootJournal(picture("journal"));
    if (scaled) {
        station.on_pbPortOpen_clicked();
        return ok ? 0 : 1;
    }

    // One device falls silent: the status bar names it once the station gives it up.
    SimulatedDevice::Fault silent;
    silent.kind = SimulatedDevice::Fault::Silent;
    bus.device(7)->setFault(silent);
    if (!QTest::qWaitFor(
            [&] {
                return station.statusBar()->currentMessage().startsWith(
                    QStringLiteral("Нет связи"));
            },
            20000))
        std::fprintf(stderr, "no silent device reported\n");
    ok &= shoot(&station, out.filePath(QStringLiteral("statusbar-silent.png")));

    // The per-device table, as when the pointer rests on the device status.
    auto *indicator = station.findChild<QLabel *>(QStringLiteral("label_status_dev"));
    QToolTip::showText(indicator->mapToGlobal(QPoint(indicator->width() / 2, indicator->height())),
                       station.findChild<LinkStatusBar *>()->table(), indicator);
    if (QWidget *tip = shownToolTip())
        ok &= shootArea(&station, station.frameGeometry().united(tip->frameGeometry()),
                        out.filePath(QStringLiteral("linktooltip.png")));
    else
        ok = false;
    QToolTip::hideText();

    // A search under way, held still at the address of the example.
    int probed = 0;
    QObject::connect(&station.station().link(), &DeviceLink::searchProgress,
                     [&](int address) { probed = address; });
    station.on_SearchDevice_pushButton_clicked();
    if (!QTest::qWaitFor([&] { return probed >= 37; }, 20000))
        std::fprintf(stderr, "the search did not get on\n");
    station.station().findChild<StationTimer *>(QStringLiteral("TimerCommunication"))->stop();
    ok &= shoot(&station, out.filePath(QStringLiteral("statusbar-search.png")));

    station.on_pbPortOpen_clicked();
    return ok ? 0 : 1;
}
