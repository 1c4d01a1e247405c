#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

class QRandomGenerator;

// One measuring device as the simulator plays it: two temperatures, either fixed or drifting
// around a set point, and at most one fault at a time.
class SimulatedDevice
{
public:
    struct Fault
    {
        enum Kind { None, Silent, BadCrc, Delay, Gap, Range };

        Kind kind = None;
        int ms = 0;            // Delay: before the answer; Gap: between its bytes
        double first = 125.0;  // Range: what is answered instead of the real values
        double second = -55.0; // (both bounds are out of range for the station)

        // "none", "silent", "badcrc", "delay 200", "gap 2", "range", "range 130 -60.5";
        // ':' and ',' are accepted as separators too ("delay:200", "range:130,-60.5").
        static std::optional<Fault> fromString(const QString &text);
        QString toString() const;

        bool operator==(const Fault &other) const;
        bool operator!=(const Fault &other) const { return !(*this == other); }
    };

    // A drifting value stays within this distance of its set point.
    static constexpr double driftBound = 2.0;
    static constexpr double driftStepMax = 0.1;
    // What a tenth-of-a-degree register can hold.
    static constexpr double minTemperature = -3276.8;
    static constexpr double maxTemperature = 3276.7;

    explicit SimulatedDevice(quint8 address);

    quint8 address() const { return m_address; }

    // Sets both the set point and the current value; values outside the register range are
    // clamped to it.
    void setTemperatures(double first, double second);
    double temperature(int channel) const;
    double setPoint(int channel) const;
    // The register content: tenths of a degree, rounded.
    qint16 rawTemperature(int channel) const;

    void setDrift(bool on);
    bool drift() const { return m_drift; }
    // One step of a bounded random walk with a pull back to the set point; a no-op while the
    // drift is off.
    void driftStep(QRandomGenerator &random);

    void setFault(const Fault &fault) { m_fault = fault; }
    const Fault &fault() const { return m_fault; }

    static qint16 toRaw(double temperature);

private:
    quint8 m_address;
    double m_value[2];
    double m_setPoint[2];
    bool m_drift = false;
    Fault m_fault;
};
