// Any bytes a device server sends, in any split: the telnet layer must neither crash nor grow
// without bound, must give the same result however the bytes are split, and must hand back
// exactly what it was given once that went through its own escaping.
#include "network/telnetcodec.h"

#include <algorithm>
#include <cstdint>

namespace {
TelnetCodec::Output feed(const char *bytes, qint64 size, qint64 step, bool started, int *error)
{
    TelnetCodec codec;
    if (started)
        codec.start();
    TelnetCodec::Output out;
    for (qint64 at = 0; at < size; at += step)
        codec.receive(bytes + at, std::min(step, size - at), &out);
    *error = int(codec.error());
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 4096)
        return 0;
    const bool started = data[0] & 0x80;
    const qint64 step = data[0] % 17 + 1;
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const qint64 length = qint64(size - 1);

    int wholeError = 0;
    int splitError = 0;
    const TelnetCodec::Output whole =
        feed(bytes, length, std::max<qint64>(length, 1), started, &wholeError);
    const TelnetCodec::Output split = feed(bytes, length, step, started, &splitError);
    if (whole.data != split.data || whole.reply != split.reply ||
        whole.messages != split.messages || wholeError != splitError)
        __builtin_trap();
    if (whole.data.size() > length)
        __builtin_trap();
    for (const TelnetCodec::Message &message : whole.messages) {
        if (message.value.size() >= TelnetCodec::subnegotiationLimit)
            __builtin_trap();
    }

    int escapedError = 0;
    const QByteArray escaped = TelnetCodec::escape(bytes, length);
    const TelnetCodec::Output back =
        feed(escaped.constData(), escaped.size(), step, false, &escapedError);
    if (back.data != QByteArray(bytes, length) || escapedError != 0 || !back.reply.isEmpty())
        __builtin_trap();
    return 0;
}
