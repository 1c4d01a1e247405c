#include "fakesoundoutput.h"
#include "settings.h"

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

void setRecord(Settings &w, int n, const QString &name, float upper, float lower, int enabled)
{
    w.Channel[n].ChannelName = name;
    w.Channel[n].UpperLimit = upper;
    w.Channel[n].LowerLimit = lower;
    w.Channel[n].ChannelEnabled = enabled;
}

bool near(double a, double b)
{
    return qAbs(a - b) < 1e-6;
}

class ScriptedSettings : public Settings
{
public:
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
    Settings w;
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

    // Fresh window: no sound, nothing to refresh.
    QVERIFY(!w.AlarmSound);
    QVERIFY(w.SoundFilePath.isEmpty());
    QVERIFY(w.WorkingDirectory.isEmpty());
    QCOMPARE(w.SettingsChanged, 0);
    for (const ChannelSettings &record : w.Channel) {
        QVERIFY(record.ChannelName.isEmpty());
        QCOMPARE(record.AlarmState, 0);
        QCOMPARE(record.AlarmStatePrev, 0);
    }
}

void TestSettings::channelWidgets()
{
    Settings w;
    for (int n = 0; n < Station::ChannelCount; ++n) {
        QGroupBox *box = groupBox(w, n);
        QCOMPARE(child<QLabel>(&w, QStringLiteral("SensorT%1").arg(n))->text(),
                 QStringLiteral("T%1").arg(n));
        QCOMPARE(nameField(w, n)->parentWidget(), box);
        QCOMPARE(nameField(w, n)->maxLength(), 10);
        for (QDoubleSpinBox *spin : {upperBox(w, n), lowerBox(w, n)}) {
            QCOMPARE(spin->parentWidget(), box);
            QCOMPARE(spin->decimals(), 1);
            QCOMPARE(spin->minimum(), -50.0);
            QCOMPARE(spin->maximum(), 120.0);
            QCOMPARE(spin->singleStep(), 0.1);
            QVERIFY(!spin->keyboardTracking());
        }
        QCOMPARE(upperBox(w, n)->value(), 20.0);
        QCOMPARE(lowerBox(w, n)->value(), 10.0);
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
    Settings w;
    setRecord(w, 2, QStringLiteral("Датчик"), 40, 10, 1);
    w.ShowChannel(2);
    QLineEdit *field = nameField(w, 2);
    field->clear();
    QTest::keyClick(field, Qt::Key_Home);
    typeText(field, typed);
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(w.Channel[2].ChannelName, name);
    QCOMPARE(w.SettingsChanged, 1);
}

void TestSettings::crossLimits()
{
    Settings w;
    setRecord(w, 0, QStringLiteral("a"), 40, 10, 1);
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
    QVERIFY(w.Channel[0].LowerLimit <= 39.9f);

    // The taken-over lower threshold moves the upper box's floor along.
    lower->setValue(39.9);
    QTest::keyClick(lower, Qt::Key_Return);
    QCOMPARE(w.Channel[0].LowerLimit, 39.9f);
    QVERIFY(near(upper->minimum(), 40.0));

    setRecord(w, 0, QStringLiteral("a"), 40, 10, 1);
    w.ShowChannel(0);
    upper->setValue(10.0);
    upper->stepBy(-5);
    QVERIFY(near(upper->value(), 10.1));
    QTest::keyClick(upper, Qt::Key_Return);
    QCOMPARE(w.Channel[0].UpperLimit, 10.1f);
    QVERIFY(near(lower->maximum(), 10.0));
}

void TestSettings::stepsAloneChangeNothing()
{
    Settings w;
    setRecord(w, 1, QStringLiteral("a"), 40, 10, 1);
    w.ShowChannel(1);
    upperBox(w, 1)->stepBy(5);
    lowerBox(w, 1)->stepBy(-3);
    QCOMPARE(w.Channel[1].UpperLimit, 40.0f);
    QCOMPARE(w.Channel[1].LowerLimit, 10.0f);
    QCOMPARE(w.SettingsChanged, 0);
    QVERIFY(near(lowerBox(w, 1)->maximum(), 39.9));

    QTest::keyClick(upperBox(w, 1), Qt::Key_Return);
    QCOMPARE(w.Channel[1].UpperLimit, 40.5f);
    QCOMPARE(w.Channel[1].LowerLimit, 9.7f);
    QCOMPARE(w.SettingsChanged, 1);
    QVERIFY(near(lowerBox(w, 1)->maximum(), 40.4));
    QVERIFY(near(upperBox(w, 1)->minimum(), 9.8));
}

void TestSettings::nameEditTakesOverThresholds()
{
    Settings w;
    setRecord(w, 3, QStringLiteral("Old"), 40, 10, 1);
    w.ShowChannel(3);
    upperBox(w, 3)->setValue(55.5);
    lowerBox(w, 3)->setValue(-12.3);
    QLineEdit *field = nameField(w, 3);
    field->clear();
    QTest::keyClick(field, Qt::Key_Home);
    typeText(field, QStringLiteral("Склад1"));
    QCOMPARE(w.Channel[3].ChannelName, QStringLiteral("Old"));
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(w.Channel[3].ChannelName, QStringLiteral("Склад1"));
    QCOMPARE(w.Channel[3].UpperLimit, 55.5f);
    QCOMPARE(w.Channel[3].LowerLimit, -12.3f);
    QCOMPARE(w.SettingsChanged, 1);
    // Other channels are left alone.
    QVERIFY(w.Channel[2].ChannelName.isEmpty());
    QCOMPARE(w.Channel[4].UpperLimit, 0.0f);
}

void TestSettings::enableClick()
{
    Settings w;
    setRecord(w, 5, QStringLiteral("a"), 40, 10, 1);
    w.ShowChannel(5);
    QVERIFY(groupBox(w, 5)->isEnabled());

    enableBox(w, 5)->click();
    QCOMPARE(w.Channel[5].ChannelEnabled, 0);
    QVERIFY(!groupBox(w, 5)->isEnabled());
    QVERIFY(enableBox(w, 5)->isEnabled());
    QCOMPARE(w.SettingsChanged, 0);

    enableBox(w, 5)->click();
    QCOMPARE(w.Channel[5].ChannelEnabled, 1);
    QVERIFY(groupBox(w, 5)->isEnabled());

    // Only the operator's click counts, not a state set by program.
    enableBox(w, 6)->setChecked(true);
    QCOMPARE(w.Channel[6].ChannelEnabled, 0);
}

void TestSettings::showCopiesRecordsOnly()
{
    Settings w;
    for (int n = 0; n < Station::ChannelCount; ++n)
        setRecord(w, n, QStringLiteral("Ch%1").arg(n), 30.5f + n, -5.5f + n, n % 2);
    // Loaded from a file beyond what the spin boxes can show.
    setRecord(w, 11, QStringLiteral("Far"), 150.0f, -60.0f, 1);
    w.Channel[4].AlarmState = 1;
    w.Channel[4].AlarmStatePrev = 1;
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
        QCOMPARE(w.Channel[n].UpperLimit, 30.5f + n);
    }
    QCOMPARE(upperBox(w, 11)->value(), 120.0);
    QCOMPARE(lowerBox(w, 11)->value(), -50.0);
    QCOMPARE(w.Channel[11].UpperLimit, 150.0f);
    QCOMPARE(w.Channel[11].LowerLimit, -60.0f);
    QCOMPARE(w.Channel[4].AlarmState, 1);
    QCOMPARE(w.Channel[4].AlarmStatePrev, 1);
    QCOMPARE(w.SettingsChanged, 0);
}

void TestSettings::showIgnoresPreviousCrossLimits()
{
    // Defaults first, then a configuration with thresholds outside the defaults' band,
    // as at start-up: the boxes must show what was loaded, not the old bounds.
    Settings w;
    setRecord(w, 0, QStringLiteral("Freezer"), 40, 10, 1);
    setRecord(w, 1, QStringLiteral("Oven"), 40, 10, 1);
    w.ShowAllChannels();
    setRecord(w, 0, QStringLiteral("Freezer"), 5, -18, 1);
    setRecord(w, 1, QStringLiteral("Oven"), 90, 60, 1);
    w.ShowAllChannels();
    QVERIFY(near(upperBox(w, 0)->value(), 5.0));
    QVERIFY(near(lowerBox(w, 1)->value(), 60.0));

    // So editing the name keeps the configured thresholds.
    QTest::keyClick(nameField(w, 0), Qt::Key_Return);
    QTest::keyClick(nameField(w, 1), Qt::Key_Return);
    QCOMPARE(w.Channel[0].UpperLimit, 5.0f);
    QCOMPARE(w.Channel[1].LowerLimit, 60.0f);
}

void TestSettings::soundFile()
{
    FakeSoundFactory sounds;
    Settings w;
    w.SetSoundFile(QStringLiteral("/alarms/siren.wav"));
    QCOMPARE(child<QLabel>(&w, "PathWavFile")->text(), QStringLiteral("/alarms/siren.wav"));
    QCOMPARE(w.SoundFilePath, QStringLiteral("/alarms/siren.wav"));
    QVERIFY(sounds.current());
    QCOMPARE(w.AlarmSound.get(), sounds.current());
    QCOMPARE(sounds.current()->loops(), 50);
    QCOMPARE(sounds.current()->source(), QStringLiteral("/alarms/siren.wav"));
    QCOMPARE(sounds.current()->plays(), 0);

    // A sound still playing stops and goes; the new one waits for the next alarm.
    w.AlarmSound->play();
    sounds.events.clear();
    w.SetSoundFile(QStringLiteral("/alarms/bell.wav"));
    QCOMPARE(sounds.events, QStringList({"stop /alarms/siren.wav", "destroy /alarms/siren.wav",
                                         "create /alarms/bell.wav"}));
    QVERIFY(!w.AlarmSound->isPlaying());
    QCOMPARE(sounds.current()->loops(), 50);

    // An empty path still gives a (silent) sound object.
    w.SetSoundFile(QString());
    QVERIFY(w.AlarmSound);
    QVERIFY(child<QLabel>(&w, "PathWavFile")->text().isEmpty());
    QCOMPARE(w.SettingsChanged, 0);
}

void TestSettings::selectWavFileSeam()
{
    FakeSoundFactory sounds;
    ScriptedSettings w;
    w.SetSoundFile(QStringLiteral("/alarms/siren.wav"));
    SoundOutput *before = w.AlarmSound.get();
    QPushButton *select = child<QPushButton>(&w, "SelectWavFile");

    select->click();
    QCOMPARE(w.asked, 1);
    QCOMPARE(w.AlarmSound.get(), before);
    QCOMPARE(w.SoundFilePath, QStringLiteral("/alarms/siren.wav"));
    QCOMPARE(child<QLabel>(&w, "PathWavFile")->text(), QStringLiteral("/alarms/siren.wav"));
    QCOMPARE(sounds.created(), 1);

    w.answer = QStringLiteral("/alarms/bell.wav");
    select->click();
    QCOMPARE(w.SoundFilePath, QStringLiteral("/alarms/bell.wav"));
    QCOMPARE(sounds.current()->source(), QStringLiteral("/alarms/bell.wav"));
    QCOMPARE(child<QLabel>(&w, "PathWavFile")->text(), QStringLiteral("/alarms/bell.wav"));
}

void TestSettings::selectWavFileDialog()
{
    FakeSoundFactory sounds;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString wav = dir.filePath(QStringLiteral("horn.wav"));
    QFile file(wav);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    Settings w;
    w.SetWorkingDirectory(dir.path());
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
    child<QPushButton>(&w, "SelectWavFile")->click();

    QCOMPARE(title, QStringLiteral("Открыть файл"));
    QCOMPARE(filters, QStringList({QStringLiteral("Аудио файлы(*.wav)"),
                                   QStringLiteral("Все файлы (*.*)")}));
    QCOMPARE(start, QDir(dir.path()).absolutePath());
    QCOMPARE(w.SoundFilePath, wav);
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
