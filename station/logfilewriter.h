#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

// Writes station log files so that a file only ever ends on a whole header or record: each is
// built first, handed to the file in one write and checked, and a write that falls short (disk
// full, quota, I/O error, a file size limit) is cut off again. The format separates records by
// nothing but the channel count, so one torn record would shift every record after it.
//
// A failure is said once on the warning channel when writing starts to fail, and once when it
// works again, with the number of records lost in between.
class LogFileWriter
{
public:
    enum class Outcome {
        Written,
        StartedFailing, // this write failed, the one before did not
        Failing,        // failed again
        Recovered,      // written after failures; lostRecords() tells how many were lost
    };

    // The header of a file for these channel names, and one record: tab-terminated tokens.
    static QByteArray header(const QStringList &names);
    static QByteArray record(quint32 stamp, const QStringList &values);

    // A new file at path, replacing one of that name, holding the header.
    Outcome create(const QString &path, const QByteArray &header);
    // Appends a record; a file that is missing or empty gets its header in front of it.
    Outcome append(const QString &path, const QByteArray &header, const QByteArray &record);

    // One write of everything to a file open for appending, unbuffered; what falls short is cut
    // off again, so that the file ends as before. `error` says why it failed.
    static bool writeWhole(QFile &file, const QByteArray &bytes, QString &error);
    // Opens path for appending, unbuffered, and writes the bytes whole as above.
    static bool appendWhole(const QString &path, const QByteArray &bytes, QString &error);
    // Station files are in the system's encoding, as Windows stations write theirs.
    static QByteArray encoded(const QString &text);

    bool failing() const { return isFailing; }
    // Records lost since writing started to fail (or in the failure just ended).
    qint64 lostRecords() const { return lost; }
    QString errorString() const { return error; }

private:
    Outcome settle(const QString &path, bool written, bool isRecord);

    bool isFailing = false;
    qint64 lost = 0;
    QString error;
};
