#include "loopedsoundoutput.h"

#include <QTest>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {
// Stands in for PlaySound: a pass either ends at once or blocks until interrupted.
struct FakePlayer
{
    bool blocks = false;
    bool fails = false;
    std::atomic<int> passes{0};
    std::atomic<int> interrupts{0};
    std::mutex mutex;
    std::condition_variable wake;
    bool interrupted = false;

    LoopedSoundOutput::Player player()
    {
        return {[this](const QString &) {
                    ++passes;
                    if (fails)
                        return false;
                    std::unique_lock<std::mutex> lock(mutex);
                    wake.wait(lock, [this] { return !blocks || interrupted; });
                    interrupted = false;
                    return true;
                },
                [this] {
                    ++interrupts;
                    std::lock_guard<std::mutex> lock(mutex);
                    interrupted = true;
                    wake.notify_all();
                }};
    }
};
} // namespace

class TestLoopedSoundOutput : public QObject
{
    Q_OBJECT

private slots:
    void playsTheFileLoopsTimes_data()
    {
        QTest::addColumn<int>("loops");
        QTest::addColumn<bool>("fails");
        QTest::addColumn<int>("passes");
        QTest::newRow("once") << 1 << false << 1;
        QTest::newRow("zero means once") << 0 << false << 1;
        QTest::newRow("fifty, as the alarm") << 50 << false << 50;
        QTest::newRow("a file that cannot play ends it") << 50 << true << 1;
    }

    void playsTheFileLoopsTimes()
    {
        QFETCH(int, loops);
        QFETCH(bool, fails);
        QFETCH(int, passes);
        FakePlayer fake;
        fake.fails = fails;
        LoopedSoundOutput sound(QStringLiteral("alarm.wav"), fake.player());
        sound.setLoops(loops);
        sound.play();
        QTRY_VERIFY_WITH_TIMEOUT(!sound.isPlaying(), 20000);
        QCOMPARE(fake.passes.load(), passes);
    }

    void stopCutsThePassShortAndPlaysNoMore()
    {
        FakePlayer fake;
        fake.blocks = true;
        LoopedSoundOutput sound(QStringLiteral("alarm.wav"), fake.player());
        sound.setLoops(-1);
        sound.play();
        QTRY_COMPARE_WITH_TIMEOUT(fake.passes.load(), 1, 20000);
        QVERIFY(sound.isPlaying());
        sound.stop();
        QVERIFY(!sound.isPlaying());
        QVERIFY(fake.interrupts.load() >= 1);
        QCOMPARE(fake.passes.load(), 1);
        sound.stop();
    }

    void playAgainStartsOver()
    {
        FakePlayer fake;
        fake.blocks = true;
        LoopedSoundOutput sound(QStringLiteral("alarm.wav"), fake.player());
        sound.setLoops(2);
        sound.play();
        QTRY_COMPARE_WITH_TIMEOUT(fake.passes.load(), 1, 20000);
        sound.play();
        QTRY_COMPARE_WITH_TIMEOUT(fake.passes.load(), 2, 20000);
        QVERIFY(sound.isPlaying());
    }

    void withoutAFileNothingPlays()
    {
        FakePlayer fake;
        LoopedSoundOutput sound(QString(), fake.player());
        sound.play();
        QVERIFY(!sound.isPlaying());
        QCOMPARE(fake.passes.load(), 0);
    }
};

QTEST_GUILESS_MAIN(TestLoopedSoundOutput)
#include "tst_loopedsoundoutput.moc"
