#pragma once

#include <QByteArray>
#include <QString>

#include <asm/termbits.h>

// A pseudo-terminal whose slave side plays the serial port and whose master
// side plays the device at the other end of the cable. The slave keeps the
// kernel's default settings until a serial device opens it.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return masterFd >= 0; }
    QString slavePath() const { return slave; }

    bool write(const QByteArray &data);
    // Reads until `size` bytes arrived or `msecs` passed.
    QByteArray read(qint64 size, int msecs = 5000);
    // The other side goes away: the slave is hung up.
    void closeMaster();

    // The slave's line settings, seen from the master side.
    struct termios2 settings() const;
    bool setSettings(const struct termios2 &settings);

private:
    int masterFd = -1;
    QString slave;
};

// Seconds of CPU this process used so far.
double processCpuSeconds();
