#include "tlscontext.h"

#include <QFile>
#include <QHostAddress>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

struct TlsContext::Peer
{
    QByteArray host;
    bool nameIsAddress = false;
    int verifyError = X509_V_OK;
};

namespace {
TlsContext::Peer *peerOf(const SSL *ssl)
{
    return static_cast<TlsContext::Peer *>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
}

int verifyPeer(int ok, X509_STORE_CTX *store)
{
    auto *ssl =
        static_cast<SSL *>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    TlsContext::Peer *peer = ssl ? peerOf(ssl) : nullptr;
    if (!ok && peer && peer->verifyError == X509_V_OK)
        peer->verifyError = X509_STORE_CTX_get_error(store);
    return ok;
}

// Whoever creates the connection names the address it connects to; the broker is told the host.
void nameHost(const SSL *ssl, int where, int)
{
    if (!(where & SSL_CB_HANDSHAKE_START))
        return;
    TlsContext::Peer *peer = peerOf(ssl);
    if (!peer)
        return;
    peer->verifyError = X509_V_OK;
    if (!peer->nameIsAddress)
        SSL_set_tlsext_host_name(const_cast<SSL *>(ssl), peer->host.constData());
}

QString lastSslError()
{
    char text[256] = {};
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    ERR_clear_error();
    return QString::fromLatin1(text);
}
} // namespace

TlsContext::TlsContext(const Files &files, const QString &host)
    : m_peer(std::make_unique<Peer>())
{
    m_peer->host = host.toUtf8();
    m_peer->nameIsAddress = !QHostAddress(host).isNull();

    m_ctx = SSL_CTX_new(TLS_client_method());
    if (!m_ctx) {
        fail(QStringLiteral("no TLS context"));
        return;
    }
    SSL_CTX_set_app_data(m_ctx, m_peer.get());
    SSL_CTX_set_min_proto_version(m_ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(m_ctx, SSL_VERIFY_PEER, verifyPeer);
    SSL_CTX_set_info_callback(m_ctx, nameHost);

    X509_VERIFY_PARAM *param = SSL_CTX_get0_param(m_ctx);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    const bool named = m_peer->nameIsAddress
                           ? X509_VERIFY_PARAM_set1_ip_asc(param, m_peer->host.constData())
                           : X509_VERIFY_PARAM_set1_host(param, m_peer->host.constData(), 0);
    if (!named) {
        fail(QStringLiteral("cannot check certificates for host %1").arg(host));
        return;
    }

    const QByteArray ca = QFile::encodeName(files.caFile);
    if (SSL_CTX_load_verify_locations(m_ctx, ca.constData(), nullptr) != 1) {
        fail(QStringLiteral("cannot use CA file %1: %2").arg(files.caFile, lastSslError()));
        return;
    }
    if (files.certFile.isEmpty())
        return;
    const QByteArray cert = QFile::encodeName(files.certFile);
    const QByteArray key =
        QFile::encodeName(files.keyFile.isEmpty() ? files.certFile : files.keyFile);
    if (SSL_CTX_use_certificate_chain_file(m_ctx, cert.constData()) != 1 ||
        SSL_CTX_use_PrivateKey_file(m_ctx, key.constData(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(m_ctx) != 1) {
        fail(QStringLiteral("cannot use client certificate %1 with key %2: %3")
                 .arg(files.certFile, QFile::decodeName(key), lastSslError()));
    }
}

TlsContext::~TlsContext()
{
    if (m_ctx)
        SSL_CTX_free(m_ctx);
}

bool TlsContext::fail(const QString &what)
{
    m_error = what;
    if (m_ctx)
        SSL_CTX_free(m_ctx);
    m_ctx = nullptr;
    return false;
}

QString TlsContext::verifyFailure() const
{
    if (m_peer->verifyError == X509_V_OK)
        return QString();
    return QString::fromLatin1(X509_verify_cert_error_string(m_peer->verifyError));
}
