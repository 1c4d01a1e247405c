#pragma once

#include <QDateTime>
#include <QList>
#include <QtGlobal>

#include <array>

// How well each polled device answers: requests, good answers, answers that failed their check,
// requests left without a valid answer, and when the device last answered. The station feeds it
// from its poll requests, its receive path and its time-outs; a new search starts it afresh.
//
// A request is settled once its fate is known: by a good answer, or, without one, when the next
// request goes to the same device or the station gives the device up. Only settled requests
// count towards the answer rate.
class LinkHealth
{
public:
    // Settled requests the overall answer rate is taken over.
    static constexpr int RateWindow = 100;
    // Unanswered requests in a row after which a device is reported silent: the station gives a
    // device up after as many.
    static constexpr int SilenceLimit = 21;

    struct Device
    {
        quint8 address = 0;
        quint64 requests = 0;
        quint64 answers = 0;
        // Bytes came back but made no valid answer (frame check or shape).
        quint64 checkFailures = 0;
        // Requests settled without a valid answer, check failures included.
        quint64 missing = 0;
        QDateTime lastAnswer;
        int unansweredInRow = 0;
    };

    void reset();

    // A temperature request went to `address`. True when it settles that device's
    // SilenceLimit-th unanswered request in a row.
    bool requestSent(quint8 address);
    // Bytes arrived after the last request; they are a check failure unless an answer follows.
    void bytesArrived();
    // The device last asked gave a valid answer.
    void answered(quint8 address, const QDateTime &at);
    // The station gave the device up without an answer. True as for requestSent().
    bool timedOut(quint8 address);

    // Devices in the order they were first asked.
    const QList<Device> &devices() const { return known; }
    const Device *device(quint8 address) const;
    // Percentage of the last RateWindow settled requests that were answered, rounded down so
    // that 100 means none was lost; -1 before any request is settled.
    int answerRate() const;

private:
    enum class Pending { None, Waiting, Garbled };

    Device &entry(quint8 address);
    bool settleUnanswered(quint8 address);
    void record(bool answeredInTime);

    QList<Device> known;
    // The fate of each device's last request while it is open.
    std::array<Pending, 256> pending{};
    int lastAsked = -1;
    std::array<bool, RateWindow> outcomes{};
    int outcomeCount = 0;
    int outcomeNext = 0;
    int answeredInWindow = 0;
};
