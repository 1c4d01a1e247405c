#pragma once

#include "station.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <functional>

// Reads a station log as it streams in: tokens separated by white space, a header of the
// channel count and one name per channel, then records of a time stamp and one value per
// channel. Only values a sensor can really report become points; every value of a complete
// record is counted all the same.
//
// A record cut in the middle of a file (a full disk, then recording went on after it) would
// shift every token after it. The reader resynchronises instead: a time stamp where a value
// belongs, or anything but a time stamp where one belongs, drops the torn record, and reading
// goes on from the next token that is a time stamp later than the last good one. Time stamps
// and values cannot be confused: no reading of a device reaches FirstStamp.
class LogFileReader
{
public:
    // What stopped the reading early; the complete records before it are kept.
    enum class Problem {
        None,
        BadChannelCount, // the count is missing, not a number or outside 1..Station::ChannelCount
        MalformedToken,  // a record token is not a number, and no time stamp follows it
        CutOffRecord,    // the data ends inside a record, e.g. one still being written
    };

    // Readings are signed 16-bit tenths of a degree: no integer from here on is one.
    static constexpr quint32 FirstStamp = 3277;

    // Takes the points of each complete record, in the order of the file.
    using PointSink = std::function<void(int channel, double key, double value)>;

    explicit LogFileReader(PointSink pointSink = {});

    // The file in pieces of any size, then finish() once at its end.
    void feed(QByteArrayView bytes);
    void finish();

    Problem problem() const { return readProblem; }
    // Number of channels of the header; 0 when the header is unusable.
    int channelCount() const { return channels; }
    // Empty for a channel outside the header or a name the file does not hold.
    QString channelName(int channel) const;

    bool hasRecords() const { return records > 0; }
    // Tokens of torn records, and the garbage after them, left out to resynchronise.
    qint64 skippedTokens() const { return skipped; }
    qint64 recordCount() const { return records; }
    // Values of all complete records, out-of-range ones included.
    qint64 valueCount() const { return records * channels; }
    quint32 firstTimestamp() const { return firstStamp; }
    // Earliest and latest record time; a clock set back makes them differ from
    // the first and last record.
    double earliestKey() const { return earliest; }
    double latestKey() const { return latest; }
    bool keysAscending() const { return ascending; }

    qint64 pointCount(int channel) const;
    // Range of the points; meaningful only when there is at least one.
    float channelMinimum(int channel) const;
    float channelMaximum(int channel) const;

    bool hasValidValue() const { return anyValid; }
    float minimum() const { return lowest; }
    float maximum() const { return highest; }

private:
    enum class Expect { Count, Name, Stamp, Value, Resync, Nothing };

    struct Channel
    {
        QString name;
        qint64 points = 0;
        float minimum = 0;
        float maximum = 0;
    };

    void take(const char *begin, const char *end, bool terminated);
    void stop(Problem problem);
    void decodeNames();
    void addRecord();
    // A value token the shortcut does not read: a number all the same, or a sign of a record cut
    // short. True when it was taken as the value.
    bool takeOddValue(const char *begin, const char *end);
    // Drops the record being read and `tokens` more, and looks for the next time stamp.
    void resync(qint64 tokens);
    bool isNextStamp(const char *begin, const char *end, quint32 &value) const;
    bool isChannel(int channel) const { return channel >= 0 && channel < channels; }

    PointSink sink;
    Expect expect = Expect::Count;
    bool firstToken = true;
    // A token the end of a piece cut short.
    QByteArray pending;
    // The rest of an overlong token is not wanted.
    bool discarding = false;
    // The names as read, tab-separated, decoded together once the header is complete.
    QByteArray names;
    int taken = 0; // names or values of the current record read so far
    quint32 stamp = 0;
    std::array<float, Station::ChannelCount> row{};

    std::array<Channel, Station::ChannelCount> data;
    Problem readProblem = Problem::None;
    int channels = 0;
    qint64 records = 0;
    quint32 firstStamp = 0;
    quint32 lastStamp = 0;
    qint64 skipped = 0;
    double earliest = 0;
    double latest = 0;
    bool ascending = true;
    bool anyValid = false;
    float lowest = 0;
    float highest = 0;
};
