#include "effectsoundoutput.h"

#include <QFile>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>
#include <QtEndian>

namespace {
// Qt's sample cache waits for ever for bytes that a truncated file never delivers,
// and its loader thread then blocks the deletion of every later sound, which hangs
// the station. Only files that the WAVE decoder can read to the end are handed over.
bool isCompleteWave(const QString &path)
{
    // Regular files only: opening a FIFO or a device could block.
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    const QByteArray riff = file.read(12);
    if (riff.size() != 12 || !riff.startsWith("RIFF") || riff.mid(8, 4) != "WAVE")
        return false;

    qint64 frameBytes = 0;
    qint64 pos = 12;
    while (pos + 8 <= size) {
        if (!file.seek(pos))
            return false;
        const QByteArray header = file.read(8);
        if (header.size() != 8)
            return false;
        const qint64 length = qFromLittleEndian<quint32>(header.constData() + 4);
        if (pos + 8 + length > size)
            return false;
        const QByteArray id = header.left(4);
        if (id == "data") {
            // The decoder delivers whole frames only and waits for the rest of a partial one.
            return frameBytes > 0 && length % frameBytes == 0;
        }
        // The decoder does not skip the pad byte after an odd-sized chunk.
        if (length % 2 != 0)
            return false;
        if (id == "fmt ") {
            if (length < 16)
                return false;
            const QByteArray format = file.read(16);
            if (format.size() != 16)
                return false;
            const qint64 channels = qFromLittleEndian<quint16>(format.constData() + 2);
            const qint64 bits = qFromLittleEndian<quint16>(format.constData() + 14);
            frameBytes = channels * (bits / 8);
        }
        pos += 8 + length;
    }
    return false;
}
} // namespace

EffectSoundOutput::EffectSoundOutput(const QString &file)
    : path(file)
{
    if (file.isEmpty() || !isCompleteWave(file))
        return;
    effect = std::make_unique<QSoundEffect>();
    effect->setSource(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    QObject::connect(effect.get(), &QSoundEffect::playingChanged, effect.get(), [this] {
        // A sound that could not play falls silent with its passes still to go.
        if (wanted && !effect->isPlaying() && effect->loopsRemaining() == 0) {
            wanted = false;
            tellPassesEnded();
        }
    });
}

EffectSoundOutput::~EffectSoundOutput()
{
    stop();
}

void EffectSoundOutput::setLoops(int loops)
{
    if (effect)
        effect->setLoopCount(loops);
}

void EffectSoundOutput::play()
{
    if (!effect)
        return;
    wanted = false;
    effect->play();
    wanted = true;
}

void EffectSoundOutput::stop()
{
    wanted = false;
    if (effect)
        effect->stop();
}

bool EffectSoundOutput::isPlaying() const
{
    return effect && effect->isPlaying();
}

QString EffectSoundOutput::source() const
{
    return path;
}

bool EffectSoundOutput::isLoaded() const
{
    return effect && effect->status() == QSoundEffect::Ready;
}
