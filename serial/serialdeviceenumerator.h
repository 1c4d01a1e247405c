#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class SerialDeviceEnumeratorEngine;
class SerialDeviceEnumeratorPrivate;

// The serial ports present on the machine, what each one is, and word when the set changes.
// Stands apart from AbstractSerial: nothing needs it to open a port.
class SerialDeviceEnumerator : public QObject
{
    Q_OBJECT

public:
    // The process-wide enumerator on the platform's own engine, created on first use and kept.
    static SerialDeviceEnumerator *instance();

    // An enumerator on another engine (tests); it takes the engine. Watching starts at once.
    explicit SerialDeviceEnumerator(SerialDeviceEnumeratorEngine *engine,
                                    QObject *parent = nullptr);
    ~SerialDeviceEnumerator() override;

    // Watching re-enumerates whenever the system reports a change; it stays off where the
    // system offers no such report. Switching it on enumerates at once.
    void setWatching(bool enable);
    bool isWatching() const;

    // The ports of the last enumeration, in ascending order.
    QStringList portNames() const;

    // Takes a copy of a port's record for the getters below; an unknown name gives an empty one.
    void selectPort(const QString &name);
    QString name() const;
    QString bus() const;
    QString description() const;
    QString friendlyName() const;
    QStringList hardwareID() const;
    QString locationInfo() const;
    QString manufacturer() const;
    QString deviceClass() const;
    QString service() const;
    QString driver() const;
    QString physicalObjectName() const;
    QString vendorID() const;
    QString productID() const;

    // The selected port is among the enumerated ones.
    bool isPresent() const;
    // The selected port is present and cannot be opened exclusively just now.
    bool isInUse() const;

Q_SIGNALS:
    void hasChanged(const QStringList &list);

private Q_SLOTS:
    void _q_processWatcher();

private:
    std::unique_ptr<SerialDeviceEnumeratorPrivate> d;
};
