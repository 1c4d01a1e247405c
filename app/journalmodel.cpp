#include "journalmodel.h"

namespace {
struct Label
{
    const char *event;
    const char *text;
};

constexpr Label labels[] = {
    {JournalEntry::AlarmOn, QT_TRANSLATE_NOOP("JournalModel", "Тревога")},
    {JournalEntry::AlarmOff, QT_TRANSLATE_NOOP("JournalModel", "Конец тревоги")},
    {JournalEntry::AlarmReset, QT_TRANSLATE_NOOP("JournalModel", "Сброс тревоги")},
    {JournalEntry::SoundStart, QT_TRANSLATE_NOOP("JournalModel", "Звук включён")},
    {JournalEntry::SoundStop, QT_TRANSLATE_NOOP("JournalModel", "Звук отзвучал")},
    {JournalEntry::LinkLost, QT_TRANSLATE_NOOP("JournalModel", "Нет связи")},
    {JournalEntry::LinkBack, QT_TRANSLATE_NOOP("JournalModel", "Связь восстановлена")},
    {JournalEntry::PortLost, QT_TRANSLATE_NOOP("JournalModel", "Порт пропал")},
    {JournalEntry::PortBack, QT_TRANSLATE_NOOP("JournalModel", "Порт вернулся")},
    {JournalEntry::RecordingStart, QT_TRANSLATE_NOOP("JournalModel", "Запись начата")},
    {JournalEntry::RecordingStop, QT_TRANSLATE_NOOP("JournalModel", "Запись остановлена")},
    {JournalEntry::LogWriteFailed, QT_TRANSLATE_NOOP("JournalModel", "Сбой записи лога")},
    {JournalEntry::LogWriteRecovered,
     QT_TRANSLATE_NOOP("JournalModel", "Запись лога возобновлена")},
    {JournalEntry::ConfigDamaged, QT_TRANSLATE_NOOP("JournalModel", "Monitor.ini повреждён")},
    {JournalEntry::SettingChanged, QT_TRANSLATE_NOOP("JournalModel", "Изменение настроек")},
    {JournalEntry::StationStart, QT_TRANSLATE_NOOP("JournalModel", "Запуск станции")},
    {JournalEntry::StationEnd, QT_TRANSLATE_NOOP("JournalModel", "Остановка станции")},
};

constexpr const char *headings[JournalModel::ColumnCount] = {
    QT_TRANSLATE_NOOP("JournalModel", "Время"),    QT_TRANSLATE_NOOP("JournalModel", "Событие"),
    QT_TRANSLATE_NOOP("JournalModel", "Канал"),    QT_TRANSLATE_NOOP("JournalModel", "Имя"),
    QT_TRANSLATE_NOOP("JournalModel", "Значение"), QT_TRANSLATE_NOOP("JournalModel", "Подробности"),
};

bool isDeviceEvent(const QString &event)
{
    return event == QLatin1String(JournalEntry::LinkLost) ||
           event == QLatin1String(JournalEntry::LinkBack);
}
} // namespace

JournalModel::JournalModel(QObject *parent)
    : QAbstractTableModel(parent)
{}

void JournalModel::setEntries(const QList<JournalEntry> &list)
{
    beginResetModel();
    entries = list;
    endResetModel();
}

void JournalModel::append(const JournalEntry &entry)
{
    const int row = int(entries.size());
    beginInsertRows({}, row, row);
    entries << entry;
    endInsertRows();
}

QString JournalModel::eventLabel(const QString &event)
{
    for (const Label &label : labels) {
        if (event == QLatin1String(label.event))
            return tr(label.text);
    }
    return event;
}

int JournalModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(entries.size());
}

int JournalModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString JournalModel::shown(const JournalEntry &entry, int column) const
{
    switch (column) {
    case Time:
        return JournalEntry::timeText(entry.time);
    case Event:
        return eventLabel(entry.event);
    case Channel:
        return isDeviceEvent(entry.event) ? tr("адрес %1").arg(entry.source) : entry.source;
    case Name:
        return entry.name;
    case Value:
        // As the displays show no reading.
        return entry.value == QLatin1String("nan") ? QStringLiteral("---") : entry.value;
    case Details:
        return entry.details;
    }
    return {};
}

QVariant JournalModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= entries.size())
        return {};
    const JournalEntry &entry = entries[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return shown(entry, index.column());
    case Qt::ToolTipRole:
        return index.column() == Event ? entry.event : shown(entry, index.column());
    case TimeRole:
        return entry.time;
    case EventRole:
        return entry.event;
    case SourceRole:
        return entry.source;
    default:
        return {};
    }
}

QVariant JournalModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return tr(headings[section]);
}
