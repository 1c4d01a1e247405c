#include "simulateddevice.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace {

constexpr int maxFaultMs = 60000;

bool parseTemperature(const QString &text, double *value)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < SimulatedDevice::minTemperature ||
        v > SimulatedDevice::maxTemperature)
        return false;
    *value = v;
    return true;
}

QString number(double value)
{
    return QString::number(value, 'f', 1);
}

} // namespace

std::optional<SimulatedDevice::Fault> SimulatedDevice::Fault::fromString(const QString &text)
{
    QString normalised = text;
    normalised.replace(QLatin1Char(':'), QLatin1Char(' '))
        .replace(QLatin1Char(','), QLatin1Char(' '));
    const QStringList words =
        normalised.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return std::nullopt;

    Fault fault;
    const QString kind = words.first().toLower();
    if (kind == QLatin1String("none") || kind == QLatin1String("silent") ||
        kind == QLatin1String("badcrc")) {
        if (words.size() != 1)
            return std::nullopt;
        fault.kind = kind == QLatin1String("none")     ? None
                     : kind == QLatin1String("silent") ? Silent
                                                       : BadCrc;
        return fault;
    }
    if (kind == QLatin1String("delay") || kind == QLatin1String("gap")) {
        if (words.size() != 2)
            return std::nullopt;
        bool ok = false;
        fault.ms = words.at(1).toInt(&ok);
        if (!ok || fault.ms < 0 || fault.ms > maxFaultMs)
            return std::nullopt;
        fault.kind = kind == QLatin1String("delay") ? Delay : Gap;
        return fault;
    }
    if (kind == QLatin1String("range")) {
        fault.kind = Range;
        if (words.size() == 1)
            return fault;
        if (words.size() == 3 && parseTemperature(words.at(1), &fault.first) &&
            parseTemperature(words.at(2), &fault.second))
            return fault;
        return std::nullopt;
    }
    return std::nullopt;
}

QString SimulatedDevice::Fault::toString() const
{
    switch (kind) {
    case None:
        return QStringLiteral("none");
    case Silent:
        return QStringLiteral("silent");
    case BadCrc:
        return QStringLiteral("badcrc");
    case Delay:
        return QStringLiteral("delay %1").arg(ms);
    case Gap:
        return QStringLiteral("gap %1").arg(ms);
    case Range:
        return QStringLiteral("range %1 %2").arg(number(first), number(second));
    }
    return QString();
}

bool SimulatedDevice::Fault::operator==(const Fault &other) const
{
    if (kind != other.kind)
        return false;
    if (kind == Delay || kind == Gap)
        return ms == other.ms;
    if (kind == Range)
        return toRaw(first) == toRaw(other.first) && toRaw(second) == toRaw(other.second);
    return true;
}

SimulatedDevice::SimulatedDevice(quint8 address)
    : m_address(address)
{
    // Distinct values per address, so that one can tell the channels apart in a demo.
    const double first = 20.0 + address % 10;
    setTemperatures(first, first - 2.5);
}

void SimulatedDevice::setTemperatures(double first, double second)
{
    m_value[0] = m_setPoint[0] = qBound(minTemperature, first, maxTemperature);
    m_value[1] = m_setPoint[1] = qBound(minTemperature, second, maxTemperature);
}

double SimulatedDevice::temperature(int channel) const
{
    return m_value[channel == 0 ? 0 : 1];
}

double SimulatedDevice::setPoint(int channel) const
{
    return m_setPoint[channel == 0 ? 0 : 1];
}

qint16 SimulatedDevice::rawTemperature(int channel) const
{
    return toRaw(temperature(channel));
}

void SimulatedDevice::setDrift(bool on)
{
    if (m_drift == on)
        return;
    m_drift = on;
    // A fixed device shows its set point again, not wherever the walk stopped.
    if (!on) {
        m_value[0] = m_setPoint[0];
        m_value[1] = m_setPoint[1];
    }
}

void SimulatedDevice::driftStep(QRandomGenerator &random)
{
    if (!m_drift)
        return;
    for (int i = 0; i < 2; ++i) {
        const double step = (random.generateDouble() * 2.0 - 1.0) * driftStepMax;
        // The pull keeps the walk near the set point without the bound acting as a wall.
        const double pull = (m_setPoint[i] - m_value[i]) * 0.05;
        const double low = qMax(minTemperature, m_setPoint[i] - driftBound);
        const double high = qMin(maxTemperature, m_setPoint[i] + driftBound);
        m_value[i] = qBound(low, m_value[i] + pull + step, high);
    }
}

qint16 SimulatedDevice::toRaw(double temperature)
{
    if (!std::isfinite(temperature))
        return 0;
    const double tenths = std::round(temperature * 10.0);
    return static_cast<qint16>(qBound(-32768.0, tenths, 32767.0));
}
