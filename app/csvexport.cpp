#include "csvexport.h"

#include <QAbstractItemModel>
#include <QRegularExpression>
#include <QStringList>

namespace {
QByteArray record(const QStringList &cells)
{
    QStringList fields;
    for (const QString &cell : cells)
        fields << CsvExport::field(cell);
    return fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
}
} // namespace

QString CsvExport::field(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral("^[-+]?[0-9]+(\\.[0-9]+)?([eE][-+]?[0-9]+)?$"));
    static const QRegularExpression formula(QStringLiteral("^[=+\\-@]"));
    QString cell = text;
    if (formula.match(cell).hasMatch() && !number.match(cell).hasMatch())
        cell.prepend(QLatin1Char('\''));
    if (cell.contains(QLatin1Char(',')) || cell.contains(QLatin1Char('"')) ||
        cell.contains(QLatin1Char('\n')) || cell.contains(QLatin1Char('\r'))) {
        cell.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        cell = QLatin1Char('"') + cell + QLatin1Char('"');
    }
    return cell;
}

QByteArray CsvExport::table(const QAbstractItemModel &model)
{
    QByteArray csv("\xEF\xBB\xBF");
    QStringList cells;
    for (int column = 0; column < model.columnCount(); ++column)
        cells << model.headerData(column, Qt::Horizontal).toString();
    csv += record(cells);
    for (int row = 0; row < model.rowCount(); ++row) {
        cells.clear();
        for (int column = 0; column < model.columnCount(); ++column)
            cells << model.index(row, column).data().toString();
        csv += record(cells);
    }
    return csv;
}
