#pragma once

#include "soundoutput.h"

// The alarm sound through winmm's PlaySound, for Windows builds without Qt Multimedia.
std::unique_ptr<SoundOutput> createWinmmSoundOutput(const QString &path);
