#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class DeviceSimulator;

// The simulator's command language, one command per line (stdin of the executable, and the
// command line options are turned into the same commands). Every command answers with zero
// or more lines of information and then one line that starts with "ok" or "error".
class ControlChannel
{
public:
    explicit ControlChannel(DeviceSimulator *simulator);

    // Runs one line; empty lines and lines starting with '#' answer nothing.
    QStringList execute(const QString &line);
    bool quitRequested() const { return m_quit; }

    // Devices added from now on drift (or not) from the start.
    void setDriftForNewDevices(bool on) { m_driftForNew = on; }

    static QString commandHelp();

private:
    QStringList temp(const QStringList &args);
    QStringList drift(const QStringList &args);
    QStringList fault(const QStringList &args);
    QStringList add(const QStringList &args);
    QStringList remove(const QStringList &args);
    QStringList list() const;
    // "all" or one served address; fills in the addresses or returns an error text.
    QString targets(const QString &word, QList<quint8> *addresses) const;
    QString describe(quint8 address) const;

    DeviceSimulator *m_simulator;
    bool m_quit = false;
    bool m_driftForNew = false;
};
