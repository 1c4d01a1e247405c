#include "loopedsoundoutput.h"

#include <QTest>
#include <QThread>

#include <atomic>
#include <chrono>
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
                    // Ten seconds at most, as a real sound's pass: a stop that failed to cut it
                    // short leaves no thread blocked for ever.
                    if (!wake.wait_for(lock, std::chrono::seconds(10),
                                       [this] { return !blocks || interrupted; }))
                        qWarning("a blocking pass was not interrupted within 10 s");
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
        // The end of the passes is told, on this thread, only when they all played.
        QTest::addColumn<int>("told");
        QTest::newRow("once") << 1 << false << 1 << 1;
        QTest::newRow("zero means once") << 0 << false << 1 << 1;
        QTest::newRow("fifty, as the alarm") << 50 << false << 50 << 1;
        QTest::newRow("a file that cannot play ends it") << 50 << true << 1 << 0;
    }

    void playsTheFileLoopsTimes()
    {
        QFETCH(int, loops);
        QFETCH(bool, fails);
        QFETCH(int, passes);
        QFETCH(int, told);
        FakePlayer fake;
        fake.fails = fails;
        LoopedSoundOutput sound(QStringLiteral("alarm.wav"), fake.player());
        int ended = 0;
        QThread *const main = QThread::currentThread();
        sound.setPassesEndedHandler([&] { ended += QThread::currentThread() == main ? 1 : 100; });
        sound.setLoops(loops);
        sound.play();
        QVERIFY2(QTest::qWaitFor([&] { return !sound.isPlaying(); }, 5000),
                 "still playing after 5 s");
        QCOMPARE(fake.passes.load(), passes);
        QCoreApplication::processEvents();
        QCOMPARE(ended, told);
    }

    void stopCutsThePassShortAndPlaysNoMore()
    {
        FakePlayer fake;
        fake.blocks = true;
        LoopedSoundOutput sound(QStringLiteral("alarm.wav"), fake.player());
        sound.setLoops(-1);
        sound.play();
        QVERIFY2(QTest::qWaitFor([&] { return fake.passes.load() == 1; }, 5000),
                 "no pass began within 5 s");
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
        QVERIFY2(QTest::qWaitFor([&] { return fake.passes.load() == 1; }, 5000),
                 "no pass began within 5 s");
        sound.play();
        QVERIFY2(QTest::qWaitFor([&] { return fake.passes.load() == 2; }, 5000),
                 "playing again began no second pass within 5 s");
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
