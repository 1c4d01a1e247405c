#pragma once

#include "soundoutput.h"

#include <memory>

class QSoundEffect;

// The alarm sound through QSoundEffect. Silent without an audio device, and for a
// file that is missing or not a complete WAVE file.
class EffectSoundOutput : public SoundOutput
{
public:
    explicit EffectSoundOutput(const QString &path);
    ~EffectSoundOutput() override;

    void setLoops(int loops) override;
    void play() override;
    void stop() override;
    bool isPlaying() const override;
    QString source() const override;

    // The file was handed to Qt Multimedia (false: this sound stays silent).
    bool isAccepted() const { return effect != nullptr; }
    // Qt Multimedia has decoded the file and can play it.
    bool isLoaded() const;

private:
    QString path;
    std::unique_ptr<QSoundEffect> effect;
    // Between play() and stop(): falling silent then means the passes ran out.
    bool wanted = false;
};
