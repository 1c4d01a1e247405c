#pragma once

#include "station.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <array>

// Reads a station log: tokens separated by white space, a header of the channel
// count and one name per channel, then records of a time stamp and one value per
// channel. Only values a sensor can really report are kept as points; every value
// of a complete record is counted all the same.
class LogFileReader
{
public:
    // What stopped the reading early; the complete records before it are kept.
    enum class Problem {
        None,
        BadChannelCount, // the count is missing, not a number or outside 1..Station::ChannelCount
        MalformedToken,  // a record token is not a number; nothing after it is trusted
        CutOffRecord,    // the data ends inside a record, e.g. one still being written
    };

    explicit LogFileReader(const QByteArray &bytes);

    Problem problem() const { return readProblem; }
    // Number of channels of the header; 0 when the header is unusable.
    int channelCount() const { return channels; }
    // Empty for a channel outside the header or a name the file does not hold.
    QString channelName(int channel) const;

    bool hasRecords() const { return records > 0; }
    qint64 recordCount() const { return records; }
    // Values of all complete records, out-of-range ones included.
    qint64 valueCount() const { return records * channels; }
    quint32 firstTimestamp() const { return firstStamp; }
    // Earliest and latest record time; a clock set back makes them differ from
    // the first and last record.
    double earliestKey() const { return earliest; }
    double latestKey() const { return latest; }
    bool keysAscending() const { return ascending; }

    const QVector<double> &keys(int channel) const;
    const QVector<double> &values(int channel) const;
    // Range of the plotted values; meaningful only when there is at least one.
    float channelMinimum(int channel) const;
    float channelMaximum(int channel) const;

    bool hasValidValue() const { return anyValid; }
    float minimum() const { return lowest; }
    float maximum() const { return highest; }

private:
    struct Channel
    {
        QString name;
        QVector<double> keys;
        QVector<double> values;
        float minimum = 0;
        float maximum = 0;
    };

    void parse(const QString &text);
    void addRecord(quint32 stamp, const float *recordValues);
    bool isChannel(int channel) const { return channel >= 0 && channel < channels; }

    std::array<Channel, Station::ChannelCount> data;
    Problem readProblem = Problem::None;
    int channels = 0;
    qint64 records = 0;
    quint32 firstStamp = 0;
    double earliest = 0;
    double latest = 0;
    bool ascending = true;
    bool anyValid = false;
    float lowest = 0;
    float highest = 0;
};
