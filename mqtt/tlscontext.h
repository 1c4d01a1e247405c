#pragma once

#include <QString>

#include <memory>

struct ssl_ctx_st;

// A TLS client context for one connection to a broker. The connection goes to an address that
// was looked up beforehand, so the certificate is checked against the host name the broker was
// configured by, not against the address: OpenSSL verifies the chain against the CA file and
// the name in the certificate against that host name, and the handshake names the host (SNI).
class TlsContext
{
public:
    struct Files
    {
        QString caFile;
        QString certFile; // client certificate, optional
        QString keyFile;  // its key; the certificate file when empty
    };

    TlsContext(const Files &files, const QString &host);
    ~TlsContext();
    TlsContext(const TlsContext &) = delete;
    TlsContext &operator=(const TlsContext &) = delete;

    bool isValid() const { return m_ctx != nullptr; }
    QString errorString() const { return m_error; }
    ssl_ctx_st *handle() const { return m_ctx; }
    // Why the broker's certificate was refused in the last handshake; empty if it was not.
    QString verifyFailure() const;

    struct Peer;

private:
    bool fail(const QString &what);

    ssl_ctx_st *m_ctx = nullptr;
    std::unique_ptr<Peer> m_peer;
    QString m_error;
};
