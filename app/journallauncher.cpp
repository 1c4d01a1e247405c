#include "journallauncher.h"

#include "journalwindow.h"
#include "stationcore.h"

#include <QAction>
#include <QMainWindow>
#include <QStatusBar>
#include <QToolButton>

JournalLauncher::JournalLauncher(const StationCore &station, QMainWindow *mainWindow,
                                 QWidget *alarmReset)
    : QObject(mainWindow)
    , core(station)
    , window(mainWindow)
    , button(new QToolButton(mainWindow->statusBar()))
    , opener(new QAction(tr("Журнал тревог…"), this))
{
    opener->setObjectName(QStringLiteral("actionJournal"));
    opener->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J));
    window->addAction(opener);
    alarmReset->addAction(opener);
    alarmReset->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(opener, &QAction::triggered, this, &JournalLauncher::open);

    button->setObjectName(QStringLiteral("journalEntry"));
    button->setFocusPolicy(Qt::StrongFocus);
    // No taller than the text of the bar's other entries, which it holds without a frame or
    // padding: a taller bar would cut into the window's fixed face.
    button->setMaximumHeight(button->fontMetrics().height());
    window->statusBar()->addPermanentWidget(button);
    connect(button, &QToolButton::clicked, this, &JournalLauncher::open);
    connect(&core.journal(), &AlarmJournal::unacknowledgedChanged, this,
            &JournalLauncher::showCount);
    showCount(core.journal().unacknowledged());
}

JournalLauncher::~JournalLauncher() = default;

void JournalLauncher::open()
{
    if (!journal) {
        // A window of its own, gone with this launcher.
        journal = std::make_unique<JournalWindow>(core);
        journal->setAttribute(Qt::WA_QuitOnClose, false);
    }
    journal->show();
    journal->raise();
    journal->activateWindow();
}

void JournalLauncher::showCount(int count)
{
    button->setText(count > 0 ? tr("Журнал: %1").arg(count) : tr("Журнал"));
    // Focused, it shows as a selection does.
    button->setStyleSheet(
        QStringLiteral("QToolButton { border: none; padding: 0px 2px; %1 }"
                       "QToolButton:focus { background-color: palette(highlight);"
                       " color: palette(highlighted-text); }")
            .arg(count > 0 ? QStringLiteral("color: rgb(200, 0, 0);") : QString()));
    button->setToolTip(
        tr("Тревог с последнего сброса: %1\nОткрыть журнал тревог (Ctrl+J)").arg(count));
}
