#include "logfilereader.h"

#include "textcodecs.h"

#include <QStringList>

#include <algorithm>
#include <charconv>
#include <iterator>

namespace {

// White space as QChar::isSpace() sees it in ASCII. Every byte of a multi-byte character
// is above 0x7f, so the bytes of a name are never taken for a separator.
bool isSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Time stamps since 2001 have ten digits; no value a device reports ends in as many.
constexpr int StampDigits = 10;

qsizetype trailingDigits(const char *begin, const char *end)
{
    const char *digits = end;
    while (digits != begin && isDigit(digits[-1]))
        --digits;
    return end - digits;
}

// The forms a station writes, time stamps and values such as "-12.5", read directly: from_chars
// takes a third of the time a log of millions of values needs to open.
bool parsePlain(const char *begin, const char *end, quint32 &value)
{
    if (begin == end || end - begin > 10)
        return false;
    quint64 number = 0;
    for (const char *digit = begin; digit != end; ++digit) {
        const unsigned figure = unsigned(*digit - '0');
        if (figure > 9)
            return false;
        number = number * 10 + figure;
    }
    if (number > 0xffffffffu)
        return false;
    value = quint32(number);
    return true;
}

// Up to 7 digits and a power of ten up to 10^7 are exact in a float, and the quotient of exact
// floats is rounded as from_chars rounds the decimal number.
bool parsePlain(const char *begin, const char *end, float &value)
{
    static constexpr float Tens[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f};
    const bool negative = begin != end && *begin == '-';
    quint32 mantissa = 0;
    int digits = 0;
    int decimals = -1;
    for (const char *digit = begin + negative; digit != end; ++digit) {
        if (*digit == '.' && decimals < 0 && digits > 0) {
            decimals = 0;
            continue;
        }
        const unsigned figure = unsigned(*digit - '0');
        if (figure > 9 || ++digits > 7)
            return false;
        mantissa = mantissa * 10 + figure;
        decimals += decimals >= 0;
    }
    if (digits == 0 || decimals == 0)
        return false;
    const float magnitude = float(mantissa) / Tens[qMax(decimals, 0)];
    value = negative ? -magnitude : magnitude;
    return true;
}

bool parsePlain(const char *, const char *, int &)
{
    return false;
}

// Whole token as a number in the C locale, as from_chars reads it.
template<typename T>
bool parseNumber(const char *begin, const char *end, T &value)
{
    if (parsePlain(begin, end, value))
        return true;
    // Longer tokens are no number a station writes.
    if (end - begin > 64)
        return false;
    const std::from_chars_result result = std::from_chars(begin, end, value);
    return result.ec == std::errc() && result.ptr == end;
}

} // namespace

LogFileReader::LogFileReader(PointSink pointSink)
    : sink(std::move(pointSink))
{}

QString LogFileReader::channelName(int channel) const
{
    return isChannel(channel) ? data[channel].name : QString();
}

qint64 LogFileReader::pointCount(int channel) const
{
    return isChannel(channel) ? data[channel].points : 0;
}

float LogFileReader::channelMinimum(int channel) const
{
    return isChannel(channel) ? data[channel].minimum : 0.0f;
}

float LogFileReader::channelMaximum(int channel) const
{
    return isChannel(channel) ? data[channel].maximum : 0.0f;
}

void LogFileReader::feed(QByteArrayView bytes)
{
    if (expect == Expect::Nothing)
        return;
    const char *next = bytes.data();
    const char *const end = next + bytes.size();
    if (discarding || !pending.isEmpty()) {
        const char *tokenEnd = std::find_if(next, end, isSpace);
        if (!discarding)
            pending.append(next, tokenEnd - next);
        if (tokenEnd == end) {
            // Only a name may be this long; a number that is not is taken for what it is now.
            if (!discarding && expect != Expect::Name && pending.size() > 128) {
                take(pending.constData(), pending.constData() + pending.size(), false);
                pending.clear();
                discarding = true;
            }
            return;
        }
        if (!discarding)
            take(pending.constData(), pending.constData() + pending.size(), true);
        pending.clear();
        discarding = false;
        next = tokenEnd;
    }
    while (expect != Expect::Nothing) {
        while (next != end && isSpace(*next))
            ++next;
        const char *const token = next;
        while (next != end && !isSpace(*next))
            ++next;
        if (next == end) {
            pending.append(token, next - token);
            return;
        }
        take(token, next, true);
    }
}

void LogFileReader::finish()
{
    // A log is written token by token, each with its tab: a last one without may be cut short.
    if (!pending.isEmpty() && expect != Expect::Nothing)
        take(pending.constData(), pending.constData() + pending.size(), false);
    pending.clear();
    discarding = false;
    if (expect == Expect::Count)
        stop(Problem::BadChannelCount);
    if (expect == Expect::Name)
        decodeNames();
    if (expect == Expect::Value)
        stop(Problem::CutOffRecord);
    if (expect == Expect::Resync)
        stop(Problem::MalformedToken);
    expect = Expect::Nothing;
}

void LogFileReader::stop(Problem problem)
{
    readProblem = problem;
    expect = Expect::Nothing;
    pending.clear();
}

void LogFileReader::take(const char *begin, const char *end, bool terminated)
{
    switch (expect) {
    case Expect::Count: {
        if (firstToken) {
            firstToken = false;
            // A byte order mark, as editors may put in front.
            if (QByteArrayView(begin, end).startsWith("\xef\xbb\xbf")) {
                begin += 3;
                if (begin == end)
                    return;
            }
        }
        // Nothing else in the file can be trusted without a sane count: it is the only
        // thing that splits the token stream into records.
        int count = 0;
        if (!parseNumber(begin, end, count) || count < 1 || count > Station::ChannelCount) {
            stop(Problem::BadChannelCount);
            return;
        }
        channels = count;
        expect = Expect::Name;
        return;
    }
    case Expect::Name:
        if (taken > 0)
            names += '\t';
        names.append(begin, end - begin);
        if (++taken == channels) {
            decodeNames();
            taken = 0;
            expect = Expect::Stamp;
        }
        return;
    case Expect::Stamp:
        if (!parseNumber(begin, end, stamp)) {
            // Before the first record it is the header that is wrong, not a record.
            if (records == 0)
                stop(Problem::MalformedToken);
            else
                resync(1);
            return;
        }
        expect = Expect::Value;
        return;
    case Expect::Value: {
        // What a station writes takes the shortcut; only what does not can be a cut.
        if (!parsePlain(begin, end, row[taken]) && !takeOddValue(begin, end))
            return;
        if (++taken < channels)
            return;
        if (!terminated) {
            stop(Problem::CutOffRecord);
            return;
        }
        addRecord();
        taken = 0;
        expect = Expect::Stamp;
        return;
    }
    case Expect::Resync:
        if (isNextStamp(begin, end, stamp)) {
            expect = Expect::Value;
            return;
        }
        ++skipped;
        return;
    case Expect::Nothing:
        return;
    }
}

bool LogFileReader::takeOddValue(const char *begin, const char *end)
{
    if (stamp >= FirstStamp) {
        // The next record's time stamp: this one was cut short.
        quint32 next = 0;
        if (parsePlain(begin, end, next) && next >= FirstStamp) {
            resync(0);
            stamp = next;
            expect = Expect::Value;
            return false;
        }
        // A value cut short, run together with the next record's time stamp.
        if (trailingDigits(begin, end) >= StampDigits) {
            resync(1);
            return false;
        }
    }
    if (parseNumber(begin, end, row[taken]))
        return true;
    resync(1);
    return false;
}

void LogFileReader::resync(qint64 tokens)
{
    // The time stamp and values of the torn record, if any were read.
    skipped += tokens + (expect == Expect::Value ? 1 + taken : 0);
    taken = 0;
    expect = Expect::Resync;
}

bool LogFileReader::isNextStamp(const char *begin, const char *end, quint32 &value) const
{
    quint32 number = 0;
    if (!parsePlain(begin, end, number) || number < FirstStamp || number <= lastStamp)
        return false;
    value = number;
    return true;
}

// Only names can hold other than ASCII, so the header alone tells UTF-8 from CP-1251.
void LogFileReader::decodeNames()
{
    const QStringList decoded = decodeStationText(names).split(QLatin1Char('\t'));
    for (int i = 0; i < channels && i < decoded.size(); ++i)
        data[i].name = decoded[i];
    names.clear();
}

void LogFileReader::addRecord()
{
    const double key = stamp;
    lastStamp = stamp;
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
        const float value = row[i];
        if (!Station::isValidTemperature(value))
            continue;
        Channel &channel = data[i];
        if (channel.points++ == 0) {
            channel.minimum = channel.maximum = value;
        } else {
            channel.minimum = qMin(channel.minimum, value);
            channel.maximum = qMax(channel.maximum, value);
        }
        if (sink)
            sink(i, key, value);

        if (!anyValid) {
            lowest = highest = value;
            anyValid = true;
        } else {
            lowest = qMin(lowest, value);
            highest = qMax(highest, value);
        }
    }
}
