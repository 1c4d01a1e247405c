#pragma once

// systemd's notification socket, played by a test: a datagram socket that a test names in
// NOTIFY_SOCKET, and what a station told it (sd_notify(3)), in order.
//
//     NotifySocket socket(dir.filePath("notify"));
//     qputenv("NOTIFY_SOCKET", socket.path().toLocal8Bit());
//     QVERIFY(socket.waitFor("READY=1", 5000));
//     const qsizetype from = socket.mark();
//     ...
//     QCOMPARE(socket.count("WATCHDOG=1", from), 1);

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTest>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

class NotifySocket
{
public:
    explicit NotifySocket(const QString &path)
        : socketPath(path)
        , fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0))
    {
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray name = path.toLocal8Bit();
        bound = fd >= 0 && size_t(name.size()) < sizeof(address.sun_path);
        if (bound) {
            std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
            bound = ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0;
        }
    }
    ~NotifySocket()
    {
        if (fd >= 0)
            ::close(fd);
        ::unlink(socketPath.toLocal8Bit().constData());
    }
    NotifySocket(const NotifySocket &) = delete;
    NotifySocket &operator=(const NotifySocket &) = delete;

    bool isValid() const { return bound; }
    QString path() const { return socketPath; }

    // Everything told so far, oldest first.
    const QList<QByteArray> &messages()
    {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::recv(fd, buffer, sizeof(buffer), 0)) > 0)
            received.append(QByteArray(buffer, int(n)));
        return received;
    }
    // Where the messages told from now on start.
    qsizetype mark() { return messages().size(); }
    // Messages holding `text`, from the one at `from` on.
    int count(const QByteArray &text, qsizetype from = 0)
    {
        const QList<QByteArray> &all = messages();
        int found = 0;
        for (qsizetype n = from; n < all.size(); ++n)
            found += all[n].contains(text) ? 1 : 0;
        return found;
    }
    // Turns the event loop until a message holding `text` arrives, at most `ms`.
    bool waitFor(const QByteArray &text, int ms)
    {
        if (QTest::qWaitFor([&] { return count(text) > 0; }, ms))
            return true;
        qWarning("no notification holding \"%s\" within %d ms", text.constData(), ms);
        return false;
    }

private:
    QString socketPath;
    int fd;
    bool bound = false;
    QList<QByteArray> received;
};
