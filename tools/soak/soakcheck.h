#pragma once

#include <QList>
#include <QStringList>
#include <QtGlobal>

#include <array>

// Checks a station's log against what the simulator saw and sent during a soak. Times are
// milliseconds on the soak's clock.
//
// The station asks each device until one answer gets through or 21 requests went unanswered,
// device after device. The simulator's requests therefore fall into visits: runs of requests
// to one device. A visit in which an answer clearly reached the station (intact, whole before
// the next request cleared the station's receive buffer, and well before the station moved on)
// must show in the log as that device's reading; every logged reading must be an answer from a
// visit not logged before, and the visits of one record must belong to one cycle.
namespace SoakCheck {

constexpr int PacingMs = 45;
constexpr int MaxChannels = 12;

struct Request
{
    qint64 ms = 0;
    int device = 0;
};

struct Answer
{
    qint64 ms = 0; // its last byte written
    int device = 0;
    qint16 first = 0; // tenths of a degree, as sent
    qint16 second = 0;
    bool intact = true; // its check bytes hold
    // Requests received before its last byte and, at the latest, before its first byte went out
    // (times may be equal, the order of events is not).
    int requestsBefore = 0;
    int requestsAtFirstByte = 0;
};

// The port removed and brought back.
struct Outage
{
    qint64 fromMs = 0;
    qint64 toMs = 0;
};

struct Record
{
    qint64 ms = 0;      // when the soak saw it in the file
    qint64 afterMs = 0; // the last time the soak read the file without it
    quint32 stamp = 0;
    QList<float> values;
};

struct Input
{
    int devices = 6;
    int periodMs = 1000;
    // Time an answer needs to be taken before the station's next tick, and slack for requests
    // that the soak reads after it has seen the record they led to.
    int receiveMarginMs = 15;
    int observeLagMs = 100;
    // Allowed beyond the period and the cycle for the time between two records.
    int gapMarginMs = 0;
    qint64 endMs = 0;
    QList<Request> requests; // in the order received
    QList<Answer> answers;   // in the order written
    QList<Outage> outages;
    QList<Record> records;
};

struct Result
{
    qint64 numbers = 0;    // readings logged and found among the answers
    qint64 noReadings = 0; // "nan" logged where no answer got through
    qint64 mismatches = 0;
    qint64 notAnswered = 0; // logged readings no answer of that cycle carried: stale or made up
    qint64 lost = 0;        // answers that got through and were not logged
    QStringList examples;   // the first mismatches, described
    std::array<qint64, MaxChannels> longestGapMs{};
    qint64 worstGapMs = 0;  // the gap that came closest to its goal (or went furthest past it)
    qint64 worstGoalMs = 0; // and that goal: the period plus its cycle, plus the margin
    bool gapsWithinGoal = true;
};

Result check(const Input &input);

} // namespace SoakCheck
