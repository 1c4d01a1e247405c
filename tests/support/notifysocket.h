#pragma once

// systemd's notification socket, played by a test: a datagram socket to name in NOTIFY_SOCKET,
// and what a station told it (sd_notify(3)), in order.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

class NotifySocket
{
public:
    explicit NotifySocket(const QString &name)
        : path(name)
    {
        const QByteArray local = path.toLocal8Bit();
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        if (fd >= 0 && size_t(local.size()) < sizeof(address.sun_path)) {
            std::memcpy(address.sun_path, local.constData(), size_t(local.size()));
            bound = ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0;
        }
    }
    ~NotifySocket()
    {
        ::close(fd);
        ::unlink(path.toLocal8Bit().constData());
    }
    NotifySocket(const NotifySocket &) = delete;
    NotifySocket &operator=(const NotifySocket &) = delete;

    // Messages holding `text` among those told from the `from`th on.
    int count(const QByteArray &text, qsizetype from = 0)
    {
        char buffer[4096];
        for (ssize_t n = 0; (n = ::recv(fd, buffer, sizeof(buffer), 0)) > 0;)
            told.append(QByteArray(buffer, int(n)));
        return int(
            std::count_if(told.cbegin() + qMin(from, told.size()), told.cend(),
                          [&](const QByteArray &message) { return message.contains(text); }));
    }
    // Where the messages told from now on start.
    qsizetype mark()
    {
        count({});
        return told.size();
    }
    bool waitFor(const QByteArray &text, int ms)
    {
        if (QTest::qWaitFor([&] { return count(text) > 0; }, ms))
            return true;
        qWarning("no notification holding \"%s\" within %d ms", text.constData(), ms);
        return false;
    }

    const QString path;
    bool bound = false;

private:
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    QList<QByteArray> told;
};
