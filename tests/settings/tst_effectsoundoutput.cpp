#include "alarmsound.h"
#include "effectsoundoutput.h"
#include "stationcore.h"
#include "wavefile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

// The real Qt Multimedia sound, headless and usually without an audio device.
// A file that leaves Qt's sample cache loading for ever makes the deletion of any
// later sound block, so a regression shows here as a hang (ctest time-out).
class TestEffectSoundOutput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void goodFilesLoad_data();
    void goodFilesLoad();
    void badFilesStaySilent_data();
    void badFilesStaySilent();
    void operatorChangesFiles();

private:
    QString file(const QString &name, const QByteArray &bytes);

    QTemporaryDir dir;
    QString good;
};

QString TestEffectSoundOutput::file(const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    if (!wavefile::write(path, bytes))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestEffectSoundOutput::initTestCase()
{
    QVERIFY(dir.isValid());
    good = file(QStringLiteral("good.wav"), wavefile::silence());
}

void TestEffectSoundOutput::goodFilesLoad_data()
{
    using namespace wavefile;
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray fmt16 = chunk("fmt ", pcmFormat(1, 8000, 16));
    QTest::newRow("mono 16 bit") << silence();
    QTest::newRow("8 bit, odd data length")
        << riff(chunk("fmt ", pcmFormat(1, 8000, 8)) + chunk("data", QByteArray(401, '\x80')));
    QTest::newRow("stereo 16 bit")
        << riff(chunk("fmt ", pcmFormat(2, 22050, 16)) + chunk("data", QByteArray(800, '\0')));
    QTest::newRow("list before format")
        << riff(chunk("LIST", "INFOab") + fmt16 + chunk("data", QByteArray(400, '\0')));
    QTest::newRow("chunk after data")
        << riff(fmt16 + chunk("data", QByteArray(400, '\0')) + chunk("LIST", "INFO"));
}

void TestEffectSoundOutput::goodFilesLoad()
{
    QFETCH(QByteArray, bytes);
    const QString name = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_');
    EffectSoundOutput sound(file(name + QStringLiteral(".wav"), bytes));
    QVERIFY(sound.isAccepted());
    sound.setLoops(50);
    QTRY_VERIFY(sound.isLoaded());
    sound.play();
    sound.stop();
    QVERIFY(!sound.isPlaying());
}

void TestEffectSoundOutput::badFilesStaySilent_data()
{
    using namespace wavefile;
    QTest::addColumn<QString>("path");
    const QByteArray fmt16 = chunk("fmt ", pcmFormat(1, 8000, 16));
    const QByteArray complete = silence();
    QTest::newRow("missing") << dir.filePath(QStringLiteral("missing.wav"));
    QTest::newRow("directory") << dir.path();
    QTest::newRow("empty") << file(QStringLiteral("empty.wav"), QByteArray());
    QTest::newRow("text") << file(QStringLiteral("text.wav"), "not a sound at all\n");
    QTest::newRow("cut in header") << file(QStringLiteral("head.wav"), complete.left(30));
    QTest::newRow("cut in data") << file(QStringLiteral("data.wav"), complete.left(400));
    QTest::newRow("streamed size")
        << file(QStringLiteral("stream.wav"),
                riff(fmt16 + QByteArray("data\xff\xff\xff\xff", 8) + QByteArray(400, '\0')));
    QTest::newRow("partial frame")
        << file(QStringLiteral("frame.wav"),
                riff(chunk("fmt ", pcmFormat(2, 8000, 16)) + chunk("data", QByteArray(802, '\0'))));
    QTest::newRow("odd chunk before format")
        << file(QStringLiteral("odd.wav"), riff(chunk("LIST", "INFOabc") + QByteArray(1, '\0') +
                                                fmt16 + chunk("data", QByteArray(400, '\0'))));
    QTest::newRow("no data") << file(QStringLiteral("nodata.wav"), riff(fmt16));

    const QString fifo = dir.filePath(QStringLiteral("fifo.wav"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QTest::newRow("fifo") << fifo;
}

void TestEffectSoundOutput::badFilesStaySilent()
{
    QFETCH(QString, path);
    EffectSoundOutput bad(path);
    bad.setLoops(50);
    bad.play();
    QVERIFY(!bad.isAccepted());
    QVERIFY(!bad.isPlaying());
    QCOMPARE(bad.source(), path);

    auto later = std::make_unique<EffectSoundOutput>(good);
    QTRY_VERIFY(later->isLoaded());
    later->play();
    later.reset();
}

void TestEffectSoundOutput::operatorChangesFiles()
{
    StationCore station(StationTimer::Mode::Held);
    EffectSoundOutput *sound = nullptr;
    AlarmSound alarm(station, [&sound](const QString &path) {
        auto made = std::make_unique<EffectSoundOutput>(path);
        sound = made.get();
        return made;
    });
    station.setSoundFile(file(QStringLiteral("empty2.wav"), QByteArray()));
    sound->play();
    station.setSoundFile(good);
    QTRY_VERIFY(sound->isLoaded());
    sound->play();
    station.setSoundFile(file(QStringLiteral("text2.wav"), "garbage"));
    QVERIFY(!sound->isPlaying());
    station.setSoundFile(QString());
    QVERIFY(!sound->isPlaying());
    station.setSoundFile(good);
    QTRY_VERIFY(sound->isLoaded());
}

QTEST_MAIN(TestEffectSoundOutput)
#include "tst_effectsoundoutput.moc"
