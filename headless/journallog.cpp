#include "journallog.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <sys/stat.h>
#include <unistd.h>

namespace {
const char *priorityPrefix(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "<7>";
    case QtInfoMsg:
        return "<6>";
    case QtWarningMsg:
        return "<4>";
    case QtCriticalMsg:
        return "<3>";
    case QtFatalMsg:
        return "<2>";
    }
    return "<6>";
}

// A message with a line break would come out as several journal entries, all but the first
// without a priority.
QByteArray oneLine(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QString text = qFormatLogMessage(type, context, message);
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text.toLocal8Bit() + '\n';
}

// One write per line, so that lines of other writers never land inside one.
void writeLine(const QByteArray &line)
{
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.constData(), line.size());
}

void plainLine(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    writeLine(oneLine(type, context, message));
}

void journalLine(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    writeLine(priorityPrefix(type) + oneLine(type, context, message));
}

// JOURNAL_STREAM is "device:inode" of the stream systemd connected; a program whose standard
// error was redirected elsewhere still inherits the variable, so the stream itself is compared.
bool standardErrorIsJournal()
{
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    struct stat status = {};
    if (stream.isEmpty() || ::fstat(STDERR_FILENO, &status) != 0)
        return false;
    return stream == QByteArray::number(quint64(status.st_dev)) + ':' +
                         QByteArray::number(quint64(status.st_ino));
}
} // namespace

void logToStandardError()
{
    qInstallMessageHandler(standardErrorIsJournal() ? journalLine : plainLine);
}
