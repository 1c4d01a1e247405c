#pragma once

// Debian's ser2net for a test: one line from a free loopback port to a serial device (the
// simulator's pseudo-terminal), configured by a YAML file of its own in a scratch directory.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class Ser2NetServer
{
public:
    enum class Mode { Rfc2217, Raw };

    // Without the character delay, ser2net forwards what the device sent at once instead of
    // waiting for two more characters' time (at least 1 ms) in case more follow.
    Ser2NetServer(const QString &devicePath, Mode mode, bool charDelay = true);
    ~Ser2NetServer();
    Ser2NetServer(const Ser2NetServer &) = delete;
    Ser2NetServer &operator=(const Ser2NetServer &) = delete;

    // Starts on the same port each time; false unless it listens within 10 s.
    bool start();
    // Gone at once, as a device server that loses its power.
    void kill();
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    quint16 port() const { return m_port; }
    // The port name the serial layer opens: rfc2217://127.0.0.1:PORT or tcp://127.0.0.1:PORT.
    QString lineName() const;
    // What ser2net printed, for a failure message.
    QString output();

    // Whether something listens on this loopback TCP port (from /proc/net/tcp, so that asking
    // opens no connection to the device).
    static bool isListening(quint16 port);

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    Mode m_mode;
    quint16 m_port = 0;
    QByteArray m_output;
};
