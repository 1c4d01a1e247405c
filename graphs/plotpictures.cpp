#include "plotpictures.h"

#include <qcustomplot.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>

namespace {
// Twice the window's pixels: as sharp on paper as on a screen, the same picture.
constexpr double pngScale = 2.0;
} // namespace

PlotPictures::PlotPictures(QCustomPlot *customPlot)
    : QObject(customPlot)
    , plot(customPlot)
    , contextMenu(new QMenu(customPlot))
{
    askFileName = [](QWidget *parent, const QString &caption, const QString &path,
                     const QString &filter) {
        return QFileDialog::getSaveFileName(parent, caption, path, filter);
    };
    askPrinter = [](QPrinter *printer, QWidget *parent) {
        QPrintDialog dialog(printer, parent);
        return dialog.exec() == QDialog::Accepted;
    };

    contextMenu->addAction(tr("Сохранить PNG…"), this, [this] {
        saveAs(QStringLiteral("png"), tr("Изображения PNG (*.png)"));
    });
    contextMenu->addAction(tr("Сохранить PDF…"), this,
                           [this] { saveAs(QStringLiteral("pdf"), tr("Документы PDF (*.pdf)")); });
    contextMenu->addAction(tr("Печать…"), this, &PlotPictures::printAsked);
    contextMenu->addSeparator();
    contextMenu->addAction(tr("О программе…"), this, &PlotPictures::showAbout);

    plot->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { contextMenu->popup(plot->mapToGlobal(at)); });
}

bool PlotPictures::savePng(const QString &path)
{
    const double scale = std::max(pngScale, plot->devicePixelRatioF());
    return plot->savePng(path, 0, 0, scale);
}

bool PlotPictures::savePdf(const QString &path)
{
    // Hairlines would vanish at a viewer's zoom; they get a real width instead.
    return plot->savePdf(path, 0, 0, QCP::epNoCosmetic, QStringLiteral("Grelvix"),
                         plot->window()->windowTitle());
}

bool PlotPictures::print(QPrinter *printer)
{
    QCPPainter painter;
    if (!painter.begin(printer))
        return false;
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    // The plot as it stands on screen, as large as the page allows.
    const double scale = std::min(double(printer->width()) / plot->width(),
                                  double(printer->height()) / plot->height());
    painter.scale(scale, scale);
    plot->toPainter(&painter, plot->width(), plot->height());
    return painter.end() && printer->printerState() != QPrinter::Error;
}

QString PlotPictures::offeredPath(const QString &suffix) const
{
    const QString start = directory ? directory() : QString();
    QString name = pictureName ? pictureName() : plot->window()->windowTitle();
    name.replace(QLatin1Char(' '), QLatin1Char('_'));
    name += QDateTime::currentDateTime().toString(QStringLiteral("_yyyyMMdd_hhmmss.")) + suffix;
    return QDir(start.isEmpty() ? QDir::currentPath() : start).filePath(name);
}

void PlotPictures::saveAs(const QString &suffix, const QString &filter)
{
    const QString caption =
        suffix == QLatin1String("png") ? tr("Сохранить PNG") : tr("Сохранить PDF");
    QString path = askFileName(plot->window(), caption, offeredPath(suffix), filter);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + suffix;
    const bool saved = suffix == QLatin1String("png") ? savePng(path) : savePdf(path);
    if (!saved)
        showMessage(true, caption,
                    tr("Не удалось записать файл %1").arg(QDir::toNativeSeparators(path)));
}

void PlotPictures::printAsked()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setDocName(plot->window()->windowTitle());
    if (!askPrinter(&printer, plot->window()))
        return;
    if (!print(&printer))
        showMessage(true, tr("Печать"), tr("Не удалось напечатать график"));
}

void PlotPictures::showAbout()
{
    const QString name =
        QStringLiteral("Grelvix %1").arg(QCoreApplication::applicationVersion()).trimmed();
    showMessage(
        false, tr("О программе"),
        tr("%1\nСтанция контроля температуры\n\nQt %2, QCustomPlot %3")
            .arg(name, QString::fromLatin1(qVersion()), QStringLiteral(QCUSTOMPLOT_VERSION_STR)));
}

void PlotPictures::showMessage(bool failure, const QString &title, const QString &text)
{
    // Window-modal and not waited for: the station keeps polling while the box is up.
    auto *box = new QMessageBox(failure ? QMessageBox::Warning : QMessageBox::Information, title,
                                text, QMessageBox::Ok, plot->window());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
