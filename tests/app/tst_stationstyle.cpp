// The style the station starts with, in a process of its own for each start as the style is
// settled when the QApplication is made: Windows' look, unless the operator names another.
#include "stationstyle.h"

#include <QApplication>
#include <QProcess>
#include <QProxyStyle>
#include <QStyle>
#include <QTest>

#include <cstdio>
#include <cstring>

namespace {
// The station's start up to its application object; prints the style it then has.
int startLikeTheStation(int argc, char *argv[])
{
    const bool styleChosen = styleChosenByOperator(argc, argv);
    QApplication app(argc, argv);
    if (!styleChosen)
        applyStationStyle();
    const QStyle *style = QApplication::style();
    if (auto *proxy = qobject_cast<const QProxyStyle *>(style))
        style = proxy->baseStyle();
    std::printf("%s\n", qPrintable(style->name()));
    return 0;
}
} // namespace

class TestStationStyle : public QObject
{
    Q_OBJECT

private slots:
    void operatorsChoiceWins_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("styleOverride");
        QTest::addColumn<QString>("style");
#ifdef Q_OS_WIN
        const QString station = QStringLiteral("windowsvista"); // Qt's own choice there
#else
        const QString station = QStringLiteral("windows");
#endif
        QTest::newRow("no choice") << QStringList() << QString() << station;
        QTest::newRow("QT_STYLE_OVERRIDE") << QStringList() << "Fusion"
                                           << "fusion";
        QTest::newRow("-style") << QStringList({"-style", "Fusion"}) << QString() << "fusion";
        QTest::newRow("-style= over QT_STYLE_OVERRIDE")
            << QStringList({"-style=Fusion"}) << "Windows"
            << "fusion";
    }
    void operatorsChoiceWins()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, styleOverride);
        QFETCH(QString, style);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_STYLE_OVERRIDE"));
        if (!styleOverride.isEmpty())
            environment.insert(QStringLiteral("QT_STYLE_OVERRIDE"), styleOverride);
        QProcess start;
        start.setProcessEnvironment(environment);
        start.start(QCoreApplication::applicationFilePath(),
                    QStringList{QStringLiteral("--start-like-the-station")} + arguments);
        QVERIFY2(start.waitForFinished(10000), "the start did not end within 10 s");
        QCOMPARE(start.exitCode(), 0);
        QCOMPARE(QString::fromLocal8Bit(start.readAllStandardOutput()).trimmed(), style);
    }
};

int main(int argc, char *argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--start-like-the-station") == 0)
        return startLikeTheStation(argc, argv);
    QApplication app(argc, argv);
    TestStationStyle test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_stationstyle.moc"
