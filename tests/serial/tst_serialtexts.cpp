// The fixed texts and tables of the serial layer: operators and logs read
// them, so every character counts.
#include "abstractserial.h"
#include "fakeserialengine.h"

#include <QDebug>
#include <QTest>

class tst_SerialTexts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { FakeSerialEngine::install(); }
    void cleanupTestCase() { FakeSerialEngine::uninstall(); }
    void statusTexts_data();
    void statusTexts();
    void undefinedStatusText();
    void nameLists();
    void baudRateIndices();
    void baudRateFromText_data();
    void baudRateFromText();
    void debugForms();
};

void tst_SerialTexts::statusTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    const QList<QPair<int, const char *>> table = {
        {0, "No errors."},
        {1, "Opened::Device is successfully opened. OK!"},
        {2, "Closed::Device is successfully closed. OK!"},
        {3, "Controls::Baud rate is successfully set. OK!"},
        {4, "Controls::Parity is successfully set. OK!"},
        {5, "Controls::Data bits is successfully set. OK!"},
        {6, "Controls::Stop bits is successfully set. OK!"},
        {7, "Controls::Flow is successfully set. OK!"},
        {8, "Controls::Char timeout is successfully set. OK!"},
        {9, "Controls::DTR is successfully changed. OK!"},
        {10, "Controls::RTS is successfully changed. OK!"},
        {11, "Controls::Status lines successfully get. OK!"},
        {12, "Controls::Send break successfully. OK!"},
        {13, "Controls::Set break successfully. OK!"},
        {14, "Controls::Flush successfully. OK!"},
        {15, "Controls::Reset successfully. OK!"},
        {32, "Error opening. Error!"},
        {33, "Device is not open. Error!"},
        {34, "Opened::Opened mode unsupported. Error!"},
        {35, "Opened::Opened mode undefined. Error!"},
        {36, "Opened::Invalid device descriptor. Error!"},
        {37, "Opened::Fail saved old settings. Error!"},
        {38, "Opened::Fail get current settings. Error!"},
        {39, "Opened::Fail set default settings. Error!"},
        {40, "Device is already open. Error!"},
        {41, "Closed::Fail set old settings. Error!"},
        {42, "Closed::Fail close device descriptor. Error!"},
        {43, "Closed::Fail close device. Error!"},
        {64, "Parameters::Set baud rate fail. Error!"},
        {65, "Parameters::Set data bits fail. Error!"},
        {66, "Parameters::Set parity fail. Error!"},
        {67, "Parameters::Set stop bits fail. Error!"},
        {68, "Parameters::Set flow control fail. Error!"},
        {69, "Parameters::Set char interval timeout. Error!"},
        {70, "Parameters::Set total read interval timeout. Error!"},
        {96, "Controls::Get bytes available fail. Error!"},
        {97, "Controls::Set DTR fail. Error!"},
        {98, "Controls::Set RTS fail. Error!"},
        {99, "Controls::Get lines status fail. Error!"},
        {100, "Controls::Wait for ready read from device - i/o problem. Error!"},
        {101, "Controls::Wait for ready read timeout. Error!"},
        {102, "Controls::Wait for bytes writtten to device - i/o problem. Error!"},
        {103, "Controls::Wait for bytes writtten timeout. Error!"},
        {104, "Controls::Read data from device - i/o problem. Error!"},
        {105, "Controls::Write data to device - i/o problem. Error!"},
        {106, "Controls::Flush fail. Error!"},
        {107, "Controls::Send break fail. Error!"},
        {108, "Controls::Set break fail. Error!"},
        {109, "Controls::Reset fail. Error!"},
    };
    for (const auto &entry : table)
        QTest::addRow("%d", entry.first) << entry.first << QString::fromLatin1(entry.second);
}

void tst_SerialTexts::statusTexts()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(AbstractSerial::statusToString(AbstractSerial::Status(code)), text);
}

void tst_SerialTexts::undefinedStatusText()
{
    const QString undefined = QStringLiteral(
        "AbstractSerial::statusToString(Status val) -> Status mode: %1 undefined. Error!");
    for (int code : {16, 31, 44, 71, 110, 200, -1})
        QCOMPARE(AbstractSerial::statusToString(AbstractSerial::Status(code)), undefined.arg(code));
}

void tst_SerialTexts::nameLists()
{
    AbstractSerial serial;
    const QStringList rates = {
        "Undefined baud", "110 baud",     "300 baud",     "600 baud",     "1200 baud",
        "2400 baud",      "4800 baud",    "9600 baud",    "14400 baud",   "19200 baud",
        "38400 baud",     "56000 baud",   "57600 baud",   "76800 baud",   "115200 baud",
        "128000 baud",    "230400 baud",  "256000 baud",  "460800 baud",  "500000 baud",
        "576000 baud",    "921600 baud",  "1000000 baud", "1152000 baud", "1500000 baud",
        "2000000 baud",   "2500000 baud", "3000000 baud", "3500000 baud", "4000000 baud"};
    QCOMPARE(serial.baudRateNames(), rates);
    QCOMPARE(serial.dataBitsNames(),
             QStringList({"Undefined data bits", "5 bit", "6 bit", "7 bit", "8 bit"}));
    QCOMPARE(serial.parityNames(),
             QStringList({"Undefined parity", "None", "Odd", "Even", "Mark", "Space"}));
    QCOMPARE(serial.stopBitsNames(), QStringList({"Undefined stop bits", "1", "1.5", "2"}));
    QCOMPARE(serial.flowControlNames(),
             QStringList({"Undefined flow", "Disable", "Hardware", "Xon/Xoff"}));

    // Held for the process: a second device hands out the same lists.
    AbstractSerial other;
    QCOMPARE(other.flowControlNames(), serial.flowControlNames());
}

void tst_SerialTexts::baudRateIndices()
{
    const int rates[] = {50,      75,      110,     134,     150,     200,     300,
                         600,     1200,    1800,    2400,    4800,    9600,    14400,
                         19200,   38400,   56000,   57600,   76800,   115200,  128000,
                         230400,  256000,  460800,  500000,  576000,  921600,  1000000,
                         1152000, 1500000, 2000000, 2500000, 3000000, 3500000, 4000000};
    for (int index = 0; index < 35; ++index)
        QCOMPARE(AbstractSerial::baudRateValue(AbstractSerial::BaudRate(index)), rates[index]);
    QCOMPARE(AbstractSerial::baudRateValue(AbstractSerial::BaudRate9600), 9600);
    QCOMPARE(AbstractSerial::baudRateValue(AbstractSerial::BaudRate(35)), -1);
    QCOMPARE(AbstractSerial::baudRateValue(AbstractSerial::BaudRateUndefined), -1);
}

void tst_SerialTexts::baudRateFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("rate");
    QTest::newRow("plain") << "28800" << 28800;
    QTest::newRow("table text") << "9600 baud" << 9600;
    QTest::newRow("words around") << "speed 19200 bit/s" << 19200;
    QTest::newRow("first run only") << "115200 or 9600" << 115200;
    QTest::newRow("no digits") << "fast" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("too large for int") << "99999999999" << -1;
}

void tst_SerialTexts::baudRateFromText()
{
    QFETCH(QString, text);
    QFETCH(int, rate);
    QCOMPARE(AbstractSerial::baudRateFromText(text), rate);
}

template<typename T>
static QString debugText(T value)
{
    QString text;
    QDebug(&text) << value;
    return text.trimmed();
}

void tst_SerialTexts::debugForms()
{
    QCOMPARE(debugText(AbstractSerial::ParityNone), QStringLiteral("Parity( \"None\" )"));
    QCOMPARE(debugText(AbstractSerial::ParitySpace), QStringLiteral("Parity( \"Space\" )"));
    QCOMPARE(debugText(AbstractSerial::FlowControlOff), QStringLiteral("Flow( \"Off\" )"));
    QCOMPARE(debugText(AbstractSerial::FlowControlXonXoff), QStringLiteral("Flow( \"Xon/Xoff\" )"));
    QCOMPARE(debugText(AbstractSerial::BaudRate4000000), QStringLiteral("BaudRate( \"4000000\" )"));
    QCOMPARE(debugText(AbstractSerial::BaudRateUndefined),
             QStringLiteral("BaudRate( \"Undefined\" )"));
    QCOMPARE(debugText(AbstractSerial::BaudRate(40)), QStringLiteral("BaudRate( \"\" )"));
    QCOMPARE(debugText(AbstractSerial::DataBits5), QStringLiteral("DataBits( \"5\" )"));
    QCOMPARE(debugText(AbstractSerial::StopBits1_5), QStringLiteral("StopBits( \"1.5\" )"));
    QCOMPARE(debugText(AbstractSerial::StopBits(9)), QStringLiteral("StopBits( \"\" )"));
    QCOMPARE(debugText(AbstractSerial::LineError), QStringLiteral("LineStatus( \"Error\" )"));
    QCOMPARE(
        debugText(AbstractSerial::LineStatus(AbstractSerial::LineCTS | AbstractSerial::LineDSR)),
        QStringLiteral("LineStatus( \"CTS|DSR\" )"));
    QCOMPARE(debugText(AbstractSerial::LineStatus(0)), QStringLiteral("LineStatus( \"\" )"));
}

QTEST_GUILESS_MAIN(tst_SerialTexts)
#include "tst_serialtexts.moc"
