#pragma once

#include <QDateTime>
#include <QSortFilterProxyModel>
#include <QString>

// What the journal window shows of the journal: newest first, of one channel, one kind of event
// and a time range when they are chosen.
class JournalFilter final : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(JournalFilter)

public:
    explicit JournalFilter(QObject *parent = nullptr);

    // A channel 0 to 11 or -1 for all. A reset counts for every channel that was in alarm.
    void setChannel(int channel);
    // A token, or empty for all.
    void setEvent(const QString &event);
    // Either end may be invalid: open on that side.
    void setRange(const QDateTime &from, const QDateTime &to);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    // By time, and events of one second in the order they happened.
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    QString channel;
    QString event;
    qint64 from = -1;
    qint64 to = -1;
};
