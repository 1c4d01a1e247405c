#pragma once

#include <QByteArray>

// Collects the bytes of one answer until they make a frame whose check holds. On a real UART an
// answer arrives over several read notifications, and a direction switch of an RS-485
// transceiver may put a stray byte in front of it, so the frame may be any tail of what came.
class AnswerAssembler
{
public:
    // No Modbus RTU frame is longer; anything older is noise.
    static constexpr qsizetype MaxBytes = 256;

    void clear() { pending.clear(); }
    qsizetype pendingSize() const { return pending.size(); }

    // Adds received bytes; returns the checked frame they complete (and forgets it), or nothing.
    QByteArray add(const QByteArray &bytes);

private:
    QByteArray pending;
};
