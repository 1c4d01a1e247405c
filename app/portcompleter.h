#pragma once

#include <QCompleter>

class QLineEdit;
class QStandardItemModel;
class SerialDeviceEnumerator;

// Offers the serial ports present as completions of a port field, and keeps the offer current
// as ports come and go. It only offers: the field's text changes when the operator picks one.
class PortCompleter final : public QCompleter
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PortCompleter)

public:
    PortCompleter(SerialDeviceEnumerator *enumerator, QLineEdit *field);

    void showPorts(const QStringList &names);

private:
    SerialDeviceEnumerator *ports;
    QStandardItemModel *offered;
};
