#include "alarmsound.h"
#include "fakesoundoutput.h"
#include "settings.h"
#include "stationcore.h"

#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

namespace {

template<typename T>
T *child(QObject *window, const QString &name)
{
    T *widget = window->findChild<T *>(name);
    if (!widget)
        qFatal("no %s", qPrintable(name));
    return widget;
}

QLineEdit *nameField(Settings &w, int n)
{
    return child<QLineEdit>(&w, QStringLiteral("NameSensorT%1").arg(n));
}
QDoubleSpinBox *upperBox(Settings &w, int n)
{
    return child<QDoubleSpinBox>(&w, QStringLiteral("HighLevelT%1").arg(n));
}
QDoubleSpinBox *lowerBox(Settings &w, int n)
{
    return child<QDoubleSpinBox>(&w, QStringLiteral("LowLevelT%1").arg(n));
}
QGroupBox *groupBox(Settings &w, int n)
{
    return child<QGroupBox>(&w, QStringLiteral("T%1channel").arg(n));
}
QCheckBox *enableBox(Settings &w, int n)
{
    return child<QCheckBox>(&w, QStringLiteral("ChanlEnableT%1").arg(n));
}

// Types text as the keyboard would, Cyrillic included (QTest::keyClicks is Latin-1 only).
void typeText(QWidget *widget, const QString &text)
{
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

// The window over a station of its own, as the main window builds it.
struct Shown
{
    StationCore station{StationTimer::Mode::Held};
    Settings w{station};

    ChannelSettings record(int n) const { return station.alarms().channel(n); }
    void setRecord(int n, const QString &name, float upper, float lower, int enabled)
    {
        station.alarms().restoreChannel(n, {name, upper, lower, enabled, 0, 0});
    }
    // The captions are due; asking clears it.
    bool changed() { return station.alarms().takeSettingsChanged(); }
};

bool near(double a, double b)
{
    return qAbs(a - b) < 1e-6;
}

class ScriptedSettings : public Settings
{
public:
    using Settings::Settings;
    QString answer;
    int asked = 0;

protected:
    QString askSoundFile() override
    {
        ++asked;
        return answer;
    }
};

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void windowAndHeadings();
    void channelWidgets();
    void nameMask_data();
    void nameMask();
    void crossLimits();
    void stepsAloneChangeNothing();
    void nameEditTakesOverThresholds();
    void enableClick();
    void showCopiesRecordsOnly();
    void showIgnoresPreviousCrossLimits();
    void soundFile();
    void selectWavFileSeam();
    void selectWavFileDialog();
};

void TestSettings::windowAndHeadings()
{
    Shown shown;
    Settings &w = shown.w;
    QCOMPARE(w.objectName(), QStringLiteral("Settings"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Settings"));
    QCOMPARE(w.minimumSize(), QSize(661, 493));
    QCOMPARE(w.maximumSize(), QSize(661, 493));
    QVERIFY(w.isWindow());

    const QString heading =
        QString(5, ' ') + QStringLiteral("Датчик") + QString(11, ' ') + QStringLiteral("Название") +
        QString(13, ' ') + QStringLiteral("Верхн. Порог") + QString(7, ' ') +
        QStringLiteral("Нижн. Порог") + QString(19, ' ') + QStringLiteral("ВКЛ");
    QCOMPARE(child<QLabel>(&w, "NameColumn")->text(), heading);
    QCOMPARE(child<QLabel>(&w, "NameColumn_2")->text(),
             QStringLiteral("Настройка Аварийного Оповещения "));
    QCOMPARE(child<QGroupBox>(&w, "SoundAlarm")->title(),
             QStringLiteral("Звуковой файл Аварийного Оповещения"));
    QVERIFY(child<QLabel>(&w, "PathWavFile")->text().isEmpty());
    QVERIFY(child<QPushButton>(&w, "SelectWavFile")->text().isEmpty());

    // It shows the station's defaults from the start: every channel "Датчик", 40 and 10, off.
    for (int n = 0; n < Station::ChannelCount; ++n) {
        QCOMPARE(nameField(w, n)->text(), QStringLiteral("Датчик"));
        QCOMPARE(upperBox(w, n)->value(), 40.0);
        QCOMPARE(lowerBox(w, n)->value(), 10.0);
        QVERIFY(!enableBox(w, n)->isChecked());
    }
}

void TestSettings::channelWidgets()
{
    Shown shown;
    Settings &w = shown.w;
    for (int n = 0; n < Station::ChannelCount; ++n) {
        QGroupBox *box = groupBox(w, n);
        QCOMPARE(child<QLabel>(&w, QStringLiteral("SensorT%1").arg(n))->text(),
                 QStringLiteral("T%1").arg(n));
        QCOMPARE(nameField(w, n)->parentWidget(), box);
        QCOMPARE(nameField(w, n)->maxLength(), 10);
        for (QDoubleSpinBox *spin : {upperBox(w, n), lowerBox(w, n)}) {
            QCOMPARE(spin->parentWidget(), box);
            QCOMPARE(spin->decimals(), 1);
            QCOMPARE(spin->singleStep(), 0.1);
            QVERIFY(!spin->keyboardTracking());
        }
        QCOMPARE(upperBox(w, n)->maximum(), 120.0);
        QCOMPARE(lowerBox(w, n)->minimum(), -50.0);
        // Beside the group box, so a disabled channel can be switched back on.
        QCOMPARE(enableBox(w, n)->parentWidget(), box->parentWidget());
    }
}

void TestSettings::nameMask_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("name");
    QTest::newRow("cyrillic and digits") << QStringLiteral("Печь2") << QStringLiteral("Печь2");
    QTest::newRow("blanks dropped") << QStringLiteral("ab cd") << QStringLiteral("abcd");
    QTest::newRow("ten at most") << QStringLiteral("abcdefghijkl") << QStringLiteral("abcdefghij");
    QTest::newRow("punctuation refused") << QStringLiteral("a-b_c.") << QStringLiteral("abc");
    QTest::newRow("may be empty") << QString() << QString();
}

void TestSettings::nameMask()
{
    QFETCH(QString, typed);
    QFETCH(QString, name);
    Shown shown;
    shown.setRecord(2, QStringLiteral("Датчик"), 40, 10, 1);
    shown.w.ShowChannel(2);
    shown.changed();
    QLineEdit *field = nameField(shown.w, 2);
    field->clear();
    QTest::keyClick(field, Qt::Key_Home);
    typeText(field, typed);
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(shown.record(2).ChannelName, name);
    QVERIFY(shown.changed());
}

void TestSettings::crossLimits()
{
    Shown shown;
    Settings &w = shown.w;
    shown.setRecord(0, QStringLiteral("a"), 40, 10, 1);
    w.ShowChannel(0);
    QDoubleSpinBox *upper = upperBox(w, 0);
    QDoubleSpinBox *lower = lowerBox(w, 0);
    QVERIFY(near(lower->maximum(), 39.9));
    QVERIFY(near(upper->minimum(), 10.1));

    lower->setValue(39.8);
    lower->stepBy(2);
    QVERIFY(near(lower->value(), 39.9));
    lower->selectAll();
    typeText(lower, QStringLiteral("45"));
    QTest::keyClick(lower, Qt::Key_Return);
    QVERIFY(lower->value() <= 39.9 + 1e-6);
    QVERIFY(shown.record(0).LowerLimit <= 39.9f);

    // The taken-over lower threshold moves the upper box's floor along.
    lower->setValue(39.9);
    QTest::keyClick(lower, Qt::Key_Return);
    QCOMPARE(shown.record(0).LowerLimit, 39.9f);
    QVERIFY(near(upper->minimum(), 40.0));

    shown.setRecord(0, QStringLiteral("a"), 40, 10, 1);
    w.ShowChannel(0);
    upper->setValue(10.0);
    upper->stepBy(-5);
    QVERIFY(near(upper->value(), 10.1));
    QTest::keyClick(upper, Qt::Key_Return);
    QCOMPARE(shown.record(0).UpperLimit, 10.1f);
    QVERIFY(near(lower->maximum(), 10.0));
}

void TestSettings::stepsAloneChangeNothing()
{
    Shown shown;
    Settings &w = shown.w;
    shown.setRecord(1, QStringLiteral("a"), 40, 10, 1);
    w.ShowChannel(1);
    shown.changed();
    upperBox(w, 1)->stepBy(5);
    lowerBox(w, 1)->stepBy(-3);
    QCOMPARE(shown.record(1).UpperLimit, 40.0f);
    QCOMPARE(shown.record(1).LowerLimit, 10.0f);
    QVERIFY(!shown.changed());
    QVERIFY(near(lowerBox(w, 1)->maximum(), 39.9));

    QTest::keyClick(upperBox(w, 1), Qt::Key_Return);
    QCOMPARE(shown.record(1).UpperLimit, 40.5f);
    QCOMPARE(shown.record(1).LowerLimit, 9.7f);
    QVERIFY(shown.changed());
    QVERIFY(near(lowerBox(w, 1)->maximum(), 40.4));
    QVERIFY(near(upperBox(w, 1)->minimum(), 9.8));
}

void TestSettings::nameEditTakesOverThresholds()
{
    Shown shown;
    Settings &w = shown.w;
    shown.setRecord(3, QStringLiteral("Old"), 40, 10, 1);
    shown.setRecord(4, QStringLiteral("Other"), 30, 5, 1);
    w.ShowChannel(3);
    shown.changed();
    upperBox(w, 3)->setValue(55.5);
    lowerBox(w, 3)->setValue(-12.3);
    QLineEdit *field = nameField(w, 3);
    field->clear();
    QTest::keyClick(field, Qt::Key_Home);
    typeText(field, QStringLiteral("Склад1"));
    QCOMPARE(shown.record(3).ChannelName, QStringLiteral("Old"));
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(shown.record(3).ChannelName, QStringLiteral("Склад1"));
    QCOMPARE(shown.record(3).UpperLimit, 55.5f);
    QCOMPARE(shown.record(3).LowerLimit, -12.3f);
    QVERIFY(shown.changed());
    // Other channels are left alone.
    QCOMPARE(shown.record(4).ChannelName, QStringLiteral("Other"));
    QCOMPARE(shown.record(4).UpperLimit, 30.0f);
}

void TestSettings::enableClick()
{
    Shown shown;
    Settings &w = shown.w;
    shown.setRecord(5, QStringLiteral("a"), 40, 10, 1);
    w.ShowChannel(5);
    shown.changed();
    QVERIFY(groupBox(w, 5)->isEnabled());

    enableBox(w, 5)->click();
    QCOMPARE(shown.record(5).ChannelEnabled, 0);
    QVERIFY(!groupBox(w, 5)->isEnabled());
    QVERIFY(enableBox(w, 5)->isEnabled());
    QVERIFY(!shown.changed());

    enableBox(w, 5)->click();
    QCOMPARE(shown.record(5).ChannelEnabled, 1);
    QVERIFY(groupBox(w, 5)->isEnabled());

    // Only the operator's click counts, not a state set by program.
    enableBox(w, 6)->setChecked(true);
    QCOMPARE(shown.record(6).ChannelEnabled, 0);
}

void TestSettings::showCopiesRecordsOnly()
{
    Shown shown;
    Settings &w = shown.w;
    for (int n = 0; n < Station::ChannelCount; ++n)
        shown.setRecord(n, QStringLiteral("Ch%1").arg(n), 30.5f + n, -5.5f + n, n % 2);
    // Loaded from a file beyond what the spin boxes can show.
    shown.setRecord(11, QStringLiteral("Far"), 150.0f, -60.0f, 1);
    shown.changed();
    w.ShowAllChannels();
    w.ShowChannel(-1);
    w.ShowChannel(Station::ChannelCount);

    for (int n = 0; n < 11; ++n) {
        QCOMPARE(nameField(w, n)->text(), QStringLiteral("Ch%1").arg(n));
        QVERIFY(near(upperBox(w, n)->value(), 30.5 + n));
        QVERIFY(near(lowerBox(w, n)->value(), -5.5 + n));
        QVERIFY(near(upperBox(w, n)->minimum(), -5.4 + n));
        QVERIFY(near(lowerBox(w, n)->maximum(), 30.4 + n));
        QCOMPARE(enableBox(w, n)->isChecked(), n % 2 == 1);
        QCOMPARE(groupBox(w, n)->isEnabled(), n % 2 == 1);
        QCOMPARE(shown.record(n).UpperLimit, 30.5f + n);
    }
    QCOMPARE(upperBox(w, 11)->value(), 120.0);
    QCOMPARE(lowerBox(w, 11)->value(), -50.0);
    QCOMPARE(shown.record(11).UpperLimit, 150.0f);
    QCOMPARE(shown.record(11).LowerLimit, -60.0f);
    QVERIFY(!shown.changed());
}

void TestSettings::showIgnoresPreviousCrossLimits()
{
    // Defaults first, then a configuration with thresholds outside the defaults' band,
    // as at start-up: the boxes must show what was loaded, not the old bounds.
    Shown shown;
    Settings &w = shown.w;
    shown.setRecord(0, QStringLiteral("Freezer"), 5, -18, 1);
    shown.setRecord(1, QStringLiteral("Oven"), 90, 60, 1);
    w.ShowAllChannels();
    QVERIFY(near(upperBox(w, 0)->value(), 5.0));
    QVERIFY(near(lowerBox(w, 1)->value(), 60.0));

    // So editing the name keeps the configured thresholds.
    QTest::keyClick(nameField(w, 0), Qt::Key_Return);
    QTest::keyClick(nameField(w, 1), Qt::Key_Return);
    QCOMPARE(shown.record(0).UpperLimit, 5.0f);
    QCOMPARE(shown.record(1).LowerLimit, 60.0f);
}

void TestSettings::soundFile()
{
    FakeSoundFactory sounds;
    Shown shown;
    AlarmSound alarm(shown.station, sounds.factory());
    shown.station.setSoundFile(QStringLiteral("/alarms/siren.wav"));
    QCOMPARE(child<QLabel>(&shown.w, "PathWavFile")->text(), QStringLiteral("/alarms/siren.wav"));
    QVERIFY(sounds.current());
    QCOMPARE(sounds.current()->loops(), 50);
    QCOMPARE(sounds.current()->source(), QStringLiteral("/alarms/siren.wav"));
    QCOMPARE(sounds.current()->plays(), 0);

    // A sound still playing stops and goes; the new one waits for the next alarm.
    sounds.current()->play();
    sounds.events.clear();
    shown.station.setSoundFile(QStringLiteral("/alarms/bell.wav"));
    QCOMPARE(sounds.events, QStringList({"stop /alarms/siren.wav", "destroy /alarms/siren.wav",
                                         "create /alarms/bell.wav"}));
    QVERIFY(!sounds.current()->isPlaying());
    QCOMPARE(sounds.current()->loops(), 50);

    // An empty path still gives a (silent) sound object.
    shown.station.setSoundFile(QString());
    QVERIFY(sounds.current());
    QVERIFY(child<QLabel>(&shown.w, "PathWavFile")->text().isEmpty());
}

void TestSettings::selectWavFileSeam()
{
    StationCore station(StationTimer::Mode::Held);
    ScriptedSettings w(station);
    station.setSoundFile(QStringLiteral("/alarms/siren.wav"));
    QPushButton *select = child<QPushButton>(&w, "SelectWavFile");

    select->click();
    QCOMPARE(w.asked, 1);
    QCOMPARE(station.soundFile(), QStringLiteral("/alarms/siren.wav"));
    QCOMPARE(child<QLabel>(&w, "PathWavFile")->text(), QStringLiteral("/alarms/siren.wav"));

    w.answer = QStringLiteral("/alarms/bell.wav");
    select->click();
    QCOMPARE(station.soundFile(), QStringLiteral("/alarms/bell.wav"));
    QCOMPARE(child<QLabel>(&w, "PathWavFile")->text(), QStringLiteral("/alarms/bell.wav"));
}

void TestSettings::selectWavFileDialog()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString wav = dir.filePath(QStringLiteral("horn.wav"));
    QFile file(wav);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    Shown shown;
    shown.station.setWorkingDirectory(dir.path());
    QString title;
    QStringList filters;
    QString start;
    QTimer watcher;
    // Answers the modal dialog from inside its own event loop: the timer can also fire while the
    // dialog is being shown, and a dialog accepted before exec() runs its loop waits for ever.
    const int outerLoops = QThread::currentThread()->loopLevel();
    connect(&watcher, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || QThread::currentThread()->loopLevel() <= outerLoops)
            return;
        watcher.stop();
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        start = dialog->directory().absolutePath();
        // selectFile() leaves the name field alone while it has the focus; type the name instead.
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(wav);
        static_cast<QDialog *>(dialog)->accept();
    });
    watcher.start(10);
    child<QPushButton>(&shown.w, "SelectWavFile")->click();

    QCOMPARE(title, QStringLiteral("Открыть файл"));
    QCOMPARE(filters, QStringList({QStringLiteral("Аудио файлы(*.wav)"),
                                   QStringLiteral("Все файлы (*.*)")}));
    QCOMPARE(start, QDir(dir.path()).absolutePath());
    QCOMPARE(shown.station.soundFile(), wav);
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
