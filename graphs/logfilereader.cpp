#include "logfilereader.h"

#include "textcodecs.h"

#include <charconv>

namespace {

// Walks the white-space separated tokens of a text without copying them.
class Tokens
{
public:
    explicit Tokens(const QString &source)
        : text(source)
    {}

    // False at the end of the text. `terminated` tells whether white space
    // follows the token: a log is written token by token, each with its tab, so
    // a last token without one may have been cut short.
    bool next(QStringView &token, bool &terminated)
    {
        const qsizetype size = text.size();
        while (pos < size && text.at(pos).isSpace())
            ++pos;
        if (pos == size)
            return false;
        const qsizetype start = pos;
        while (pos < size && !text.at(pos).isSpace())
            ++pos;
        token = QStringView(text).mid(start, pos - start);
        terminated = pos < size;
        return true;
    }

private:
    const QString &text;
    qsizetype pos = 0;
};

// Whole token as a number in the C locale. Numbers are plain ASCII, so any other
// character makes the token no number; QString's own conversions are many times
// slower, which shows on logs of millions of values.
template<typename T>
bool parseNumber(QStringView token, T &value)
{
    char buffer[64];
    if (token.size() > qsizetype(sizeof buffer))
        return false;
    for (qsizetype i = 0; i < token.size(); ++i) {
        const char16_t c = token[i].unicode();
        if (c > 0x7f)
            return false;
        buffer[i] = char(c);
    }
    const char *end = buffer + token.size();
    const std::from_chars_result result = std::from_chars(buffer, end, value);
    return result.ec == std::errc() && result.ptr == end;
}

} // namespace

LogFileReader::LogFileReader(const QByteArray &bytes)
{
    parse(decodeStationText(bytes));
}

QString LogFileReader::channelName(int channel) const
{
    return isChannel(channel) ? data[channel].name : QString();
}

const QVector<double> &LogFileReader::keys(int channel) const
{
    static const QVector<double> none;
    return isChannel(channel) ? data[channel].keys : none;
}

const QVector<double> &LogFileReader::values(int channel) const
{
    static const QVector<double> none;
    return isChannel(channel) ? data[channel].values : none;
}

float LogFileReader::channelMinimum(int channel) const
{
    return isChannel(channel) ? data[channel].minimum : 0.0f;
}

float LogFileReader::channelMaximum(int channel) const
{
    return isChannel(channel) ? data[channel].maximum : 0.0f;
}

void LogFileReader::parse(const QString &text)
{
    Tokens tokens(text);
    QStringView token;
    bool terminated = false;

    // Nothing else in the file can be trusted without a sane count: it is the only
    // thing that splits the token stream into records.
    int count = 0;
    if (!tokens.next(token, terminated) || !parseNumber(token, count) || count < 1 ||
        count > Station::ChannelCount) {
        readProblem = Problem::BadChannelCount;
        return;
    }
    channels = count;
    for (int i = 0; i < channels; ++i) {
        if (!tokens.next(token, terminated))
            return;
        data[i].name = token.toString();
    }

    std::array<float, Station::ChannelCount> row{};
    while (tokens.next(token, terminated)) {
        quint32 stamp = 0;
        if (!parseNumber(token, stamp)) {
            readProblem = Problem::MalformedToken;
            return;
        }
        for (int i = 0; i < channels; ++i) {
            if (!tokens.next(token, terminated)) {
                readProblem = Problem::CutOffRecord;
                return;
            }
            if (!parseNumber(token, row[i])) {
                readProblem = Problem::MalformedToken;
                return;
            }
        }
        if (!terminated) {
            readProblem = Problem::CutOffRecord;
            return;
        }
        addRecord(stamp, row.data());
    }
}

void LogFileReader::addRecord(quint32 stamp, const float *recordValues)
{
    const double key = stamp;
    if (records == 0) {
        firstStamp = stamp;
        earliest = latest = key;
    } else {
        ascending = ascending && key >= latest;
        earliest = qMin(earliest, key);
        latest = qMax(latest, key);
    }
    ++records;

    for (int i = 0; i < channels; ++i) {
        const float value = recordValues[i];
        if (!Station::isValidTemperature(value))
            continue;
        Channel &channel = data[i];
        if (channel.values.isEmpty()) {
            channel.minimum = channel.maximum = value;
        } else {
            channel.minimum = qMin(channel.minimum, value);
            channel.maximum = qMax(channel.maximum, value);
        }
        channel.keys.append(key);
        channel.values.append(value);

        if (!anyValid) {
            lowest = highest = value;
            anyValid = true;
        } else {
            lowest = qMin(lowest, value);
            highest = qMax(highest, value);
        }
    }
}
