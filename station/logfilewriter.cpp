#include "logfilewriter.h"

#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

QByteArray LogFileWriter::encoded(const QString &text)
{
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(text);
}

bool LogFileWriter::writeWhole(QFile &file, const QByteArray &bytes, QString &error)
{
    const qint64 before = file.size();
    qint64 written = file.write(bytes);
    // A write that fell short tells no reason; asking for the rest does, unless it now fits.
    if (written > 0 && written < bytes.size()) {
        const qint64 rest = file.write(bytes.mid(written));
        written = rest < 0 ? written : written + rest;
    }
    if (written == bytes.size())
        return true;
    error = file.errorString();
    if (file.size() > before && !file.resize(before))
        error += QStringLiteral("; the cut record stays in the file");
    return false;
}

QByteArray LogFileWriter::header(const QStringList &names)
{
    QString text = QString::number(names.size()) + QLatin1Char('\t');
    for (const QString &name : names)
        text += name + QLatin1Char('\t');
    return encoded(text);
}

QByteArray LogFileWriter::record(quint32 stamp, const QStringList &values)
{
    QString text = QString::number(stamp) + QLatin1Char('\t');
    for (const QString &value : values)
        text += value + QLatin1Char('\t');
    return encoded(text);
}

LogFileWriter::Outcome LogFileWriter::create(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    // Unbuffered: nothing may reach the file after a short write has been cut off.
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    if (!written)
        error = file.errorString();
    else
        written = writeWhole(file, bytes, error);
    return settle(path, written, false);
}

bool LogFileWriter::appendWhole(const QString &path, const QByteArray &bytes, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::Append | QIODevice::Unbuffered)) {
        error = file.errorString();
        return false;
    }
    return writeWhole(file, bytes, error);
}

LogFileWriter::Outcome LogFileWriter::append(const QString &path, const QByteArray &head,
                                             const QByteArray &bytes)
{
    // Records without their header could not be read back; a missing file has size 0 too.
    const bool empty = QFileInfo(path).size() == 0;
    return settle(path, appendWhole(path, empty ? head + bytes : bytes, error), true);
}

LogFileWriter::Outcome LogFileWriter::settle(const QString &path, bool written, bool isRecord)
{
    if (written) {
        if (!isFailing)
            return Outcome::Written;
        isFailing = false;
        qWarning("Log file %s: written again, %lld records lost", qUtf8Printable(path), lost);
        return Outcome::Recovered;
    }
    const bool first = !isFailing;
    if (first) {
        isFailing = true;
        lost = 0;
    }
    if (isRecord)
        ++lost;
    if (!first)
        return Outcome::Failing;
    qWarning("Can not open file log_xxxxxx.dat");
    qWarning("Log file %s: %s; records are lost until writing works again", qUtf8Printable(path),
             qUtf8Printable(error));
    return Outcome::StartedFailing;
}
