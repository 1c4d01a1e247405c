// Pictures of a graph from the plot's context menu: files written, failures told.
#include "plotfiles.h"
#include "plotpictures.h"
#include "realtimegraph.h"

#include <qcustomplot.h>

#include <QDateTime>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

namespace {
// Chooses a menu entry and returns the text of the message box it brought up, if any.
QString choose(PlotPictures *pictures, const QString &entry)
{
    for (QAction *action : pictures->menu()->actions()) {
        if (action->text() == entry)
            action->trigger();
    }
    auto *window = static_cast<QWidget *>(pictures->parent())->window();
    std::unique_ptr<QMessageBox> box(window->findChild<QMessageBox *>());
    return box ? box->text() : QString();
}
} // namespace

class TestPlotPictures : public QObject
{
    Q_OBJECT

private slots:
    void writesThePictureOrSaysWhyNot_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("failure");
        QTest::newRow("png") << "Сохранить PNG…"
                             << "a.png"
                             << "";
        QTest::newRow("pdf, suffix added") << "Сохранить PDF…"
                                           << "a"
                                           << "";
        QTest::newRow("printed") << "Печать…"
                                 << "a.pdf"
                                 << "";
        QTest::newRow("png unwritable") << "Сохранить PNG…"
                                        << "no/a.png"
                                        << "Не удалось записать файл %1";
        QTest::newRow("print unwritable") << "Печать…"
                                          << "no/a.pdf"
                                          << "Не удалось напечатать график";
    }
    void writesThePictureOrSaysWhyNot()
    {
        QFETCH(QString, entry);
        QFETCH(QString, file);
        QFETCH(QString, failure);
        QTemporaryDir dir;
        const QString path = dir.filePath(file);
        RealTimeGraph graph;
        const double now = QDateTime::currentMSecsSinceEpoch() / 1000.0;
        for (int i = 0; i < 60; ++i)
            graph.AddPoint(20.0 + i % 7, now - 600 + 10 * i);
        graph.show();
        PlotPictures *pictures = graph.pictures();
        pictures->askFileName = [&](QWidget *, const QString &, const QString &, const QString &) {
            return path;
        };
        pictures->askPrinter = [&](QPrinter *printer, QWidget *) {
            printer->setOutputFileName(path);
            return true;
        };

        QCOMPARE(choose(pictures, entry), failure.replace(QStringLiteral("%1"), path));
        const QString written = QFileInfo(path).suffix().isEmpty() ? path + ".pdf" : path;
        QCOMPARE(QFileInfo(written).size() > 0, failure.isEmpty());
        const auto *plot = graph.findChild<QCustomPlot *>();
        if (written.endsWith(".png") && failure.isEmpty())
            QVERIFY(QImage(written).width() >= plot->width());
    }

    void aboutNamesTheVersion()
    {
        QCoreApplication::setApplicationVersion(QStringLiteral("1.2.3"));
        plotfiles window;
        QVERIFY(choose(window.pictures(), QStringLiteral("О программе…"))
                    .startsWith(QStringLiteral("Grelvix 1.2.3\n")));
    }

    void logPicturesStartInItsDirectoryNamedAfterTheLog()
    {
        plotfiles window;
        window.SetAnalysisDirectory(QStringLiteral("/data/logs/"));
        window.LoadFile(QStringLiteral("/elsewhere/Log_101500_01032024.dat"));
        QString offered;
        window.pictures()->askFileName = [&](QWidget *, const QString &, const QString &path,
                                             const QString &) {
            offered = path;
            return QString();
        };
        QCOMPARE(choose(window.pictures(), QStringLiteral("Сохранить PDF…")), QString());
        QVERIFY2(offered.startsWith(QStringLiteral("/data/logs/Log_101500_01032024_")),
                 qPrintable(offered));
        QVERIFY(offered.endsWith(QStringLiteral(".pdf")));
    }
};

QTEST_MAIN(TestPlotPictures)
#include "tst_plotpictures.moc"
