#include "journalwindow.h"
#include "ui_journalwindow.h"

#include "csvexport.h"
#include "journalfilter.h"
#include "journalmodel.h"
#include "stationcore.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QHideEvent>
#include <QLocale>
#include <QSaveFile>
#include <QTimer>

namespace {
constexpr int tickMs = 1000;

QDate monthOf(quint32 time)
{
    const QDate day = QDateTime::fromSecsSinceEpoch(time).date();
    return QDate(day.year(), day.month(), 1);
}
} // namespace

JournalWindow::JournalWindow(const StationCore &station, QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::JournalWindow>())
    , core(station)
    , model(new JournalModel(this))
    , filter(new JournalFilter(this))
    , ticker(new QTimer(this))
{
    ui->setupUi(this);
    filter->setSourceModel(model);
    ui->journalView->setModel(filter);
    const int rowHeight = fontMetrics().height() + 6;
    for (QTableView *view : {ui->journalView, static_cast<QTableView *>(ui->activeView)}) {
        view->verticalHeader()->setDefaultSectionSize(rowHeight);
        view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
        view->horizontalHeader()->setStretchLastSection(true);
    }
    // A port's path can be long; the tool tip has it whole.
    ui->journalView->horizontalHeader()->setSectionResizeMode(JournalModel::Channel,
                                                              QHeaderView::Interactive);
    ui->journalView->setColumnWidth(JournalModel::Channel, 110);
    fillChoices();

    connect(ui->monthBox, &QComboBox::activated, this, [this] {
        firstMonth = ui->monthBox->currentData().toDate();
        load();
    });
    connect(ui->channelBox, &QComboBox::currentIndexChanged, this,
            [this] { filter->setChannel(ui->channelBox->currentData().toInt()); });
    connect(ui->eventBox, &QComboBox::currentIndexChanged, this,
            [this] { filter->setEvent(ui->eventBox->currentData().toString()); });
    connect(ui->periodBox, &QCheckBox::toggled, this, &JournalWindow::applyPeriod);
    connect(ui->fromEdit, &QDateTimeEdit::dateTimeChanged, this, &JournalWindow::applyPeriod);
    connect(ui->toEdit, &QDateTimeEdit::dateTimeChanged, this, &JournalWindow::applyPeriod);
    connect(ui->exportButton, &QPushButton::clicked, this, &JournalWindow::exportCsv);
    connect(ticker, &QTimer::timeout, this, &JournalWindow::showActive);
}

JournalWindow::~JournalWindow() = default;

void JournalWindow::fillChoices()
{
    ui->channelBox->addItem(tr("Все каналы"), -1);
    for (int channel = 0; channel < Station::ChannelCount; ++channel)
        ui->channelBox->addItem(QStringLiteral("T%1").arg(channel), channel);
    ui->eventBox->addItem(tr("Все события"), QString());
    for (const QString &event : JournalEntry::events())
        ui->eventBox->addItem(JournalModel::eventLabel(event), event);
}

void JournalWindow::fillMonths()
{
    const QDate current = monthOf(core.journal().now());
    QList<QDate> months = JournalFile::months(core.journal().directory());
    if (!months.contains(current))
        months.prepend(current);
    if (!firstMonth.isValid() || !months.contains(firstMonth))
        firstMonth = current;
    ui->monthBox->clear();
    const QLocale russian(QLocale::Russian);
    for (const QDate &month : std::as_const(months)) {
        if (month <= current)
            ui->monthBox->addItem(russian.standaloneMonthName(month.month()) + QLatin1Char(' ') +
                                      QString::number(month.year()),
                                  month);
    }
    ui->monthBox->setCurrentIndex(ui->monthBox->findData(firstMonth));
}

void JournalWindow::load()
{
    const QString directory = core.journal().directory();
    const QDate current = monthOf(core.journal().now());
    QList<JournalEntry> entries;
    int skipped = 0;
    for (QDate month = firstMonth; month <= current; month = month.addMonths(1)) {
        int bad = 0;
        const QDateTime start(month, QTime(12, 0));
        entries += JournalFile::read(
            JournalFile::path(directory, quint32(start.toSecsSinceEpoch())), &bad);
        skipped += bad;
    }
    model->setEntries(entries);
    say(skipped > 0 ? tr("Пропущено неполных строк журнала: %1").arg(skipped) : QString());
}

void JournalWindow::say(const QString &message, bool failed)
{
    statusBar()->setStyleSheet(failed ? QStringLiteral("QStatusBar { color : rgb(200, 0, 0); }")
                                      : QString());
    statusBar()->showMessage(message);
}

void JournalWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (following)
        return;
    following = connect(&core.journal(), &AlarmJournal::recorded, this, &JournalWindow::follow);
    fillMonths();
    if (!ui->periodBox->isChecked()) {
        const QDateTime now = QDateTime::fromSecsSinceEpoch(core.journal().now());
        ui->fromEdit->setDateTime(QDateTime(firstMonth, QTime(0, 0)));
        ui->toEdit->setDateTime(now.addSecs(3600));
    }
    load();
    showActive();
    ticker->start(tickMs);
}

void JournalWindow::hideEvent(QHideEvent *event)
{
    QMainWindow::hideEvent(event);
    // Closed, the window keeps nothing and follows nothing.
    if (event->spontaneous() && isMinimized())
        return;
    disconnect(following);
    following = {};
    ticker->stop();
    model->setEntries({});
}

void JournalWindow::follow(const QString &, const JournalEntry &entry)
{
    model->append(entry);
    showActive();
}

void JournalWindow::applyPeriod()
{
    if (ui->periodBox->isChecked())
        filter->setRange(ui->fromEdit->dateTime(), ui->toEdit->dateTime());
    else
        filter->setRange({}, {});
}

void JournalWindow::showActive()
{
    const AlarmJournal &journal = core.journal();
    const QList<AlarmJournal::ActiveAlarm> active = journal.activeAlarms();
    const quint32 now = journal.now();
    ui->activeBox->setTitle(tr("Активные тревоги: %1").arg(active.size()));
    ui->activeView->setRowCount(int(active.size()));
    for (int row = 0; row < active.size(); ++row) {
        const AlarmJournal::ActiveAlarm &alarm = active[row];
        const QString cells[] = {
            QStringLiteral("T%1").arg(alarm.channel),
            core.alarms().channel(alarm.channel).ChannelName,
            alarm.value == QLatin1String("nan") ? QStringLiteral("---") : alarm.value,
            JournalEntry::timeText(alarm.since),
            JournalEntry::durationText(qint64(now) - qint64(alarm.since)),
        };
        for (int column = 0; column < 5; ++column) {
            QTableWidgetItem *item = ui->activeView->item(row, column);
            if (!item) {
                item = new QTableWidgetItem;
                ui->activeView->setItem(row, column, item);
            }
            item->setText(cells[column]);
        }
    }
}

QString JournalWindow::askCsvPath(const QString &suggested)
{
    return QFileDialog::getSaveFileName(this, tr("Экспорт журнала в CSV"), suggested,
                                        tr("Файлы CSV (*.csv)"));
}

void JournalWindow::exportCsv()
{
    const QString name = QStringLiteral("journal-%1.csv")
                             .arg(QDateTime::fromSecsSinceEpoch(core.journal().now())
                                      .toString(QStringLiteral("yyyy-MM-dd")));
    const QString path = askCsvPath(core.workingDirectory() + name);
    if (path.isEmpty())
        return;
    const QByteArray csv = CsvExport::table(*filter);
    QSaveFile file(path);
    // Qt's commit renames a file its own flush cut short (a full disk): flush first.
    if (file.open(QIODevice::WriteOnly) && file.write(csv) == csv.size() && file.flush() &&
        file.commit())
        say(tr("Записано строк: %1, в файл %2").arg(filter->rowCount()).arg(path));
    else
        say(tr("Не удалось записать файл %1: %2").arg(path, file.errorString()), true);
}
