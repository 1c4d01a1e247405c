#include "journalfile.h"

#include "logfilewriter.h"

#include "textcodecs.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {
constexpr qint64 tailChunk = 4096;
} // namespace

QString JournalFile::path(const QString &directory, quint32 time)
{
    return directory + JournalEntry::fileName(QDateTime::fromSecsSinceEpoch(time));
}

bool JournalFile::append(const QString &directory, const JournalEntry &entry)
{
    const QString target = path(directory, entry.time);
    if (target != checked && cutTornLine(target))
        checked = target;
    const bool written = LogFileWriter::appendWhole(
        target, LogFileWriter::encoded(entry.line() + QLatin1Char('\n')), error);
    // A cut line that stays is looked for again before the next one.
    if (!written)
        checked.clear();
    settle(target, written);
    return written;
}

bool JournalFile::cutTornLine(const QString &target)
{
    QFile file(target);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const qint64 size = file.size();
    qint64 end = size;
    // Back to the last line break, a chunk at a time: a torn line is short.
    while (end > 0) {
        const qint64 from = qMax<qint64>(0, end - tailChunk);
        if (!file.seek(from))
            return false;
        const QByteArray chunk = file.read(end - from);
        const qsizetype at = chunk.lastIndexOf('\n');
        if (at >= 0) {
            end = from + at + 1;
            break;
        }
        end = from;
    }
    if (end == size)
        return true;
    qWarning("Journal file %s: removed a line cut short at its end", qUtf8Printable(target));
    return file.resize(end);
}

void JournalFile::settle(const QString &target, bool written)
{
    if (written) {
        if (failing)
            qWarning("Journal file %s: written again, %lld events lost", qUtf8Printable(target),
                     lost);
        failing = false;
        return;
    }
    if (!failing) {
        failing = true;
        lost = 0;
        qWarning("Journal file %s: %s; events are lost until writing works again",
                 qUtf8Printable(target), qUtf8Printable(error));
    }
    ++lost;
}

QList<JournalEntry> JournalFile::read(const QString &source, int *skipped)
{
    QList<JournalEntry> entries;
    int bad = 0;
    QFile file(source);
    if (file.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = file.readAll().split('\n');
        // What follows the last line break is a line the power cut short, or nothing.
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const bool torn = i == lines.size() - 1;
            JournalEntry entry;
            if (!torn && JournalEntry::parse(decodeStationText(lines[i]), &entry))
                entries << entry;
            else if (!lines[i].isEmpty())
                ++bad;
        }
    }
    if (skipped)
        *skipped = bad;
    return entries;
}

QList<QDate> JournalFile::months(const QString &directory)
{
    static const QRegularExpression name(QStringLiteral("^journal-(\\d{4})-(\\d{2})\\.txt$"));
    QList<QDate> found;
    const QStringList files =
        QDir(directory).entryList({QStringLiteral("journal-*.txt")}, QDir::Files, QDir::Name);
    for (const QString &file : files) {
        const QRegularExpressionMatch match = name.match(file);
        const QDate month(match.captured(1).toInt(), match.captured(2).toInt(), 1);
        if (match.hasMatch() && month.isValid())
            found.prepend(month);
    }
    return found;
}
