#include "logfilereader.h"

#include <QList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
void check(bool condition)
{
    if (!condition)
        abort();
}

struct Point
{
    int channel;
    double key;
    double value;
    bool operator==(const Point &other) const
    {
        return channel == other.channel && key == other.key && value == other.value;
    }
};

struct Reading
{
    explicit Reading(QByteArrayView bytes, qsizetype piece)
        : log([this](int channel, double key, double value) {
            points.append({channel, key, value});
        })
    {
        for (qsizetype at = 0; at < bytes.size(); at += piece)
            log.feed(bytes.sliced(at, qMin(piece, bytes.size() - at)));
        log.finish();
    }

    QList<Point> points;
    LogFileReader log;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const Reading whole(bytes, qMax(bytes.size(), qsizetype(1)));
    const LogFileReader &log = whole.log;

    const int channels = log.channelCount();
    check(channels >= 0 && channels <= Station::ChannelCount);
    check(channels > 0 || log.problem() == LogFileReader::Problem::BadChannelCount);
    check(log.valueCount() == log.recordCount() * channels);
    check(log.hasRecords() || !log.hasValidValue());
    if (log.hasRecords())
        check(log.earliestKey() <= log.firstTimestamp() && log.firstTimestamp() <= log.latestKey());

    qint64 pointCount = 0;
    for (int i = -1; i <= Station::ChannelCount; ++i) {
        check(log.pointCount(i) <= log.recordCount());
        pointCount += log.pointCount(i);
    }
    check(pointCount == whole.points.size());
    for (const Point &point : whole.points) {
        check(point.channel >= 0 && point.channel < channels);
        check(Station::isValidTemperature(point.value));
        check(point.value >= log.channelMinimum(point.channel) &&
              point.value <= log.channelMaximum(point.channel));
        check(point.value >= log.minimum() && point.value <= log.maximum());
        check(point.key >= log.earliestKey() && point.key <= log.latestKey());
    }

    // Wherever the pieces of a stream end, it reads the same.
    const Reading pieces(bytes, size > 0 ? data[0] % 13 + 1 : 1);
    check(pieces.log.problem() == log.problem());
    check(pieces.log.recordCount() == log.recordCount());
    check(pieces.log.skippedTokens() == log.skippedTokens());
    check(pieces.points == whole.points);
    for (int i = 0; i < channels; ++i)
        check(pieces.log.channelName(i) == log.channelName(i));
    return 0;
}
