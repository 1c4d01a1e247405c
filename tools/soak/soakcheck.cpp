#include "soakcheck.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <limits>

namespace SoakCheck {
namespace {

constexpr qint64 never = std::numeric_limits<qint64>::max();
constexpr int keptExamples = 10;

// Requests a silent device gets before the station moves on, plus the tick that gives it up.
constexpr int ticksPerSilentDevice = 22;

struct Seen
{
    qint16 first = 0;
    qint16 second = 0;
};

struct Visit
{
    int device = 0;
    qint64 startMs = 0;
    qint64 endMs = never; // the next request to anyone, or the port going away
    bool receivable = false;
    QList<Seen> answers; // intact answers that arrived while the device was being asked
};

class Checker
{
public:
    explicit Checker(const Input &input)
        : in(input)
    {
        buildVisits();
        attachAnswers();
    }

    Result run();

private:
    bool outageWithin(qint64 from, qint64 to) const;
    int latestRequest(qint64 ms) const;
    void buildVisits();
    void attachAnswers();
    int findVisit(int device, qint64 lowMs, qint64 highMs, qint16 first, qint16 second) const;
    void checkLost(int device, int from, int to, qint64 highMs);
    bool checkDevice(int k, int device, QList<int> &used);
    qint64 goalMs(int k, const QList<int> &used) const;
    void mismatch(const QString &what);

    const Input &in;
    QList<Visit> visits;
    QList<int> visitOfRequest;
    QList<int> lastVisit;
    qint64 firstRecordMs = 0;
    Result result;
};

bool Checker::outageWithin(qint64 from, qint64 to) const
{
    return std::any_of(in.outages.begin(), in.outages.end(), [&](const Outage &outage) {
        return outage.fromMs <= to && outage.toMs >= from;
    });
}

int Checker::latestRequest(qint64 ms) const
{
    const auto after = std::upper_bound(in.requests.begin(), in.requests.end(), ms,
                                        [](qint64 t, const Request &r) { return t < r.ms; });
    return int(after - in.requests.begin()) - 1;
}

void Checker::buildVisits()
{
    for (int i = 0; i < in.requests.size(); ++i) {
        const Request &request = in.requests[i];
        const bool outage = i > 0 && outageWithin(in.requests[i - 1].ms + 1, request.ms);
        if (visits.isEmpty() || visits.last().device != request.device || outage)
            visits.append({request.device, request.ms, never, false, {}});
        visitOfRequest.append(int(visits.size()) - 1);
    }
    for (int v = 0; v < visits.size(); ++v) {
        Visit &visit = visits[v];
        visit.endMs = v + 1 < visits.size() ? visits[v + 1].startMs : in.endMs;
        for (const Outage &outage : in.outages) {
            if (outage.fromMs >= visit.startMs && outage.fromMs < visit.endMs)
                visit.endMs = outage.fromMs;
        }
    }
}

void Checker::attachAnswers()
{
    for (const Answer &answer : in.answers) {
        const int r = answer.requestsBefore - 1;
        if (!answer.intact || r < 0 || r >= in.requests.size())
            continue;
        Visit &visit = visits[visitOfRequest[r]];
        // An answer that comes while another device is asked is dropped by its address.
        if (visit.device != answer.device || outageWithin(in.requests[r].ms, answer.ms))
            continue;
        const qint64 next = r + 1 < in.requests.size() ? in.requests[r + 1].ms : in.endMs;
        // Every request clears what the station has received so far; the station needs a moment
        // to read the answer before its next tick.
        const bool clear = answer.requestsAtFirstByte == answer.requestsBefore &&
                           next - answer.ms > in.receiveMarginMs &&
                           answer.ms + in.receiveMarginMs < visit.endMs &&
                           !outageWithin(answer.ms, answer.ms + in.receiveMarginMs);
        visit.answers.append({answer.first, answer.second});
        visit.receivable = visit.receivable || clear;
    }
}

int Checker::findVisit(int device, qint64 lowMs, qint64 highMs, qint16 first, qint16 second) const
{
    for (int v = lastVisit[device] + 1; v < visits.size() && visits[v].startMs <= highMs; ++v) {
        const Visit &visit = visits[v];
        if (visit.device != device || visit.startMs <= lowMs)
            continue;
        for (const Seen &seen : visit.answers) {
            if (seen.first == first && seen.second == second)
                return v;
        }
    }
    return -1;
}

void Checker::checkLost(int device, int from, int to, qint64 highMs)
{
    for (int v = from; v < to; ++v) {
        const Visit &visit = visits[v];
        if (visit.device != device || !visit.receivable || visit.startMs <= firstRecordMs ||
            visit.endMs >= highMs)
            continue;
        ++result.lost;
        mismatch(QStringLiteral("device %1 answered at %2 ms, but no record holds it")
                     .arg(device)
                     .arg(visit.startMs));
    }
}

// One device's two values in record k; false when they do not hold.
bool Checker::checkDevice(int k, int device, QList<int> &used)
{
    const Record &record = in.records[k];
    const float a = record.values[2 * device];
    const float b = record.values[2 * device + 1];
    const QString where = QStringLiteral("record %1 (%2): T%3 %4, T%5 %6")
                              .arg(k)
                              .arg(record.stamp)
                              .arg(2 * device)
                              .arg(a)
                              .arg(2 * device + 1)
                              .arg(b);
    if (std::isnan(a) && std::isnan(b)) {
        result.noReadings += 2;
        return true;
    }
    if (std::isnan(a) || std::isnan(b)) {
        mismatch(where + QStringLiteral(": one channel of a device without a reading"));
        return false;
    }
    // The cycle of a record starts after the previous record was written.
    const qint64 lowMs = k > 0 ? in.records[k - 1].afterMs : -never;
    const int v = findVisit(device, lowMs, record.ms + in.observeLagMs,
                            qint16(std::lround(a * 10.0f)), qint16(std::lround(b * 10.0f)));
    if (v < 0) {
        ++result.notAnswered;
        mismatch(where + QStringLiteral(": not what the device answered in this cycle"));
        return false;
    }
    checkLost(device, lastVisit[device] + 1, v, never);
    lastVisit[device] = v;
    used.append(v);
    result.numbers += 2;
    return true;
}

// The time allowed from record k-1 to record k: the poll period, then record k's own cycle from
// its period tick (one pacing tick before its first request) to its record. The cycle starts
// with the visit to device 0 before the readings it logged.
qint64 Checker::goalMs(int k, const QList<int> &used) const
{
    const qint64 previous = in.records[k - 1].afterMs;
    const qint64 now = in.records[k].ms;
    qint64 cycleMs = qint64(in.devices) * ticksPerSilentDevice * PacingMs;
    if (!used.isEmpty()) {
        for (int v = *std::min_element(used.begin(), used.end()); v >= 0; --v) {
            if (visits[v].device == 0) {
                cycleMs = now - visits[v].startMs + PacingMs;
                break;
            }
        }
    } else if (outageWithin(previous, now)) {
        // With the port away the start of a cycle without readings is not seen.
        cycleMs = qMax(qint64(0), now - previous);
    } else {
        const int first = latestRequest(previous) + 1;
        if (first < in.requests.size() && in.requests[first].ms <= now)
            cycleMs = now - in.requests[first].ms + PacingMs;
    }
    return in.periodMs + cycleMs + in.gapMarginMs;
}

void Checker::mismatch(const QString &what)
{
    if (result.examples.size() < keptExamples)
        result.examples.append(what);
    ++result.mismatches;
}

Result Checker::run()
{
    const int channels = 2 * in.devices;
    lastVisit = QList<int>(in.devices, -1);
    if (in.records.isEmpty())
        return result;
    firstRecordMs = in.records.first().ms;
    QList<qint64> lastFresh(channels, firstRecordMs);
    qint64 worstExcess = -never;

    for (int k = 0; k < in.records.size(); ++k) {
        const Record &record = in.records[k];
        if (record.values.size() != channels) {
            mismatch(QStringLiteral("record %1 (%2): %3 values")
                         .arg(k)
                         .arg(record.stamp)
                         .arg(record.values.size()));
            continue;
        }
        QList<int> used;
        for (int device = 0; device < in.devices; ++device) {
            if (!checkDevice(k, device, used))
                continue;
            for (int channel : {2 * device, 2 * device + 1}) {
                result.longestGapMs[channel] =
                    qMax(result.longestGapMs[channel], record.ms - lastFresh[channel]);
                lastFresh[channel] = record.ms;
            }
        }
        // A cycle asks the devices in order, so the readings of one record do too.
        if (!std::is_sorted(used.begin(), used.end()))
            mismatch(QStringLiteral("record %1 (%2): readings from different cycles")
                         .arg(k)
                         .arg(record.stamp));
        if (k == 0)
            continue;
        const qint64 gap = record.ms - in.records[k - 1].ms;
        const qint64 goal = goalMs(k, used);
        if (gap - goal > worstExcess) {
            worstExcess = gap - goal;
            result.worstGapMs = gap;
            result.worstGoalMs = goal;
        }
    }
    result.gapsWithinGoal = worstExcess <= 0;
    for (int device = 0; device < in.devices; ++device)
        checkLost(device, lastVisit[device] + 1, int(visits.size()), in.records.last().afterMs);
    return result;
}

} // namespace

Result check(const Input &input)
{
    return Checker(input).run();
}

} // namespace SoakCheck
