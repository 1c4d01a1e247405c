#pragma once

#include <QLabel>

class QStatusBar;
class StationPublisher;

// The publisher's state in the main window: a permanent label of the status bar, its messages
// in the status bar.
class PublisherLabel final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PublisherLabel)

public:
    PublisherLabel(const StationPublisher &publisher, QStatusBar *bar);

private:
    void showState();

    const StationPublisher &publisher;
    QStatusBar *bar;
};
