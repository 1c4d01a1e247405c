#pragma once

#include "linkhealth.h"

#include <QObject>
#include <QString>

class AbstractSerial;
class QLabel;
class QStatusBar;
class QWidget;

// What the operator sees of the link beyond the device status: the answer rate of the last
// requests as a permanent widget of the status bar, the per-device table as the tool tip of that
// widget and of the status indicator, a silent device and the search's progress as messages.
// A message of its own that ends gives the bar back to the message it covered, if any: the
// other messages of the status bar (a log file that cannot be written, a damaged Monitor.ini)
// outlast a search.
class LinkStatusBar : public QObject
{
    Q_OBJECT

public:
    LinkStatusBar(QStatusBar *bar, QWidget *indicator, const AbstractSerial *line);

    void requestSent(quint8 address);
    void bytesArrived();
    void answered(quint8 address);
    void timedOut(quint8 address);

    void searchStarted();
    void probing(int address, int found);
    void searchEnded();

    const LinkHealth &health() const { return counts; }
    QLabel *rateLabel() const { return rate; }
    // The per-device table the tool tips show.
    QString table() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A request of `address` was settled; it may have made the device silent.
    void settled(quint8 address, bool fellSilent);
    void showRate();
    void reportSilent(quint8 address);
    void showOwn(const QString &message);
    void clearOwn();

    QStatusBar *bar;
    QWidget *indicator;
    const AbstractSerial *line;
    QLabel *rate;
    LinkHealth counts;
    int shownRate = -2;
    QString ownMessage;
    QString coveredMessage;
    int silentAddress = -1;
};
