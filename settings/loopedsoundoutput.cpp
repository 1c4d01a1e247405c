#include "loopedsoundoutput.h"

#include <QDebug>

#include <chrono>

LoopedSoundOutput::LoopedSoundOutput(const QString &file, Player soundPlayer)
    : path(file)
    , player(std::move(soundPlayer))
{}

LoopedSoundOutput::~LoopedSoundOutput()
{
    stop();
}

void LoopedSoundOutput::setLoops(int count)
{
    loops = count == 0 ? 1 : count;
}

void LoopedSoundOutput::play()
{
    stop();
    if (path.isEmpty())
        return;
    qDebug("Alarm sound started: %s, %d passes", qUtf8Printable(path), loops);
    std::lock_guard<std::mutex> lock(mutex);
    running = true;
    worker = std::thread(&LoopedSoundOutput::run, this, loops, ++plays);
}

void LoopedSoundOutput::run(int passes, quint64 play)
{
    int pass = 0;
    for (; passes < 0 || pass < passes; ++pass) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (stopping)
                break;
        }
        if (!player.playOnce(path)) {
            qDebug("Alarm sound cannot be played: %s", qUtf8Printable(path));
            break;
        }
    }
    std::lock_guard<std::mutex> lock(mutex);
    running = false;
    finished.notify_all();
    if (pass == passes && !stopping) {
        // Told unless stop() or a new play() came first; gone with `home` when the sound is.
        QMetaObject::invokeMethod(
            home.get(),
            [this, play] {
                if (play == plays)
                    tellPassesEnded();
            },
            Qt::QueuedConnection);
    }
}

void LoopedSoundOutput::stop()
{
    ++plays;
    std::unique_lock<std::mutex> lock(mutex);
    if (!worker.joinable())
        return;
    const bool wasPlaying = running;
    stopping = true;
    // A pass may begin just after an interruption: interrupt until the worker has seen the flag.
    while (running) {
        lock.unlock();
        player.interrupt();
        lock.lock();
        finished.wait_for(lock, std::chrono::milliseconds(20), [this] { return !running; });
    }
    stopping = false;
    lock.unlock();
    worker.join();
    if (wasPlaying)
        qDebug("Alarm sound stopped: %s", qUtf8Printable(path));
}

bool LoopedSoundOutput::isPlaying() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return running;
}

QString LoopedSoundOutput::source() const
{
    return path;
}
