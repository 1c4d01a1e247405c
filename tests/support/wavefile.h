#pragma once

// Writes small WAVE files for tests of the alarm sound.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

namespace wavefile {

inline QByteArray chunk(const char *id, const QByteArray &payload)
{
    QByteArray bytes(id, 4);
    char length[4];
    qToLittleEndian<quint32>(quint32(payload.size()), length);
    return bytes + QByteArray(length, 4) + payload;
}

// "fmt " payload of uncompressed PCM.
inline QByteArray pcmFormat(quint16 channels, quint32 rate, quint16 bits)
{
    QByteArray format(16, '\0');
    char *p = format.data();
    const quint16 frame = quint16(channels * (bits / 8));
    qToLittleEndian<quint16>(1, p);
    qToLittleEndian<quint16>(channels, p + 2);
    qToLittleEndian<quint32>(rate, p + 4);
    qToLittleEndian<quint32>(rate * frame, p + 8);
    qToLittleEndian<quint16>(frame, p + 12);
    qToLittleEndian<quint16>(bits, p + 14);
    return format;
}

inline QByteArray riff(const QByteArray &chunks)
{
    return chunk("RIFF", QByteArray("WAVE") + chunks);
}

// A tenth of a second of silence, 8 kHz mono 16 bit: a good file that makes no noise.
inline QByteArray silence()
{
    return riff(chunk("fmt ", pcmFormat(1, 8000, 16)) + chunk("data", QByteArray(1600, '\0')));
}

inline bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace wavefile
