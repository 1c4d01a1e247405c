#include "soundoutput.h"

#if GRELVIX_HAVE_MULTIMEDIA
#include "effectsoundoutput.h"
#else
#include "winmmsoundoutput.h"
#endif

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
#if GRELVIX_HAVE_MULTIMEDIA
    return std::make_unique<EffectSoundOutput>(path);
#else
    return createWinmmSoundOutput(path);
#endif
}

void setSoundOutputFactory(SoundOutputFactory factory)
{
    installedFactory() = std::move(factory);
}
