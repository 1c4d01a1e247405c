#pragma once

#include <QObject>

using HANDLE = void *;

// Qt's QWinEventNotifier for the simulated machine: while enabled, each signalling of its
// event (an auto-reset event is consumed by it) emits activated() from the event loop.
class QWinEventNotifier : public QObject
{
    Q_OBJECT

public:
    explicit QWinEventNotifier(QObject *parent = nullptr);
    explicit QWinEventNotifier(HANDLE hEvent, QObject *parent = nullptr);
    ~QWinEventNotifier() override;

    void setHandle(HANDLE hEvent);
    HANDLE handle() const;
    bool isEnabled() const;

    // Called by the stand-in when the event is signalled.
    void signalled();

public Q_SLOTS:
    void setEnabled(bool enable);

Q_SIGNALS:
    void activated(HANDLE hEvent);

private:
    void deliver();

    HANDLE eventHandle = nullptr;
    bool enabled = false;
};
