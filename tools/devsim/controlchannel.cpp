#include "controlchannel.h"

#include "devicesimulator.h"

#include <QRegularExpression>

#include <cmath>

namespace {

QStringList error(const QString &message)
{
    return {QStringLiteral("error: ") + message};
}

QStringList ok(const QString &message = QString())
{
    return {message.isEmpty() ? QStringLiteral("ok") : QStringLiteral("ok ") + message};
}

bool parseAddress(const QString &word, quint8 *address)
{
    bool ok = false;
    const int value = word.toInt(&ok);
    if (!ok || value < 1 || value > 255)
        return false;
    *address = static_cast<quint8>(value);
    return true;
}

bool parseTemperature(const QString &word, double *value)
{
    bool ok = false;
    const double v = word.toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < SimulatedDevice::minTemperature ||
        v > SimulatedDevice::maxTemperature)
        return false;
    *value = v;
    return true;
}

QString badTemperature(const QString &word)
{
    return QStringLiteral("bad temperature '%1' (degrees, %2 to %3)")
        .arg(word)
        .arg(SimulatedDevice::minTemperature)
        .arg(SimulatedDevice::maxTemperature);
}

QString badAddress(const QString &word)
{
    return QStringLiteral("bad address '%1' (1 to 255)").arg(word);
}

QString temperatures(const SimulatedDevice &device)
{
    return QStringLiteral("%1 %2")
        .arg(device.temperature(0), 0, 'f', 1)
        .arg(device.temperature(1), 0, 'f', 1);
}

} // namespace

ControlChannel::ControlChannel(DeviceSimulator *simulator)
    : m_simulator(simulator)
{}

QStringList ControlChannel::execute(const QString &line)
{
    QStringList words =
        line.trimmed().split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (words.isEmpty() || words.first().startsWith(QLatin1Char('#')))
        return {};
    const QString command = words.takeFirst().toLower();
    if (command == QLatin1String("temp"))
        return temp(words);
    if (command == QLatin1String("drift"))
        return drift(words);
    if (command == QLatin1String("fault"))
        return fault(words);
    if (command == QLatin1String("add"))
        return add(words);
    if (command == QLatin1String("remove"))
        return remove(words);
    if (command == QLatin1String("list") && words.isEmpty())
        return list();
    if (command == QLatin1String("help") && words.isEmpty())
        return commandHelp().split(QLatin1Char('\n'), Qt::SkipEmptyParts) + ok();
    if (command == QLatin1String("quit") && words.isEmpty()) {
        m_quit = true;
        return ok();
    }
    return error(QStringLiteral("unknown command '%1'; try 'help'").arg(line.trimmed()));
}

QStringList ControlChannel::temp(const QStringList &args)
{
    if (args.size() != 3)
        return error(QStringLiteral("usage: temp ADDR T1 T2"));
    QList<quint8> addresses;
    const QString problem = targets(args.at(0), &addresses);
    if (!problem.isEmpty())
        return error(problem);
    double first = 0;
    double second = 0;
    if (!parseTemperature(args.at(1), &first))
        return error(badTemperature(args.at(1)));
    if (!parseTemperature(args.at(2), &second))
        return error(badTemperature(args.at(2)));
    for (quint8 address : addresses)
        m_simulator->device(address)->setTemperatures(first, second);
    return ok();
}

QStringList ControlChannel::drift(const QStringList &args)
{
    if (args.size() != 2 ||
        (args.at(1) != QLatin1String("on") && args.at(1) != QLatin1String("off")))
        return error(QStringLiteral("usage: drift ADDR|all on|off"));
    QList<quint8> addresses;
    const QString problem = targets(args.at(0), &addresses);
    if (!problem.isEmpty())
        return error(problem);
    for (quint8 address : addresses)
        m_simulator->device(address)->setDrift(args.at(1) == QLatin1String("on"));
    return ok();
}

QStringList ControlChannel::fault(const QStringList &args)
{
    if (args.size() < 2)
        return error(QStringLiteral(
            "usage: fault ADDR|all none|silent|badcrc|delay MS|gap MS|range [T1 T2]"));
    QList<quint8> addresses;
    const QString problem = targets(args.at(0), &addresses);
    if (!problem.isEmpty())
        return error(problem);
    const auto fault = SimulatedDevice::Fault::fromString(args.mid(1).join(QLatin1Char(' ')));
    if (!fault)
        return error(QStringLiteral("bad fault '%1'").arg(args.mid(1).join(QLatin1Char(' '))));
    for (quint8 address : addresses)
        m_simulator->device(address)->setFault(*fault);
    return ok();
}

QStringList ControlChannel::add(const QStringList &args)
{
    if (args.size() != 1 && args.size() != 3)
        return error(QStringLiteral("usage: add ADDR [T1 T2]"));
    quint8 address = 0;
    if (!parseAddress(args.at(0), &address))
        return error(badAddress(args.at(0)));
    if (m_simulator->device(address))
        return error(QStringLiteral("device %1 exists already").arg(address));
    double first = 0;
    double second = 0;
    if (args.size() == 3) {
        if (!parseTemperature(args.at(1), &first))
            return error(badTemperature(args.at(1)));
        if (!parseTemperature(args.at(2), &second))
            return error(badTemperature(args.at(2)));
    }
    SimulatedDevice *device = m_simulator->addDevice(address);
    if (args.size() == 3)
        device->setTemperatures(first, second);
    device->setDrift(m_driftForNew);
    return ok();
}

QStringList ControlChannel::remove(const QStringList &args)
{
    if (args.size() != 1)
        return error(QStringLiteral("usage: remove ADDR|all"));
    QList<quint8> addresses;
    const QString problem = targets(args.at(0), &addresses);
    if (!problem.isEmpty())
        return error(problem);
    for (quint8 address : addresses)
        m_simulator->removeDevice(address);
    return ok();
}

QStringList ControlChannel::list() const
{
    QStringList lines;
    for (quint8 address : m_simulator->addresses())
        lines.append(describe(address));
    return lines + ok(QStringLiteral("%1 devices").arg(lines.size()));
}

QString ControlChannel::targets(const QString &word, QList<quint8> *addresses) const
{
    if (word == QLatin1String("all")) {
        *addresses = m_simulator->addresses();
        return QString();
    }
    quint8 address = 0;
    if (!parseAddress(word, &address))
        return badAddress(word);
    if (!m_simulator->device(address))
        return QStringLiteral("no device %1").arg(address);
    *addresses = {address};
    return QString();
}

QString ControlChannel::describe(quint8 address) const
{
    const SimulatedDevice *device = m_simulator->device(address);
    return QStringLiteral("device %1 temp %2 drift %3 fault %4 requests %5 answers %6")
        .arg(address)
        .arg(temperatures(*device), device->drift() ? QStringLiteral("on") : QStringLiteral("off"),
             device->fault().toString())
        .arg(m_simulator->requestCount(address))
        .arg(m_simulator->answerCount(address));
}

QString ControlChannel::commandHelp()
{
    return QStringLiteral(
        "Commands (one per line on stdin; each answers with lines ending in 'ok' or 'error: "
        "...'):\n"
        "  add ADDR [T1 T2]         serve bus address ADDR (1-255), optionally with temperatures\n"
        "  remove ADDR|all          stop serving an address\n"
        "  temp ADDR|all T1 T2      set both temperatures in degrees, e.g. temp 5 23.5 -10.0\n"
        "                           (with drift on: the values the drift centres on)\n"
        "  drift ADDR|all on|off    let the temperatures wander slowly, or hold them fixed\n"
        "  fault ADDR|all KIND      none | silent | badcrc | delay MS | gap MS | range [T1 T2]\n"
        "                           silent: no answer; badcrc: corrupted check;\n"
        "                           delay MS: answer after MS milliseconds;\n"
        "                           gap MS: answer written byte by byte, MS apart;\n"
        "                           range: temperature answers carry T1 T2 (default 125.0 -55.0)\n"
        "  list                     one line per device: temperatures, drift, fault, counters\n"
        "  help                     this text\n"
        "  quit                     hang up the line and exit\n");
}
