#pragma once

#include "soundoutput.h"

#include <QObject>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Plays a file over and over on a thread of its own, through a player that blocks while one
// pass plays, as winmm's PlaySound does: the alarm sound where Qt Multimedia is missing.
class LoopedSoundOutput : public SoundOutput
{
public:
    struct Player
    {
        // Plays the file once; returns when it has ended or was interrupted, false when it
        // cannot be played.
        std::function<bool(const QString &path)> playOnce;
        // Cuts the pass playing now short; called from another thread, also when none plays.
        std::function<void()> interrupt;
    };

    LoopedSoundOutput(const QString &path, Player player);
    ~LoopedSoundOutput() override;

    // A negative count plays until stopped.
    void setLoops(int loops) override;
    // Starts over when already playing.
    void play() override;
    void stop() override;
    bool isPlaying() const override;
    QString source() const override;

private:
    void run(int passes, quint64 play);

    const QString path;
    const Player player;
    int loops = 1;
    std::thread worker;
    mutable std::mutex mutex;
    std::condition_variable finished;
    bool running = false;
    bool stopping = false;
    // Counts play() and stop() calls: the end of the passes is told only if neither came since.
    quint64 plays = 0;
    // Lives on the thread that made the sound: the end of the passes is told there.
    std::unique_ptr<QObject> home = std::make_unique<QObject>();
};
