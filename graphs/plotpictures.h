#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QCustomPlot;
class QMenu;
class QPrinter;
class QWidget;

// The context menu of a graph window's plot: the picture as PNG or PDF, on paper, and what
// program drew it. Failures are reported in a message box, never passed over in silence.
class PlotPictures : public QObject
{
    Q_OBJECT

public:
    explicit PlotPictures(QCustomPlot *plot);

    QMenu *menu() const { return contextMenu; }

    bool savePng(const QString &path);
    bool savePdf(const QString &path);
    bool print(QPrinter *printer);

    // Where the file dialog starts; the process's current directory when unset.
    std::function<QString()> directory;
    // The file name offered, without suffix; the window's title when unset.
    std::function<QString()> pictureName;
    // Asks for the file to write; an empty answer means cancelled. Replaceable, as are the two
    // below, so that the menu can be driven without a modal dialog.
    std::function<QString(QWidget *parent, const QString &caption, const QString &path,
                          const QString &filter)>
        askFileName;
    // Lets the operator choose and set up the printer; false means cancelled.
    std::function<bool(QPrinter *printer, QWidget *parent)> askPrinter;

private:
    void saveAs(const QString &suffix, const QString &filter);
    void printAsked();
    void showAbout();
    void showMessage(bool failure, const QString &title, const QString &text);
    QString offeredPath(const QString &suffix) const;

    QCustomPlot *plot;
    QMenu *contextMenu;
};
