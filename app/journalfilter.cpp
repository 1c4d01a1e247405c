#include "journalfilter.h"

#include "journalmodel.h"

JournalFilter::JournalFilter(QObject *parent)
    : QSortFilterProxyModel(parent)
{
    sort(JournalModel::Time, Qt::DescendingOrder);
}

void JournalFilter::setChannel(int shown)
{
    channel = shown < 0 ? QString() : QStringLiteral("T%1").arg(shown);
    invalidateFilter();
}

void JournalFilter::setEvent(const QString &shown)
{
    event = shown;
    invalidateFilter();
}

void JournalFilter::setRange(const QDateTime &start, const QDateTime &end)
{
    from = start.isValid() ? start.toSecsSinceEpoch() : -1;
    to = end.isValid() ? end.toSecsSinceEpoch() : -1;
    invalidateFilter();
}

bool JournalFilter::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const QModelIndex index = sourceModel()->index(sourceRow, 0, sourceParent);
    if (!event.isEmpty() && index.data(JournalModel::EventRole).toString() != event)
        return false;
    if (!channel.isEmpty() &&
        !index.data(JournalModel::SourceRole).toString().split(QLatin1Char(',')).contains(channel))
        return false;
    const qint64 time = index.data(JournalModel::TimeRole).toLongLong();
    return (from < 0 || time >= from) && (to < 0 || time <= to);
}

bool JournalFilter::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const qint64 a = left.data(JournalModel::TimeRole).toLongLong();
    const qint64 b = right.data(JournalModel::TimeRole).toLongLong();
    return a != b ? a < b : left.row() < right.row();
}
