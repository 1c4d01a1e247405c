#include "alarmsound.h"

#include "stationcore.h"

AlarmSound::AlarmSound(const StationCore &station, SoundOutputFactory soundFactory, QObject *parent)
    : QObject(parent)
    , factory(soundFactory ? std::move(soundFactory) : createPlatformSoundOutput)
{
    connect(&station, &StationCore::soundFileChanged, this, &AlarmSound::setFile);
    connect(&station.alarms(), &AlarmMonitor::alarmSoundRequested, this, &AlarmSound::request);
}

AlarmSound::~AlarmSound() = default;

void AlarmSound::setFile(const QString &path)
{
    // The replaced sound falls silent with its file; the new one waits for the next alarm.
    if (sound)
        sound->stop();
    sound.reset();
    sound = factory(path);
    if (!sound)
        return;
    sound->setLoops(AlarmLoops);
    sound->setPassesEndedHandler([this] { emit passesEnded(AlarmLoops); });
}

void AlarmSound::request(bool play)
{
    if (!sound)
        return;
    if (play)
        sound->play();
    else
        sound->stop();
}
