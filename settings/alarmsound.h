#pragma once

#include "soundoutput.h"

#include <QObject>

#include <memory>

class StationCore;

// The alarm sound as the station asks for it: one output for the chosen file, playing it 50
// times in a row per start, stopped by the operator's reset.
class AlarmSound final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlarmSound)

public:
    // Loops of one start.
    static constexpr int AlarmLoops = 50;

    // An empty factory plays through the platform's sound.
    AlarmSound(const StationCore &station, SoundOutputFactory factory, QObject *parent = nullptr);
    ~AlarmSound() override;

signals:
    // The sound played all its passes and fell silent by itself, not by the operator's reset.
    void passesEnded(int passes);

private:
    void setFile(const QString &path);
    void request(bool play);

    SoundOutputFactory factory;
    // Empty until a file is chosen.
    std::unique_ptr<SoundOutput> sound;
};
