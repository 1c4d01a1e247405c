#pragma once

#include "journalentry.h"

#include <QAbstractTableModel>
#include <QList>

// Journal entries as a table, in the order they were read and recorded: time, event, channel,
// name, value, details, as the journal window shows and exports them.
class JournalModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(JournalModel)

public:
    enum Column { Time, Event, Channel, Name, Value, Details, ColumnCount };
    // The entry's own fields, beside what is shown.
    enum Role { TimeRole = Qt::UserRole, EventRole, SourceRole };

    explicit JournalModel(QObject *parent = nullptr);

    void setEntries(const QList<JournalEntry> &entries);
    void append(const JournalEntry &entry);
    // The name of an event for the operator; a token of a later station is shown as it is.
    static QString eventLabel(const QString &event);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QString shown(const JournalEntry &entry, int column) const;

    QList<JournalEntry> entries;
};
