#include "soundoutput.h"

#if GRELVIX_HAVE_MULTIMEDIA
#include "effectsoundoutput.h"
#else
#include "winmmsoundoutput.h"
#endif

SoundOutput::~SoundOutput() = default;

std::unique_ptr<SoundOutput> createPlatformSoundOutput(const QString &path)
{
#if GRELVIX_HAVE_MULTIMEDIA
    return std::make_unique<EffectSoundOutput>(path);
#else
    return createWinmmSoundOutput(path);
#endif
}
