#pragma once

#include <QCompleter>

class QLineEdit;
class QStandardItemModel;
class SerialDeviceEnumerator;

// Offers the serial ports present as completions of a port field, and keeps the offer current
// as ports come and go. It only offers: the field's text changes when the operator picks one.
class PortCompleter : public QCompleter
{
    Q_OBJECT

public:
    PortCompleter(SerialDeviceEnumerator *enumerator, QLineEdit *field);

    void showPorts(const QStringList &names);

private:
    SerialDeviceEnumerator *ports;
    QStandardItemModel *offered;
};
