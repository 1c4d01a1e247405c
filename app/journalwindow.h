#pragma once

#include "journalentry.h"

#include <QDate>
#include <QMainWindow>
#include <QMetaObject>

#include <memory>

namespace Ui {
class JournalWindow;
}
class JournalFilter;
class JournalModel;
class QTimer;
class StationCore;

// The journal window: the alarms still active, with how long each has lasted, above the
// journal of the current month and of earlier months as they are chosen, newest first, filtered
// by channel, kind of event and time; "Экспорт CSV…" writes what the table shows. While open it
// follows the journal as the station records it; closed, it holds and does nothing.
class JournalWindow : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(JournalWindow)

public:
    explicit JournalWindow(const StationCore &core, QWidget *parent = nullptr);
    ~JournalWindow() override;

    // What the table shows, in its order.
    const JournalFilter &shown() const { return *filter; }
    // Writes what the table shows to a file the operator chooses, and says where.
    void exportCsv();

protected:
    // The file to export to; empty when the operator cancels.
    virtual QString askCsvPath(const QString &suggested);
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void fillChoices();
    void fillMonths();
    void load();
    void follow(const QString &text, const JournalEntry &entry);
    void applyPeriod();
    void showActive();
    void say(const QString &message, bool failed = false);

    std::unique_ptr<Ui::JournalWindow> ui;
    const StationCore &core;
    JournalModel *model;
    JournalFilter *filter;
    QTimer *ticker;
    QMetaObject::Connection following;
    // The months shown: from this one to the current one.
    QDate firstMonth;
};
