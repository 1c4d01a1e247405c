#include "logfilereader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
void check(bool condition)
{
    if (!condition)
        abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const LogFileReader log(QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                    static_cast<qsizetype>(size)));

    const int channels = log.channelCount();
    check(channels >= 0 && channels <= Station::ChannelCount);
    check(channels > 0 || log.problem() == LogFileReader::Problem::BadChannelCount);
    check(log.valueCount() == log.recordCount() * channels);
    check(log.hasRecords() || !log.hasValidValue());
    if (log.hasRecords())
        check(log.earliestKey() <= log.firstTimestamp() && log.firstTimestamp() <= log.latestKey());

    for (int i = -1; i <= Station::ChannelCount; ++i) {
        const QVector<double> &keys = log.keys(i);
        const QVector<double> &values = log.values(i);
        check(keys.size() == values.size());
        check(keys.size() <= log.recordCount());
        for (qsizetype j = 0; j < values.size(); ++j) {
            check(Station::isValidTemperature(values[j]));
            check(values[j] >= log.channelMinimum(i) && values[j] <= log.channelMaximum(i));
            check(values[j] >= log.minimum() && values[j] <= log.maximum());
            check(keys[j] >= log.earliestKey() && keys[j] <= log.latestKey());
        }
    }
    return 0;
}
