#pragma once

// Test stand-in for the alarm sound: a sound factory that records what the station does with
// the sounds it asked for.
//
//     FakeSoundFactory sounds;
//     AlarmSound alarm(core, sounds.factory());
//     core.setSoundFile("/x.wav");
//     QCOMPARE(sounds.current()->loops(), 50);

#include "soundoutput.h"

#include <QString>
#include <QStringList>

#include <memory>

class FakeSoundFactory;

class FakeSoundOutput : public SoundOutput
{
public:
    FakeSoundOutput(const QString &file, FakeSoundFactory *owner)
        : path(file)
        , factory(owner)
    {}
    ~FakeSoundOutput() override;

    void setLoops(int count) override { loopCount = count; }
    void play() override;
    void stop() override;
    bool isPlaying() const override { return playing; }
    QString source() const override { return path; }

    int loops() const { return loopCount; }
    int plays() const { return playCount; }
    int stops() const { return stopCount; }

private:
    QString path;
    FakeSoundFactory *factory;
    int loopCount = 1;
    int playCount = 0;
    int stopCount = 0;
    bool playing = false;
};

class FakeSoundFactory
{
public:
    FakeSoundFactory() = default;
    FakeSoundFactory(const FakeSoundFactory &) = delete;
    FakeSoundFactory &operator=(const FakeSoundFactory &) = delete;

    SoundOutputFactory factory()
    {
        return [this](const QString &path) -> std::unique_ptr<SoundOutput> {
            auto sound = std::make_unique<FakeSoundOutput>(path, this);
            live = sound.get();
            events << QStringLiteral("create ") + path;
            ++createdCount;
            return sound;
        };
    }

    // The last sound created, while it exists.
    FakeSoundOutput *current() const { return live; }
    int created() const { return createdCount; }
    // "create <path>", "play <path>", "stop <path>", "destroy <path>" in order.
    QStringList events;

private:
    friend class FakeSoundOutput;
    FakeSoundOutput *live = nullptr;
    int createdCount = 0;
};

inline FakeSoundOutput::~FakeSoundOutput()
{
    factory->events << QStringLiteral("destroy ") + path;
    if (factory->live == this)
        factory->live = nullptr;
}

inline void FakeSoundOutput::play()
{
    ++playCount;
    playing = true;
    factory->events << QStringLiteral("play ") + path;
}

inline void FakeSoundOutput::stop()
{
    ++stopCount;
    playing = false;
    factory->events << QStringLiteral("stop ") + path;
}
