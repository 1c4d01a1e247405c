#pragma once

#include "journalentry.h"

#include <QDate>
#include <QList>
#include <QString>

// The journal's files: one per month in the log directory, a line per event, in the system's
// encoding as the log files are. Each line reaches the file whole, as a log record does: it is
// handed to the file in one unbuffered write, and a write that falls short is cut off again. A
// line that a power loss cut short is cut off before the next one is appended, and skipped by
// the reader.
//
// A failure is said once on the warning channel when writing starts to fail, and once when it
// works again, with the number of events lost in between.
class JournalFile
{
public:
    // Appends the entry to the file of its month in `directory`, a prefix the file name follows
    // directly, as for log files. False when it did not reach the file.
    bool append(const QString &directory, const JournalEntry &entry);

    static QString path(const QString &directory, quint32 time);
    // The entries of a journal file in file order; `skipped` counts the lines that are none.
    static QList<JournalEntry> read(const QString &path, int *skipped = nullptr);
    // The first days of the months that have a journal file in `directory`, newest first.
    static QList<QDate> months(const QString &directory);

private:
    bool cutTornLine(const QString &path);
    void settle(const QString &path, bool written);

    // The file whose end has been checked; this writer keeps it ending on a whole line.
    QString checked;
    bool failing = false;
    qint64 lost = 0;
    QString error;
};
