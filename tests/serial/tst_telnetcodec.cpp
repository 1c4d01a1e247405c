// The telnet layer of RFC 2217 lines as a pure function of bytes.
#include "network/telnetcodec.h"

#include <QTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// All the codec gives for the input in pieces of `step` bytes, as one line of text.
QString receive(const QByteArray &input, bool started, qint64 step)
{
    TelnetCodec codec;
    if (started)
        codec.start();
    TelnetCodec::Output out;
    for (qint64 at = 0; at < input.size(); at += step)
        codec.receive(input.constData() + at, std::min(step, input.size() - at), &out);
    QStringList fields;
    if (!out.data.isEmpty())
        fields << QStringLiteral("data ") + out.data.toHex();
    if (!out.reply.isEmpty())
        fields << QStringLiteral("reply ") + out.reply.toHex();
    for (const TelnetCodec::Message &message : std::as_const(out.messages))
        fields << QStringLiteral("message ") + (char(message.code) + message.value).toHex();
    if (codec.error() == TelnetCodec::Error::BadCommand)
        fields << QStringLiteral("bad command");
    if (codec.error() == TelnetCodec::Error::SubnegotiationTooLong)
        fields << QStringLiteral("too long");
    if (codec.binaryBothWays())
        fields << QStringLiteral("binary");
    if (codec.binaryRefused())
        fields << QStringLiteral("binary refused");
    return fields.join(QStringLiteral(", "));
}

} // namespace

class tst_TelnetCodec : public QObject
{
    Q_OBJECT

private slots:
    void receive_data();
    void receive();
    void encode();
};

void tst_TelnetCodec::receive_data()
{
    QTest::addColumn<bool>("started"); // our requests went out before the input came
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("result");

    QTest::newRow("IAC IAC first, inside, last")
        << true << hex("ffff0304 0102ffff 0304d2ff ff") << "data ff03040102ff0304d2ff";
    QTest::newRow("IAC IAC IAC IAC") << true << hex("ffffffff") << "data ffff";
    // What ser2net 4.3.11 sends on a new connection, after our requests and before them.
    const QByteArray ser2net = hex("fffb03 fffd03 fffb01 fffe01 fffd00 fffb00 fffd2c");
    QTest::newRow("ser2net greeting after ours") << true << ser2net << "reply fffe01, binary";
    QTest::newRow("ser2net greeting first")
        << false << ser2net << "reply fffd03fffb03fffe01fffb00fffd00fffb2c, binary";
    QTest::newRow("options we do not have are refused once each")
        << false << hex("fffd18 fffb01 fffe05 fffc05 fffd1f") << "reply fffc18fffe01fffc1f";
    QTest::newRow("a request in force is not answered again")
        << false << hex("fffd00 fffd00 fffb00 fffb00") << "reply fffb00fffd00, binary";
    QTest::newRow("switching off is confirmed, a refusal never answered")
        << false << hex("fffd00 fffe00 fffe00 fffc03") << "reply fffb00fffc00";
    QTest::newRow("binary refused towards us") << true << hex("fffd00 fffc00") << "binary refused";
    QTest::newRow("binary refused from us") << true << hex("fffe00 fffb00") << "binary refused";
    QTest::newRow("a refused option accepted when the peer asks again")
        << true << hex("fffe00 fffd00") << "reply fffb00";
    QTest::newRow("answers passed as they came")
        << true << hex("fffa2c 6701 fff0 fffa2c 65000025ffff fff0")
        << "message 6701, message 65000025ff";
    QTest::newRow("data between commands")
        << false << hex("01 fffd00 02 fffa2c 6b30 fff0 03 fff1 04 fff9 05")
        << "data 0102030405, reply fffb00, message 6b30";
    QTest::newRow("server asks for our signature")
        << true << hex("fffa2c 64 fff0")
        << QString("reply fffa2c00" + QByteArray("Grelvix").toHex() + "fff0");
    QTest::newRow("server's signature") << true << hex("fffa2c64") + "ser2net" + hex("fff0")
                                        << QString("message 64" + QByteArray("ser2net").toHex());
    QTest::newRow("sub-negotiations not for us are passed over")
        << true << hex("fffa18 01 fff0 fffa2c 01000025 fff0 fffa2c fff0 41") << "data 41";
    const QByteArray longest = hex("64") + QByteArray(TelnetCodec::subnegotiationLimit - 1, 'x');
    QTest::newRow("sub-negotiation at the bound")
        << true << hex("fffa2c") + longest + hex("fff0") << QString("message " + longest.toHex());
    QTest::newRow("sub-negotiation one byte past the bound")
        << true << hex("41 fffa2c") + longest + "x" + hex("fff0 42") << "data 41, too long";
    QTest::newRow("sub-negotiation never ended")
        << true << hex("41 fffa2c 65") + QByteArray(4096, '\0') << "data 41, too long";
    QTest::newRow("IAC and no command") << true << hex("41 ff05 42") << "data 41, bad command";
    QTest::newRow("SE outside a sub-negotiation") << true << hex("fff0 42") << "bad command";
    QTest::newRow("IAC and no command inside a sub-negotiation")
        << true << hex("fffa2c 65 ff05 fff0 fffd00") << "bad command";
    QTest::newRow("IAC as the option of a sub-negotiation")
        << true << hex("fffaff fff0") << "bad command";
}

void tst_TelnetCodec::receive()
{
    QFETCH(bool, started);
    QFETCH(QByteArray, input);
    QTEST(::receive(input, started, std::max<qint64>(input.size(), 1)), "result");
    // Every state must survive a split anywhere: one byte at a time gives the same.
    QTEST(::receive(input, started, 1), "result");
}

void tst_TelnetCodec::encode()
{
    // Every 255 doubled, in data and in a command's value.
    QCOMPARE(TelnetCodec::escape("\xff\x03\x00\xff\x0a\xff", 6).toHex(' '),
             hex("ffff 03 00 ffff 0a ffff").toHex(' '));
    QCOMPARE(TelnetCodec::comPortCommand(TelnetCodec::SetBaudRate, hex("000100ff")).toHex(' '),
             hex("fffa2c 01 000100ffff fff0").toHex(' '));
    TelnetCodec codec;
    QCOMPARE(codec.start().toHex(' '), hex("fffb2c fffb00 fffd00 fffb03 fffd03").toHex(' '));
    QVERIFY2(codec.start().isEmpty(), "our requests were asked a second time");
}

QTEST_APPLESS_MAIN(tst_TelnetCodec)
#include "tst_telnetcodec.moc"
