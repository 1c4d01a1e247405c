#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// The telnet layer of an RFC 2217 line (RFC 854, 855, 856, 858) and its COM-PORT-OPTION
// commands, as a pure function of bytes: no socket, no clock. What the peer sends goes in;
// the line's data, the answers owed to the peer and the server's COM-PORT messages come out.
class TelnetCodec
{
public:
    enum Byte : quint8 {
        SE = 240,
        NOP = 241,
        GA = 249,
        SB = 250,
        WILL = 251,
        WONT = 252,
        DO = 253,
        DONT = 254,
        IAC = 255
    };
    enum Option : quint8 { TransmitBinary = 0, SuppressGoAhead = 3, ComPort = 44 };
    // The client's COM-PORT commands; the server answers each with the code + 100.
    enum Command : quint8 {
        Signature = 0,
        SetBaudRate = 1,
        SetDataSize = 2,
        SetParity = 3,
        SetStopSize = 4,
        SetControl = 5,
        NotifyLineState = 6,
        NotifyModemState = 7,
        FlowControlSuspend = 8,
        FlowControlResume = 9,
        SetLineStateMask = 10,
        SetModemStateMask = 11,
        PurgeData = 12
    };
    static constexpr quint8 serverOffset = 100;
    // Longer than any COM-PORT message but a signature text; a peer past it is broken.
    static constexpr int subnegotiationLimit = 256;

    enum class Error { None, BadCommand, SubnegotiationTooLong };
    // Where an option stands in one direction. Refused: we asked and the peer said no.
    enum class State { No, Asked, Yes, Refused };

    // A COM-PORT message from the server: its code (command + 100) and value bytes.
    struct Message
    {
        quint8 code = 0;
        QByteArray value;
        bool operator==(const Message &other) const
        {
            return code == other.code && value == other.value;
        }
    };

    struct Output
    {
        QByteArray data;  // the line's bytes, IAC IAC undone
        QByteArray reply; // negotiation answers to send back
        QList<Message> messages;
    };

    // Our requests: WILL for the three options, DO for binary and SGA; each is asked once.
    QByteArray start();
    // Takes bytes in any split; after an error the rest is ignored.
    void receive(const char *bytes, qint64 size, Output *out);
    // Back to a fresh connection.
    void reset();

    Error error() const { return m_error; }
    QString errorText() const;
    // Ours (WILL side) and the peer's (DO side) state of a supported option.
    State local(Option option) const { return m_local[slot(option)]; }
    State remote(Option option) const { return m_remote[slot(option)]; }
    bool binaryBothWays() const;
    // Asked for binary in a direction and refused: the line cannot carry RTU frames.
    bool binaryRefused() const;

    // Data for the peer with every 255 doubled.
    static QByteArray escape(const char *bytes, qint64 size);
    // IAC SB COM-PORT command value IAC SE, the value escaped.
    static QByteArray comPortCommand(quint8 command, const QByteArray &value);

private:
    enum class Parse { Data, Iac, Verb, SbOption, SbData, SbIac };
    static constexpr int optionCount = 3;
    // The options we take part in, by slot, in the order we offer them.
    static constexpr Option knownOptions[optionCount] = {ComPort, TransmitBinary, SuppressGoAhead};
    static int slot(quint8 option);

    void take(quint8 byte, Output *out);
    void negotiate(quint8 verb, quint8 option, Output *out);
    void endSubnegotiation(Output *out);
    void fail(Error error);

    Parse m_parse = Parse::Data;
    quint8 m_verb = 0;
    quint8 m_sbOption = 0;
    QByteArray m_sb;
    Error m_error = Error::None;
    State m_local[optionCount] = {State::No, State::No, State::No};
    State m_remote[optionCount] = {State::No, State::No, State::No};
};
