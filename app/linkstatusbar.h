#pragma once

#include <QObject>
#include <QString>

class DeviceLink;
class QLabel;
class QStatusBar;
class QWidget;

// What the operator sees of the link beyond the device status: the answer rate of the last
// requests as a permanent widget of the status bar, the per-device table as the tool tip of that
// widget and of the status indicator, a silent device and the search's progress as messages.
// A message of its own that ends gives the bar back to the message it covered, if any: the
// other messages of the status bar (a log file that cannot be written, a damaged Monitor.ini)
// outlast a search.
class LinkStatusBar final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinkStatusBar)

public:
    LinkStatusBar(QStatusBar *bar, QWidget *indicator, const DeviceLink &link);

    QLabel *rateLabel() const { return rate; }
    // The per-device table the tool tips show.
    QString table() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showRate(int percent);
    void answered(quint8 address);
    void reportSilent(quint8 address);
    void showOwn(const QString &message);
    void clearOwn();

    QStatusBar *bar;
    QWidget *indicator;
    const DeviceLink &link;
    QLabel *rate;
    QString ownMessage;
    QString coveredMessage;
    int silentAddress = -1;
};
