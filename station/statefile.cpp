#include "statefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
// Far beyond what the station writes: anything larger is not its file.
constexpr qint64 maxStateBytes = 4096;
const QByteArray recordingKey = QByteArrayLiteral("recording");
} // namespace

bool StateFile::readRecording(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        qWarning("Can not open file %s to read", qUtf8Printable(path));
        return false;
    }
    bool recording = false;
    for (const QByteArray &line : file.read(maxStateBytes).split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (line.startsWith('#') || eq < 0 || line.left(eq).trimmed() != recordingKey)
            continue;
        recording = line.mid(eq + 1).trimmed() == "on";
    }
    return recording;
}

bool StateFile::save(bool recording, const QString &path)
{
    const QByteArray content =
        QByteArrayLiteral("# Grelvix station state, written by the station\n") + recordingKey +
        (recording ? "=on\n" : "=off\n");
    // Written aside and renamed: a kill or a power cut leaves the previous file whole.
    QSaveFile file(path);
    // Qt's commit renames a file that its own flush cut short: the flush must fail first.
    const bool saved = file.open(QIODevice::WriteOnly) && file.write(content) == content.size() &&
                       file.flush() && file.commit();
    if (!saved)
        qWarning("Can not open file %s to write", qUtf8Printable(path));
    return saved;
}
