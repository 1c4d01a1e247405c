// Any bytes the line delivers, in any split, with the station in any link state: the receive
// path must neither crash nor read outside a block, and a block that fails its checks must not
// change the station's state.
#include "modbus.h"
#include "velunor.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cstring>

namespace {
QApplication *application = nullptr;
Velunor *station = nullptr;

struct Snapshot
{
    int deviceCount;
    int pollIndex;
    bool pollActive;
    unsigned int noAnswer;
    float temps[Velunor::ChannelCount];

    explicit Snapshot(const Velunor &w)
        : deviceCount(w.DeviceCount)
        , pollIndex(w.PollIndex)
        , pollActive(w.PollActive)
        , noAnswer(w.NoAnswerCount)
    {
        std::memcpy(temps, w.CurrentTemp, sizeof(temps));
    }
    bool operator==(const Snapshot &o) const
    {
        return deviceCount == o.deviceCount && pollIndex == o.pollIndex &&
               pollActive == o.pollActive && noAnswer == o.noAnswer &&
               std::memcmp(temps, o.temps, sizeof(temps)) == 0;
    }
};

// Whether any stretch of the bytes is a frame with a valid check.
bool containsValidFrame(const QByteArray &bytes)
{
    const auto *b = reinterpret_cast<const quint8 *>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype start = 0; start + 4 <= n; ++start) {
        quint16 crc = 0xFFFF;
        for (qsizetype end = start; end + 2 < n; ++end) {
            crc ^= b[end];
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
            if (end - start >= 1 && b[end + 1] == (crc & 0xFF) && b[end + 2] == (crc >> 8))
                return true;
        }
    }
    return false;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    // Kept for the life of the process: destroying Qt from exit() leaves it half torn down.
    application = new QApplication(*argc, *argv);
    static QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    station = new Velunor;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 6 || size > 1024)
        return 0;
    Velunor &w = *station;
    // The first bytes choose the link state, the rest is what arrives.
    w.SearchActive = data[0] & 1;
    w.PollActive = data[0] & 2;
    w.SearchAddress = data[1];
    w.DeviceCount = data[2] % 9;
    w.PollIndex = int(data[3] % 10) - 1;
    w.NoAnswerCount = data[4];
    for (int i = 0; i < 8; ++i)
        w.DeviceAddress[i] = quint8(data[5] + i);
    const uint8_t splitStep = data[5] % 7 + 1;
    const QByteArray line(reinterpret_cast<const char *>(data + 6), qsizetype(size - 6));

    w.DiscardReceived(); // nothing of the last input may leak into this one
    const Snapshot before(w);
    for (qsizetype at = 0; at < line.size(); at += splitStep)
        w.ProcessAnswer(line.mid(at, splitStep));

    if (!containsValidFrame(line) && !(Snapshot(w) == before))
        __builtin_trap();
    if (w.DeviceCount < 0 || w.DeviceCount > 256 ||
        w.PollIndex > std::max(before.pollIndex, before.deviceCount))
        __builtin_trap();
    return 0;
}
