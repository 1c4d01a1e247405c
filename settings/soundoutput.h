#pragma once

#include <QString>

#include <functional>
#include <memory>

// The alarm sound as the station uses it; tests put a fake behind it.
class SoundOutput
{
public:
    virtual ~SoundOutput();
    // Number of times one play() repeats the file.
    virtual void setLoops(int loops) = 0;
    virtual void play() = 0;
    virtual void stop() = 0;
    virtual bool isPlaying() const = 0;
    virtual QString source() const = 0;

    // Called, on the thread that made the sound, when a play() has played all its passes and
    // fell silent by itself; never after stop().
    void setPassesEndedHandler(std::function<void()> handler) { passesEnded = std::move(handler); }

protected:
    void tellPassesEnded() const
    {
        if (passesEnded)
            passesEnded();
    }

private:
    std::function<void()> passesEnded;
};

using SoundOutputFactory = std::function<std::unique_ptr<SoundOutput>(const QString &path)>;

// A sound for the file at path through the platform's sound: Qt Multimedia, or winmm.
std::unique_ptr<SoundOutput> createPlatformSoundOutput(const QString &path);
