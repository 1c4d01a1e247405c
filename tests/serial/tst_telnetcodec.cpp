// The telnet layer of RFC 2217 lines as a pure function of bytes.
#include "network/telnetcodec.h"

#include <QTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

struct Result
{
    QByteArray data;
    QByteArray reply;
    QByteArrayList messages; // code byte, then the value
    int error = 0;
    bool binary = false;
    bool refused = false;
};

Result run(const QByteArray &input, bool started, qint64 step)
{
    TelnetCodec codec;
    if (started)
        codec.start();
    TelnetCodec::Output out;
    for (qint64 at = 0; at < input.size(); at += step)
        codec.receive(input.constData() + at, std::min(step, input.size() - at), &out);
    Result result;
    result.data = out.data;
    result.reply = out.reply;
    for (const TelnetCodec::Message &message : std::as_const(out.messages))
        result.messages << QByteArray(1, char(message.code)) + message.value;
    result.error = int(codec.error());
    result.binary = codec.binaryBothWays();
    result.refused = codec.binaryRefused();
    return result;
}

// An 8-byte frame with 255 at `position`, as the line carries it and as telnet does.
QByteArray frameWithIac(int position)
{
    QByteArray frame = hex("05 03 04 01 02 03 04 d2");
    frame[position] = char(0xff);
    return frame;
}

QByteArray wireWithIac(int position)
{
    QByteArray wire = frameWithIac(position);
    wire.insert(position, char(0xff));
    return wire;
}

} // namespace

class tst_TelnetCodec : public QObject
{
    Q_OBJECT

private slots:
    void receive_data();
    void receive();
    void encode_data();
    void encode();
};

void tst_TelnetCodec::receive_data()
{
    QTest::addColumn<bool>("started"); // our requests went out before the input came
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArrayList>("messages");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("binary");
    QTest::addColumn<bool>("refused");

    const int none = int(TelnetCodec::Error::None);
    const int badCommand = int(TelnetCodec::Error::BadCommand);
    const int tooLong = int(TelnetCodec::Error::SubnegotiationTooLong);
    const QByteArray nothing;
    const QByteArrayList noMessages;

    for (int position = 0; position < 8; ++position)
        QTest::addRow("IAC IAC at byte %d", position)
            << true << wireWithIac(position) << frameWithIac(position) << nothing << noMessages
            << none << false << false;
    QTest::newRow("IAC IAC IAC IAC") << true << hex("ff ff ff ff") << hex("ff ff") << nothing
                                     << noMessages << none << false << false;
    // What ser2net 4.3.11 sends on a new connection, after our requests and before them.
    QTest::newRow("ser2net greeting after ours")
        << true << hex("fffb03 fffd03 fffb01 fffe01 fffd00 fffb00 fffd2c") << nothing
        << hex("fffe01") << noMessages << none << true << false;
    QTest::newRow("ser2net greeting first")
        << false << hex("fffb03 fffd03 fffb01 fffe01 fffd00 fffb00 fffd2c") << nothing
        << hex("fffd03 fffb03 fffe01 fffb00 fffd00 fffb2c") << noMessages << none << true << false;
    QTest::newRow("options we do not have are refused once each")
        << false << hex("fffd18 fffb01 fffe05 fffc05 fffd1f") << nothing
        << hex("fffc18 fffe01 fffc1f") << noMessages << none << false << false;
    QTest::newRow("a request in force is not answered again")
        << false << hex("fffd00 fffd00 fffb00 fffb00") << nothing << hex("fffb00 fffd00")
        << noMessages << none << true << false;
    QTest::newRow("switching off is confirmed, a refusal never answered")
        << false << hex("fffd00 fffe00 fffe00 fffc03") << nothing << hex("fffb00 fffc00")
        << noMessages << none << false << false;
    QTest::newRow("binary refused towards us") << true << hex("fffd00 fffc00") << nothing << nothing
                                               << noMessages << none << false << true;
    QTest::newRow("binary refused from us") << true << hex("fffe00 fffb00") << nothing << nothing
                                            << noMessages << none << false << true;
    QTest::newRow("a refused option accepted when the peer asks again")
        << true << hex("fffe00 fffd00") << nothing << hex("fffb00") << noMessages << none << false
        << false;
    QTest::newRow("baud rate answer")
        << true << hex("fffa2c 6500004b00 fff0") << nothing << nothing
        << QByteArrayList{hex("6500004b00")} << none << false << false;
    QTest::newRow("answer with another value than asked is passed as it came")
        << true << hex("fffa2c 6701 fff0 fffa2c 657080 fff0") << nothing << nothing
        << QByteArrayList{hex("6701"), hex("657080")} << none << false << false;
    QTest::newRow("IAC IAC inside a value")
        << true << hex("fffa2c 65000025ffff fff0") << nothing << nothing
        << QByteArrayList{hex("65000025ff")} << none << false << false;
    QTest::newRow("data between commands")
        << false << hex("01 fffd00 02 fffa2c 6b30 fff0 03 fff1 04 fff9 05") << hex("0102030405")
        << hex("fffb00") << QByteArrayList{hex("6b30")} << none << false << false;
    QTest::newRow("server asks for our signature")
        << true << hex("fffa2c 64 fff0") << nothing << (hex("fffa2c00") + "Grelvix" + hex("fff0"))
        << noMessages << none << false << false;
    QTest::newRow("server's signature")
        << true << (hex("fffa2c64") + "ser2net" + hex("fff0")) << nothing << nothing
        << QByteArrayList{hex("64") + "ser2net"} << none << false << false;
    QTest::newRow("sub-negotiations not for us are passed over")
        << true << hex("fffa18 01 fff0 fffa2c 01000025 fff0 fffa2c fff0 41") << hex("41") << nothing
        << noMessages << none << false << false;
    const QByteArray longest = hex("64") + QByteArray(TelnetCodec::subnegotiationLimit - 1, 'x');
    QTest::newRow("sub-negotiation at the bound")
        << true << hex("fffa2c") + longest + hex("fff0") << nothing << nothing
        << QByteArrayList{longest} << none << false << false;
    QTest::newRow("sub-negotiation one byte past the bound")
        << true << hex("41 fffa2c") + longest + "x" + hex("fff0 42") << hex("41") << nothing
        << noMessages << tooLong << false << false;
    QTest::newRow("sub-negotiation never ended")
        << true << hex("41 fffa2c 65") + QByteArray(4096, '\0') << hex("41") << nothing
        << noMessages << tooLong << false << false;
    QTest::newRow("IAC and no command") << true << hex("41 ff05 42") << hex("41") << nothing
                                        << noMessages << badCommand << false << false;
    QTest::newRow("SE outside a sub-negotiation") << true << hex("ff f0 42") << nothing << nothing
                                                  << noMessages << badCommand << false << false;
    QTest::newRow("IAC and no command inside a sub-negotiation")
        << true << hex("fffa2c 65 ff05 fff0 fffd00") << nothing << nothing << noMessages
        << badCommand << false << false;
    QTest::newRow("IAC as the option of a sub-negotiation")
        << true << hex("fffaff fff0") << nothing << nothing << noMessages << badCommand << false
        << false;
}

void tst_TelnetCodec::receive()
{
    QFETCH(bool, started);
    QFETCH(QByteArray, input);
    const Result result = run(input, started, std::max<qint64>(input.size(), 1));
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, reply);
    // As hex, so that a failure shows the bytes.
    QCOMPARE(result.data.toHex(' '), data.toHex(' '));
    QCOMPARE(result.reply.toHex(' '), reply.toHex(' '));
    QTEST(result.messages, "messages");
    QTEST(result.error, "error");
    QTEST(result.binary, "binary");
    QTEST(result.refused, "refused");
    // Every state must survive a split anywhere: one byte at a time gives the same.
    const Result split = run(input, started, 1);
    QCOMPARE(split.data.toHex(' '), result.data.toHex(' '));
    QCOMPARE(split.reply.toHex(' '), result.reply.toHex(' '));
    QCOMPARE(split.messages, result.messages);
    QCOMPARE(split.error, result.error);
    QCOMPARE(split.binary, result.binary);
}

void tst_TelnetCodec::encode_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("expected");

    for (int position = 0; position < 8; ++position)
        QTest::addRow("data with 255 at byte %d", position)
            << TelnetCodec::escape(frameWithIac(position).constData(), 8) << wireWithIac(position);
    QTest::newRow("no 255") << TelnetCodec::escape("\x01\x0d\x00\x0a", 4) << hex("010d000a");
    QTest::newRow("baud rate 65535 + 255")
        << TelnetCodec::comPortCommand(TelnetCodec::SetBaudRate, hex("000100ff"))
        << hex("fffa2c 01 000100ffff fff0");
    QTest::newRow("asking for the parity")
        << TelnetCodec::comPortCommand(TelnetCodec::SetParity, hex("00"))
        << hex("fffa2c 03 00 fff0");
    QTest::newRow("purge both") << TelnetCodec::comPortCommand(TelnetCodec::PurgeData, hex("03"))
                                << hex("fffa2c 0c 03 fff0");
    TelnetCodec codec;
    QTest::newRow("our requests") << codec.start() << hex("fffb2c fffb00 fffd00 fffb03 fffd03");
    QTest::newRow("asked only once") << codec.start() << QByteArray();
}

void tst_TelnetCodec::encode()
{
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, expected);
    QCOMPARE(wire.toHex(' '), expected.toHex(' '));
}

QTEST_APPLESS_MAIN(tst_TelnetCodec)
#include "tst_telnetcodec.moc"
