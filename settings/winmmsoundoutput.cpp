#include "winmmsoundoutput.h"

#include "loopedsoundoutput.h"

#include <QDir>

#include <windows.h>

#include <mmsystem.h>

std::unique_ptr<SoundOutput> createWinmmSoundOutput(const QString &path)
{
    LoopedSoundOutput::Player player;
    player.playOnce = [](const QString &file) {
        const QString native = QDir::toNativeSeparators(file);
        // SND_NODEFAULT: a missing file stays silent instead of playing the system beep.
        return PlaySoundW(reinterpret_cast<LPCWSTR>(native.utf16()), nullptr,
                          SND_FILENAME | SND_SYNC | SND_NODEFAULT) != FALSE;
    };
    // Stops whatever this process plays, which is only ever the alarm.
    player.interrupt = [] { PlaySoundW(nullptr, nullptr, 0); };
    return std::make_unique<LoopedSoundOutput>(path, std::move(player));
}
