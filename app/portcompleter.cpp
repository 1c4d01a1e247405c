#include "portcompleter.h"

#include "serialdeviceenumerator.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QStandardItemModel>

namespace {
// What a completion puts into the field: the bare name, whatever the list shows.
constexpr int PortNameRole = Qt::UserRole;

// Numbers in names by value: COM2 before COM10, ttyUSB9 before ttyUSB10.
bool portOrder(QStringView a, QStringView b)
{
    const auto numberAt = [](QStringView text, qsizetype *at) {
        const qsizetype start = *at;
        while (*at < text.size() && text.at(*at).isDigit())
            ++*at;
        return text.mid(start, *at - start).toULongLong();
    };
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            const qulonglong x = numberAt(a, &i);
            const qulonglong y = numberAt(b, &j);
            if (x != y)
                return x < y;
        } else if (a.at(i) != b.at(j)) {
            return a.at(i) < b.at(j);
        } else {
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}
} // namespace

PortCompleter::PortCompleter(SerialDeviceEnumerator *enumerator, QLineEdit *field)
    : QCompleter(field)
    , ports(enumerator)
    , offered(new QStandardItemModel(this))
{
    setModel(offered);
    setCompletionRole(PortNameRole);
    setCaseSensitivity(Qt::CaseInsensitive);
    setFilterMode(Qt::MatchContains); // "usb" finds /dev/ttyUSB0
    field->setCompleter(this);
    connect(ports, &SerialDeviceEnumerator::hasChanged, this, &PortCompleter::showPorts);
    showPorts(ports->portNames());
}

void PortCompleter::showPorts(const QStringList &names)
{
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end(), portOrder);

    offered->clear();
    for (const QString &name : std::as_const(sorted)) {
        ports->selectPort(name);
        const QString description = ports->description();
        auto *item = new QStandardItem(
            description.isEmpty() ? name : QStringLiteral("%1 \u2014 %2").arg(name, description));
        item->setData(name, PortNameRole);
        if (!ports->manufacturer().isEmpty())
            item->setToolTip(ports->manufacturer());
        offered->appendRow(item);
    }
    // The field is narrow; the list is as wide as its longest entry.
    popup()->setMinimumWidth(popup()->sizeHintForColumn(0) + 2 * popup()->frameWidth() + 24);
}
