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
};

using SoundOutputFactory = std::function<std::unique_ptr<SoundOutput>(const QString &path)>;

// A sound for the file at path through the platform's sound: Qt Multimedia, or winmm.
std::unique_ptr<SoundOutput> createPlatformSoundOutput(const QString &path);
