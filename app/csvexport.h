#pragma once

#include <QByteArray>
#include <QString>

class QAbstractItemModel;

// A table as RFC 4180 CSV for spreadsheet programs: UTF-8 with a byte order mark, so that they
// take the Cyrillic text, comma-separated, CRLF after every record, a field quoted when it holds
// a comma, a quote or a line break. A text cell that a spreadsheet would run as a formula (one
// beginning with "=", "+", "-" or "@", as an operator may type a channel name) gets a leading
// apostrophe; numbers stay numbers.
class CsvExport
{
public:
    // The header and every row as the model shows them.
    static QByteArray table(const QAbstractItemModel &model);
    static QString field(const QString &text);
};
