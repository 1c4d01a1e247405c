// Names and texts of the serial settings and statuses.
#include "abstractserial.h"

#include "abstractserial_p.h"

#include <QCoreApplication>
#include <QDebug>
#include <QRegularExpression>

namespace {

QString trObject(const char *text)
{
    return QCoreApplication::translate("QObject", text);
}

constexpr int baudRates[] = {50,      75,      110,     134,     150,     200,     300,
                             600,     1200,    1800,    2400,    4800,    9600,    14400,
                             19200,   38400,   56000,   57600,   76800,   115200,  128000,
                             230400,  256000,  460800,  500000,  576000,  921600,  1000000,
                             1152000, 1500000, 2000000, 2500000, 3000000, 3500000, 4000000};
constexpr int baudRateCount = int(sizeof(baudRates) / sizeof(baudRates[0]));

QDebug debugForm(QDebug debug, const char *type, const QString &name)
{
    QDebugStateSaver saver(debug);
    debug.quote() << type << name << ")";
    return debug;
}

} // namespace

QString AbstractSerial::statusToString(Status status)
{
    switch (status) {
    case StatusNoError:
        return trObject("No errors.");
    case StatusOpened:
        return trObject("Opened::Device is successfully opened. OK!");
    case StatusClosed:
        return trObject("Closed::Device is successfully closed. OK!");
    case StatusBaudRateSet:
        return trObject("Controls::Baud rate is successfully set. OK!");
    case StatusParitySet:
        return trObject("Controls::Parity is successfully set. OK!");
    case StatusDataBitsSet:
        return trObject("Controls::Data bits is successfully set. OK!");
    case StatusStopBitsSet:
        return trObject("Controls::Stop bits is successfully set. OK!");
    case StatusFlowSet:
        return trObject("Controls::Flow is successfully set. OK!");
    case StatusCharTimeoutSet:
        return trObject("Controls::Char timeout is successfully set. OK!");
    case StatusDtrChanged:
        return trObject("Controls::DTR is successfully changed. OK!");
    case StatusRtsChanged:
        return trObject("Controls::RTS is successfully changed. OK!");
    case StatusLinesRead:
        return trObject("Controls::Status lines successfully get. OK!");
    case StatusBreakSent:
        return trObject("Controls::Send break successfully. OK!");
    case StatusBreakSet:
        return trObject("Controls::Set break successfully. OK!");
    case StatusFlushed:
        return trObject("Controls::Flush successfully. OK!");
    case StatusReset:
        return trObject("Controls::Reset successfully. OK!");
    case ErrorOpen:
        return trObject("Error opening. Error!");
    case ErrorNotOpen:
        return trObject("Device is not open. Error!");
    case ErrorOpenModeUnsupported:
        return trObject("Opened::Opened mode unsupported. Error!");
    case ErrorOpenModeUndefined:
        return trObject("Opened::Opened mode undefined. Error!");
    case ErrorInvalidDescriptor:
        return trObject("Opened::Invalid device descriptor. Error!");
    case ErrorSaveOldSettings:
        return trObject("Opened::Fail saved old settings. Error!");
    case ErrorGetCurrentSettings:
        return trObject("Opened::Fail get current settings. Error!");
    case ErrorSetDefaultSettings:
        return trObject("Opened::Fail set default settings. Error!");
    case ErrorAlreadyOpen:
        return trObject("Device is already open. Error!");
    case ErrorRestoreOldSettings:
        return trObject("Closed::Fail set old settings. Error!");
    case ErrorCloseDescriptor:
        return trObject("Closed::Fail close device descriptor. Error!");
    case ErrorClose:
        return trObject("Closed::Fail close device. Error!");
    case ErrorSetBaudRate:
        return trObject("Parameters::Set baud rate fail. Error!");
    case ErrorSetDataBits:
        return trObject("Parameters::Set data bits fail. Error!");
    case ErrorSetParity:
        return trObject("Parameters::Set parity fail. Error!");
    case ErrorSetStopBits:
        return trObject("Parameters::Set stop bits fail. Error!");
    case ErrorSetFlowControl:
        return trObject("Parameters::Set flow control fail. Error!");
    case ErrorSetCharIntervalTimeout:
        return trObject("Parameters::Set char interval timeout. Error!");
    case ErrorSetTotalReadConstantTimeout:
        return trObject("Parameters::Set total read interval timeout. Error!");
    case ErrorBytesAvailable:
        return trObject("Controls::Get bytes available fail. Error!");
    case ErrorSetDtr:
        return trObject("Controls::Set DTR fail. Error!");
    case ErrorSetRts:
        return trObject("Controls::Set RTS fail. Error!");
    case ErrorLineStatus:
        return trObject("Controls::Get lines status fail. Error!");
    case ErrorWaitReadyReadIo:
        return trObject("Controls::Wait for ready read from device - i/o problem. Error!");
    case ErrorWaitReadyReadTimeout:
        return trObject("Controls::Wait for ready read timeout. Error!");
    case ErrorWaitBytesWrittenIo:
        return trObject("Controls::Wait for bytes writtten to device - i/o problem. Error!");
    case ErrorWaitBytesWrittenTimeout:
        return trObject("Controls::Wait for bytes writtten timeout. Error!");
    case ErrorReadIo:
        return trObject("Controls::Read data from device - i/o problem. Error!");
    case ErrorWriteIo:
        return trObject("Controls::Write data to device - i/o problem. Error!");
    case ErrorFlush:
        return trObject("Controls::Flush fail. Error!");
    case ErrorSendBreak:
        return trObject("Controls::Send break fail. Error!");
    case ErrorSetBreak:
        return trObject("Controls::Set break fail. Error!");
    case ErrorReset:
        return trObject("Controls::Reset fail. Error!");
    }
    return trObject(
               "AbstractSerial::statusToString(Status val) -> Status mode: %1 undefined. Error!")
        .arg(int(status));
}

int AbstractSerial::baudRateValue(BaudRate baudRate)
{
    const int index = int(baudRate);
    return index >= 0 && index < baudRateCount ? baudRates[index] : -1;
}

int AbstractSerial::baudRateFromText(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("(\\d+)"));
    const QRegularExpressionMatch match = digits.match(text);
    if (!match.hasMatch())
        return -1;
    bool ok = false;
    const int rate = match.captured(1).toInt(&ok, 10);
    return ok ? rate : -1;
}

void AbstractSerialPrivate::fillTables()
{
    baudRateTable.insert(AbstractSerial::BaudRateUndefined, trObject("Undefined baud"));
    // 50, 75, 134, 150, 200 and 1800 baud have no name on purpose.
    const AbstractSerial::BaudRate named[] = {
        AbstractSerial::BaudRate110,     AbstractSerial::BaudRate300,
        AbstractSerial::BaudRate600,     AbstractSerial::BaudRate1200,
        AbstractSerial::BaudRate2400,    AbstractSerial::BaudRate4800,
        AbstractSerial::BaudRate9600,    AbstractSerial::BaudRate14400,
        AbstractSerial::BaudRate19200,   AbstractSerial::BaudRate38400,
        AbstractSerial::BaudRate56000,   AbstractSerial::BaudRate57600,
        AbstractSerial::BaudRate76800,   AbstractSerial::BaudRate115200,
        AbstractSerial::BaudRate128000,  AbstractSerial::BaudRate230400,
        AbstractSerial::BaudRate256000,  AbstractSerial::BaudRate460800,
        AbstractSerial::BaudRate500000,  AbstractSerial::BaudRate576000,
        AbstractSerial::BaudRate921600,  AbstractSerial::BaudRate1000000,
        AbstractSerial::BaudRate1152000, AbstractSerial::BaudRate1500000,
        AbstractSerial::BaudRate2000000, AbstractSerial::BaudRate2500000,
        AbstractSerial::BaudRate3000000, AbstractSerial::BaudRate3500000,
        AbstractSerial::BaudRate4000000};
    for (AbstractSerial::BaudRate index : named) {
        baudRateTable.insert(index, trObject("%1 baud").arg(AbstractSerial::baudRateValue(index)));
    }

    dataBitsTable.insert(AbstractSerial::DataBitsUndefined, trObject("Undefined data bits"));
    dataBitsTable.insert(AbstractSerial::DataBits5, trObject("5 bit"));
    dataBitsTable.insert(AbstractSerial::DataBits6, trObject("6 bit"));
    dataBitsTable.insert(AbstractSerial::DataBits7, trObject("7 bit"));
    dataBitsTable.insert(AbstractSerial::DataBits8, trObject("8 bit"));

    parityTable.insert(AbstractSerial::ParityUndefined, trObject("Undefined parity"));
    parityTable.insert(AbstractSerial::ParityNone, trObject("None"));
    parityTable.insert(AbstractSerial::ParityOdd, trObject("Odd"));
    parityTable.insert(AbstractSerial::ParityEven, trObject("Even"));
    parityTable.insert(AbstractSerial::ParityMark, trObject("Mark"));
    parityTable.insert(AbstractSerial::ParitySpace, trObject("Space"));

    stopBitsTable.insert(AbstractSerial::StopBitsUndefined, trObject("Undefined stop bits"));
    stopBitsTable.insert(AbstractSerial::StopBits1, trObject("1"));
    stopBitsTable.insert(AbstractSerial::StopBits1_5, trObject("1.5"));
    stopBitsTable.insert(AbstractSerial::StopBits2, trObject("2"));

    flowTable.insert(AbstractSerial::FlowControlUndefined, trObject("Undefined flow"));
    flowTable.insert(AbstractSerial::FlowControlOff, trObject("Disable"));
    flowTable.insert(AbstractSerial::FlowControlHardware, trObject("Hardware"));
    flowTable.insert(AbstractSerial::FlowControlXonXoff, trObject("Xon/Xoff"));
}

// Each list is made once, from the tables of the first device asked.
QStringList AbstractSerial::baudRateNames() const
{
    static const QStringList names = d->baudRateTable.values();
    return names;
}

QStringList AbstractSerial::dataBitsNames() const
{
    static const QStringList names = d->dataBitsTable.values();
    return names;
}

QStringList AbstractSerial::parityNames() const
{
    static const QStringList names = d->parityTable.values();
    return names;
}

QStringList AbstractSerial::stopBitsNames() const
{
    static const QStringList names = d->stopBitsTable.values();
    return names;
}

QStringList AbstractSerial::flowControlNames() const
{
    static const QStringList names = d->flowTable.values();
    return names;
}

QDebug operator<<(QDebug debug, AbstractSerial::BaudRate value)
{
    QString name;
    if (value == AbstractSerial::BaudRateUndefined)
        name = QStringLiteral("Undefined");
    else if (AbstractSerial::baudRateValue(value) > 0)
        name = QString::number(AbstractSerial::baudRateValue(value));
    return debugForm(debug, "BaudRate(", name);
}

QDebug operator<<(QDebug debug, AbstractSerial::DataBits value)
{
    QString name;
    if (value == AbstractSerial::DataBitsUndefined)
        name = QStringLiteral("Undefined");
    else if (value >= AbstractSerial::DataBits5 && value <= AbstractSerial::DataBits8)
        name = QString::number(5 + int(value));
    return debugForm(debug, "DataBits(", name);
}

QDebug operator<<(QDebug debug, AbstractSerial::Parity value)
{
    static const char *const names[] = {"None", "Odd", "Even", "Mark", "Space"};
    QString name;
    if (value == AbstractSerial::ParityUndefined)
        name = QStringLiteral("Undefined");
    else if (value >= AbstractSerial::ParityNone && value <= AbstractSerial::ParitySpace)
        name = QLatin1String(names[value]);
    return debugForm(debug, "Parity(", name);
}

QDebug operator<<(QDebug debug, AbstractSerial::StopBits value)
{
    static const char *const names[] = {"1", "1.5", "2"};
    QString name;
    if (value == AbstractSerial::StopBitsUndefined)
        name = QStringLiteral("Undefined");
    else if (value >= AbstractSerial::StopBits1 && value <= AbstractSerial::StopBits2)
        name = QLatin1String(names[value]);
    return debugForm(debug, "StopBits(", name);
}

QDebug operator<<(QDebug debug, AbstractSerial::Flow value)
{
    static const char *const names[] = {"Off", "Hardware", "Xon/Xoff"};
    QString name;
    if (value == AbstractSerial::FlowControlUndefined)
        name = QStringLiteral("Undefined");
    else if (value >= AbstractSerial::FlowControlOff && value <= AbstractSerial::FlowControlXonXoff)
        name = QLatin1String(names[value]);
    return debugForm(debug, "Flow(", name);
}

QDebug operator<<(QDebug debug, AbstractSerial::LineStatus value)
{
    static const struct
    {
        int flag;
        const char *name;
    } flags[] = {{AbstractSerial::LineLE, "LE"},   {AbstractSerial::LineDTR, "DTR"},
                 {AbstractSerial::LineRTS, "RTS"}, {AbstractSerial::LineST, "ST"},
                 {AbstractSerial::LineSR, "SR"},   {AbstractSerial::LineCTS, "CTS"},
                 {AbstractSerial::LineDCD, "DCD"}, {AbstractSerial::LineRI, "RI"},
                 {AbstractSerial::LineDSR, "DSR"}, {AbstractSerial::LineError, "Error"}};
    // Every raised flag is named, so a word such as CTS|DSR reads as it is.
    QStringList names;
    for (const auto &entry : flags) {
        if (int(value) & entry.flag)
            names.append(QLatin1String(entry.name));
    }
    return debugForm(debug, "LineStatus(", names.join(QLatin1Char('|')));
}
