#include "telnetcodec.h"

namespace {
// What we send when a server asks who we are.
const char signatureText[] = "Grelvix";

QByteArray negotiation(quint8 verb, quint8 option)
{
    const char bytes[] = {char(TelnetCodec::IAC), char(verb), char(option)};
    return QByteArray(bytes, 3);
}
} // namespace

int TelnetCodec::slot(quint8 option)
{
    for (int s = 0; s < optionCount; ++s) {
        if (knownOptions[s] == option)
            return s;
    }
    return -1;
}

QByteArray TelnetCodec::start()
{
    QByteArray out;
    // Slots rather than options, so that no index can be out of range.
    for (int s = 0; s < optionCount; ++s) {
        const quint8 option = knownOptions[s];
        if (m_local[s] == State::No) {
            m_local[s] = State::Asked;
            out += negotiation(WILL, option);
        }
        // The server's side of COM-PORT-OPTION is accepted when offered, never asked for.
        if (m_remote[s] == State::No && option != ComPort) {
            m_remote[s] = State::Asked;
            out += negotiation(DO, option);
        }
    }
    return out;
}

void TelnetCodec::reset()
{
    *this = TelnetCodec();
}

QString TelnetCodec::errorText() const
{
    switch (m_error) {
    case Error::None:
        return QString();
    case Error::BadCommand:
        return QStringLiteral("the peer sent IAC followed by a byte that is no telnet command");
    case Error::SubnegotiationTooLong:
        return QStringLiteral("the peer sent a sub-negotiation longer than %1 bytes")
            .arg(subnegotiationLimit);
    }
    return QString();
}

bool TelnetCodec::binaryBothWays() const
{
    return local(TransmitBinary) == State::Yes && remote(TransmitBinary) == State::Yes;
}

bool TelnetCodec::binaryRefused() const
{
    return local(TransmitBinary) == State::Refused || remote(TransmitBinary) == State::Refused;
}

QByteArray TelnetCodec::escape(const char *bytes, qint64 size)
{
    QByteArray out;
    out.reserve(size + 8);
    for (qint64 i = 0; i < size; ++i) {
        out += bytes[i];
        if (quint8(bytes[i]) == IAC)
            out += bytes[i];
    }
    return out;
}

QByteArray TelnetCodec::comPortCommand(quint8 command, const QByteArray &value)
{
    QByteArray out;
    out += char(IAC);
    out += char(SB);
    out += char(ComPort);
    out += escape(reinterpret_cast<const char *>(&command), 1);
    out += escape(value.constData(), value.size());
    out += char(IAC);
    out += char(SE);
    return out;
}

void TelnetCodec::receive(const char *bytes, qint64 size, Output *out)
{
    for (qint64 i = 0; i < size && m_error == Error::None; ++i)
        take(quint8(bytes[i]), out);
}

void TelnetCodec::take(quint8 byte, Output *out)
{
    switch (m_parse) {
    case Parse::Data:
        if (byte == IAC)
            m_parse = Parse::Iac;
        else
            out->data += char(byte);
        return;
    case Parse::Iac:
        m_parse = Parse::Data;
        if (byte == IAC) {
            out->data += char(byte);
        } else if (byte >= WILL && byte <= DONT) {
            m_verb = byte;
            m_parse = Parse::Verb;
        } else if (byte == SB) {
            m_parse = Parse::SbOption;
        } else if (byte < NOP || byte > GA) {
            // SE outside a sub-negotiation, or no command at all. NOP to GA mean nothing
            // on a serial line and are passed over.
            fail(Error::BadCommand);
        }
        return;
    case Parse::Verb:
        m_parse = Parse::Data;
        negotiate(m_verb, byte, out);
        return;
    case Parse::SbOption:
        if (byte == IAC) {
            fail(Error::BadCommand);
            return;
        }
        m_sbOption = byte;
        m_sb.clear();
        m_parse = Parse::SbData;
        return;
    case Parse::SbData:
    case Parse::SbIac:
        break;
    }
    if (m_parse == Parse::SbData && byte == IAC) {
        m_parse = Parse::SbIac;
        return;
    }
    if (m_parse == Parse::SbIac && byte == SE) {
        m_parse = Parse::Data;
        endSubnegotiation(out);
        return;
    }
    if (m_parse == Parse::SbIac && byte != IAC) {
        fail(Error::BadCommand);
        return;
    }
    if (m_sb.size() >= subnegotiationLimit) {
        fail(Error::SubnegotiationTooLong);
        return;
    }
    m_sb += char(byte);
    m_parse = Parse::SbData;
}

// One answer to a request that changes the state, none to one that does not, and never a
// request in answer to a refusal: two peers cannot loop.
void TelnetCodec::negotiate(quint8 verb, quint8 option, Output *out)
{
    const int s = slot(option);
    const bool enable = verb == WILL || verb == DO;
    const bool ours = verb == DO || verb == DONT;
    const quint8 yes = ours ? WILL : DO;
    const quint8 no = ours ? WONT : DONT;
    if (s < 0) {
        if (enable)
            out->reply += negotiation(no, option);
        return;
    }
    State &state = ours ? m_local[s] : m_remote[s];
    if (enable) {
        if (state == State::No || state == State::Refused)
            out->reply += negotiation(yes, option);
        state = State::Yes;
    } else if (state == State::Yes) {
        state = State::No;
        out->reply += negotiation(no, option);
    } else if (state == State::Asked) {
        state = State::Refused;
    }
}

void TelnetCodec::endSubnegotiation(Output *out)
{
    if (m_sbOption != ComPort || m_sb.isEmpty())
        return;
    const quint8 code = quint8(m_sb.at(0));
    if (code < serverOffset)
        return; // a client's command: not for us to carry out
    const QByteArray value = m_sb.mid(1);
    if (code == serverOffset + Signature && value.isEmpty()) {
        out->reply += comPortCommand(Signature, QByteArray(signatureText));
        return;
    }
    out->messages.append({code, value});
}

void TelnetCodec::fail(Error error)
{
    m_error = error;
}
