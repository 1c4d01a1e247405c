#pragma once

#include "nativeserialenginebase_p.h"

class NetworkSerialEnginePrivate;

// The engine for a line behind a serial device server: "rfc2217://HOST:PORT" speaks Telnet COM
// Port Control (RFC 2217), "tcp://HOST:PORT" passes bytes as they are. It runs on a QTcpSocket
// in the caller's thread. Open succeeds while the connection is still being made; until it is
// up, and after it is lost, the line fails like an unplugged adapter and is tried again.
class NetworkSerialEngine final : public NativeSerialEngineBase<NetworkSerialEnginePrivate>
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NetworkSerialEngine)

public:
    explicit NetworkSerialEngine(QObject *parent = nullptr);
    ~NetworkSerialEngine() override;

    // Connected, negotiated, and carrying the line's bytes.
    bool isLinkUp() const;
    // Waiting to connect again, after a connection that failed or went down.
    bool isPortLost() const override;
    // Why the connection last failed or went down; empty until it does.
    QString linkError() const;

    // Names this engine serves: they start with "rfc2217://" or "tcp://".
    static bool isNetworkName(const QString &deviceName);
};
