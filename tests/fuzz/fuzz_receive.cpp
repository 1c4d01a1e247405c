// Any bytes the line delivers, in any split, with the link in any state: the receive path must
// neither crash nor read outside a block, and bytes holding no frame with a valid check must
// change nothing the link tells.
#include "devicelink.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {
QCoreApplication *application = nullptr;

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
    qputenv("QT_LOGGING_RULES", "*.debug=false;*.warning=false");
    // Kept for the life of the process: destroying Qt from exit() leaves it half torn down.
    application = new QCoreApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4 || size > 1024)
        return 0;
    // The first bytes choose the devices and how far a search or a poll cycle has got.
    DeviceLink link(StationTimer::Mode::Held);
    QList<quint8> devices;
    for (int i = 0; i < data[0] % 9; ++i)
        devices << quint8(data[1] + i);
    link.setDevices(devices);
    const bool searching = data[2] & 1;
    if (searching) {
        link.StartSearch();
    } else {
        for (int i = 0; i < 5; ++i)
            link.SendRequestReadTemperature();
    }
    for (int i = 0; i < data[3] % 40; ++i)
        link.ProccessCommunication();
    const qsizetype splitStep = (data[2] >> 1) % 64 + 1;
    const QByteArray line(reinterpret_cast<const char *>(data + 4), qsizetype(size - 4));

    const DeviceLink::Readings before = link.readings();
    const QList<quint8> tableBefore = link.devices();
    QSignalSpy readings(&link, &DeviceLink::readingArrived);
    QSignalSpy answers(&link, &DeviceLink::deviceAnswered);
    QSignalSpy cycles(&link, &DeviceLink::cycleFinished);
    for (qsizetype at = 0; at < line.size(); at += splitStep)
        link.ProcessAnswer(line.mid(at, splitStep));

    if (link.devices().size() > DeviceLink::MaxDevices)
        __builtin_trap();
    const bool changed = readings.count() + answers.count() + cycles.count() > 0 ||
                         link.devices() != tableBefore ||
                         std::memcmp(&before, &link.readings(), sizeof(before)) != 0;
    if (changed && !containsValidFrame(line))
        __builtin_trap();
    return 0;
}
