#include "plotfiles.h"

#include "qcustomplot.h"

#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>

#include <memory>

namespace {

const quint32 Start = QDateTime(QDate(2015, 6, 1), QTime(14, 30, 5)).toSecsSinceEpoch();

// A log as the station writes it: every token followed by a tab, a record a minute.
QByteArray logBytes(const QStringList &names, const QList<QList<double>> &records)
{
    QString text = QString::number(names.size()) + '\t' + names.join('\t') + '\t';
    quint32 stamp = Start;
    for (const QList<double> &record : records) {
        text += QString::number(stamp) + '\t';
        for (double value : record)
            text += QString::number(value) + '\t';
        stamp += 60;
    }
    return text.toUtf8();
}

} // namespace

class TestPlotFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void separateWindowOfItsOwner();
    void twoChannelsThreeRecords();
    void valuesOutsideSensorRange();
    void oneRecordLeavesBoxesDisabled();
    void checkBoxesFitValueAxis();
    void fileFromWindowsStation();
    void damagedFiles_data();
    void damagedFiles();
    void openButtonAsksInAnalysisDirectory();
    void selectedAxisRestrictsDragAndZoom();

private:
    QString load(const QByteArray &bytes);
    QString text(const char *label) const { return window->findChild<QLabel *>(label)->text(); }
    QCustomPlot *plot() const { return window->findChild<QCustomPlot *>("customPlot"); }
    QCheckBox *box(int i) const
    {
        return window->findChild<QCheckBox *>(QStringLiteral("checkBoxT%1").arg(i));
    }
    QList<int> boxes(bool (QCheckBox::*state)() const) const;

    QTemporaryDir dir;
    int fileCount = 0;
    std::unique_ptr<plotfiles> window;
};

void TestPlotFiles::init()
{
    window = std::make_unique<plotfiles>();
}

QString TestPlotFiles::load(const QByteArray &bytes)
{
    const QString path = dir.filePath(QStringLiteral("Log_%1.dat").arg(++fileCount));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    window->LoadFile(path);
    return path;
}

QList<int> TestPlotFiles::boxes(bool (QCheckBox::*state)() const) const
{
    QList<int> channels;
    for (int i = 0; i < Station::ChannelCount; ++i) {
        if ((box(i)->*state)())
            channels.append(i);
    }
    return channels;
}

void TestPlotFiles::separateWindowOfItsOwner()
{
    QWidget owner;
    auto *own = new plotfiles(&owner);
    QVERIFY(own->isWindow());
    QCOMPARE(own->parentWidget(), &owner);
    const QList<QCheckBox *> ownBoxes = own->findChildren<QCheckBox *>();
    QCOMPARE(ownBoxes.size(), Station::ChannelCount);
    for (const QCheckBox *b : ownBoxes)
        QVERIFY(!b->isEnabled() && !b->isChecked());
}

void TestPlotFiles::twoChannelsThreeRecords()
{
    const QString path = load(logBytes({"Датчик", "Датчик"}, {{23.4, -1.5}, {24, -2}, {22.5, 0}}));

    QCOMPARE(text("Path_displ"), path);
    QCOMPARE(text("SensorsCount"), QStringLiteral("2"));
    QCOMPARE(text("CountOfMeasurement"), QStringLiteral("6"));
    QCOMPARE(text("StartTime"), QStringLiteral("14:30:05 01.06.2015"));
    QCOMPARE(boxes(&QCheckBox::isEnabled), QList<int>({0, 1}));
    QCOMPARE(boxes(&QCheckBox::isChecked), QList<int>({0, 1}));

    QCustomPlot *p = plot();
    QVERIFY(p->legend->visible());
    QCOMPARE(p->legend->itemCount(), 2);
    QCOMPARE(p->graph(0)->name(), QStringLiteral("T0 Датчик"));
    QCOMPARE(p->graph(1)->name(), QStringLiteral("T1 Датчик"));
    QVERIFY(p->legend->hasItemWithPlottable(p->graph(1)));
    QVERIFY(p->graph(1)->visible() && !p->graph(2)->visible());
    QCOMPARE(p->graph(0)->dataCount(), 3);
    QCOMPARE(p->xAxis->range(), QCPRange(Start, Start + 120));
    QCOMPARE(p->yAxis->range(), QCPRange(-3, 25));
    QCOMPARE(p->yAxis2->range(), QCPRange(-3, 25));
}

void TestPlotFiles::valuesOutsideSensorRange()
{
    load(logBytes({"A", "B"}, {{125, 20}, {30, -55}, {124.5, 21}, {-60, -54.5}}));
    QCOMPARE(text("CountOfMeasurement"), QStringLiteral("8"));
    QCOMPARE(plot()->graph(0)->dataCount(), 2);
    QCOMPARE(plot()->graph(1)->dataCount(), 3);
    QCOMPARE(plot()->yAxis->range(), QCPRange(-55.5, 125.5));

    load(logBytes({"A", "B"}, {{125, -55}, {130, -60}}));
    QCOMPARE(text("CountOfMeasurement"), QStringLiteral("4"));
    QCOMPARE(plot()->yAxis->range(), QCPRange(-1, 1));
    QCOMPARE(boxes(&QCheckBox::isEnabled), QList<int>());
    QCOMPARE(plot()->legend->itemCount(), 0);
}

void TestPlotFiles::oneRecordLeavesBoxesDisabled()
{
    const QCPRange timeRange = plot()->xAxis->range();
    load(logBytes({"A", "B", "C"}, {{20, 21, 22}}));

    QCOMPARE(text("CountOfMeasurement"), QStringLiteral("3"));
    QCOMPARE(boxes(&QCheckBox::isEnabled), QList<int>());
    QCOMPARE(boxes(&QCheckBox::isChecked), QList<int>());
    QCOMPARE(plot()->xAxis->range(), timeRange);
    QCOMPARE(plot()->yAxis->range(), QCPRange(19, 23));
}

void TestPlotFiles::checkBoxesFitValueAxis()
{
    load(logBytes({"A", "B", "C"}, {{20, 5, 40}, {25, -5, 41}}));
    QCOMPARE(plot()->yAxis->range(), QCPRange(-6, 42));

    box(2)->click();
    QVERIFY(!plot()->graph(2)->visible());
    QCOMPARE(plot()->yAxis->range(), QCPRange(-6, 26));
    box(1)->click();
    QCOMPARE(plot()->yAxis->range(), QCPRange(19, 26));
    // With nothing left to fit, the view stays as it was.
    box(0)->click();
    QVERIFY(!plot()->graph(0)->visible());
    QCOMPARE(plot()->yAxis->range(), QCPRange(19, 26));

    box(2)->click();
    QVERIFY(plot()->graph(2)->visible());
    QCOMPARE(plot()->yAxis->range(), QCPRange(39, 42));
    QCOMPARE(plot()->legend->itemCount(), 3);
}

void TestPlotFiles::fileFromWindowsStation()
{
    QTextCodec *codec = QTextCodec::codecForName("windows-1251");
    QVERIFY(codec);
    load(codec->fromUnicode(QString::fromUtf8(logBytes({"Датчик", "Печь"}, {{20, 21}, {22, 23}}))));

    QCOMPARE(plot()->graph(0)->name(), QStringLiteral("T0 Датчик"));
    QCOMPARE(plot()->graph(1)->name(), QStringLiteral("T1 Печь"));
    QCOMPARE(text("CountOfMeasurement"), QStringLiteral("4"));
}

void TestPlotFiles::damagedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("points"); // per channel; 0: nothing shown

    const QByteArray three = logBytes({"A", "B"}, {{20, 21}, {22, 23}, {24, 25}});
    QTest::newRow("huge count") << "2147483647" + three.mid(1) << "no channel count" << 0;
    QTest::newRow("negative count") << "-2" + three.mid(1) << "no channel count" << 0;
    QTest::newRow("not a log") << QByteArray("<html>log</html>") << "no channel count" << 0;
    QTest::newRow("word in a record") << three + "99\tabc\t1\t"
                                      << "not a number" << 3;
    QTest::newRow("blank in a name")
        << logBytes({"Oven 1", "B"}, {{20, 21}}) << "not a number" << 0;
    QTest::newRow("cut inside record") << three + "99\t26\t"
                                       << "inside a record" << 3;
    QTest::newRow("cut inside value") << three.chopped(2) << "inside a record" << 2;
    QTest::newRow("header only") << QByteArray("2\tA\tB\t") << QString() << 0;
    // Recording went on after a record cut short: its two tokens are left out.
    QTest::newRow("cut in the middle") << three + QByteArray::number(Start + 180) + "\t26\t" +
                                              QByteArray::number(Start + 240) + "\t27\t28\t"
                                       << "2 tokens were skipped" << 4;
}

void TestPlotFiles::damagedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, warning);
    QFETCH(int, points);

    // Nothing of a previous file may stay on show behind a damaged one.
    load(logBytes({"P", "Q", "R"}, {{10, 11, 12}, {13, 14, 15}}));
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
    load(bytes);

    for (int i = 0; i < Station::ChannelCount; ++i)
        QCOMPARE(plot()->graph(i)->dataCount(), i < 2 ? points : 0);
    // Only what was skipped to read on is the operator's business.
    const QString message = window->statusBar()->currentMessage();
    QCOMPARE(message.endsWith(QLatin1String(" 2")), warning.contains(QLatin1String("skipped")));
    if (points) {
        QCOMPARE(text("CountOfMeasurement"), QString::number(2 * points));
        QCOMPARE(boxes(&QCheckBox::isChecked), QList<int>({0, 1}));
    } else {
        QCOMPARE(text("SensorsCount"), QStringLiteral("-//-"));
        QCOMPARE(text("StartTime"), QStringLiteral(" -//- "));
        QCOMPARE(text("CountOfMeasurement"), QStringLiteral("-//-"));
        QCOMPARE(boxes(&QCheckBox::isEnabled), QList<int>());
        QCOMPARE(boxes(&QCheckBox::isChecked), QList<int>());
        QVERIFY(!plot()->legend->visible());
    }
}

void TestPlotFiles::openButtonAsksInAnalysisDirectory()
{
    const QString path = dir.filePath(QStringLiteral("Log_chosen.dat"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(logBytes({"A"}, {{20}, {21}}));
    file.close();

    window->SetAnalysisDirectory(dir.path());
    QString askedIn;
    window->askFileName = [&](QWidget *owner, const QString &directory) {
        askedIn = directory;
        return owner == window.get() ? path : QString();
    };
    auto *button = window->findChild<QPushButton *>("OpenFileData");
    button->click();
    QCOMPARE(askedIn, dir.path());
    QCOMPARE(text("CountOfMeasurement"), QStringLiteral("2"));

    // A cancelled dialog answers with an empty path, which cannot be opened.
    window->askFileName = [](QWidget *, const QString &) { return QString(); };
    QTest::ignoreMessage(QtWarningMsg, "Can not open file test.dat");
    button->click();
    QCOMPARE(text("Path_displ"), QString());
    QCOMPARE(text("CountOfMeasurement"), QStringLiteral("-//-"));
    QCOMPARE(plot()->graph(0)->dataCount(), 0);
    QCOMPARE(boxes(&QCheckBox::isEnabled), QList<int>());
}

void TestPlotFiles::selectedAxisRestrictsDragAndZoom()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCustomPlot *p = plot();
    const QPoint inside = p->axisRect()->rect().center();
    const Qt::Orientations both = Qt::Horizontal | Qt::Vertical;

    for (QCPAxis *selected : {p->xAxis, p->yAxis, static_cast<QCPAxis *>(nullptr)}) {
        const Qt::Orientations expected = selected ? selected->orientation() : both;
        // Start from the opposite, so that each check sees a change.
        p->axisRect()->setRangeDrag(expected ^ both);
        p->axisRect()->setRangeZoom(expected ^ both);

        if (selected)
            selected->setSelectedParts(QCPAxis::spAxis);
        QTest::mousePress(p, Qt::LeftButton, Qt::NoModifier, inside);
        QCOMPARE(p->axisRect()->rangeDrag(), expected);
        QTest::mouseRelease(p, Qt::LeftButton, Qt::NoModifier, inside);

        if (selected)
            selected->setSelectedParts(QCPAxis::spAxis);
        QWheelEvent wheel(inside, p->mapToGlobal(inside), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(p, &wheel);
        QCOMPARE(p->axisRect()->rangeZoom(), expected);
        if (selected)
            selected->setSelectedParts(QCPAxis::spNone);
    }
}

QTEST_MAIN(TestPlotFiles)
#include "tst_plotfiles.moc"
