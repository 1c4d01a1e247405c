#include "soundoutput.h"

#include "effectsoundoutput.h"

namespace {
SoundOutputFactory &installedFactory()
{
    static SoundOutputFactory factory;
    return factory;
}
} // namespace

SoundOutput::~SoundOutput() = default;

std::unique_ptr<SoundOutput> createSoundOutput(const QString &path)
{
    if (const SoundOutputFactory &factory = installedFactory())
        return factory(path);
    return std::make_unique<EffectSoundOutput>(path);
}

void setSoundOutputFactory(SoundOutputFactory factory)
{
    installedFactory() = std::move(factory);
}
