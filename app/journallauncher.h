#pragma once

#include <QObject>

#include <memory>

class JournalWindow;
class QAction;
class QMainWindow;
class QToolButton;
class QWidget;
class StationCore;

// The ways from the main window to the journal window, none of them on the window's fixed face:
// a permanent entry of the status bar that counts the alarms entered since the last reset (not
// yet acknowledged) and opens the window on a click or, focused, on the space bar; an entry in
// the context menu of the alarm reset button; and Ctrl+J. The window is made when first opened.
class JournalLauncher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(JournalLauncher)

public:
    JournalLauncher(const StationCore &core, QMainWindow *window, QWidget *alarmReset);
    ~JournalLauncher() override;

    QToolButton *entry() const { return button; }
    QAction *action() const { return opener; }
    // Empty until first opened.
    JournalWindow *journalWindow() const { return journal.get(); }
    void open();

private:
    void showCount(int count);

    const StationCore &core;
    QMainWindow *window;
    QToolButton *button;
    QAction *opener;
    std::unique_ptr<JournalWindow> journal;
};
