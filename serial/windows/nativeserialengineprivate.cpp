#include "nativeserialengine.h"
#include "nativeserialengine_p.h"
#include "nativeserialnotifier.h"

#include <QDebug>

#ifdef GRELVIX_WIN32_STANDIN
namespace Win32StandIn {
#endif

Q_LOGGING_CATEGORY(lcSerialEngine, "grelvix.serial")

namespace {

// Every failing step leaves one message of two lines: the operation, then what failed.
void trace(const char *operation, const QString &detail)
{
    qCDebug(lcSerialEngine).noquote().nospace()
        << "Windows: NativeSerialEnginePrivate::" << operation << " \n -> " << detail;
}

// A Windows call that failed, with its result.
void traceCall(const char *operation, const char *call, qint64 result,
               const char *closing = ". Error! ")
{
    trace(operation, QStringLiteral("function: %1 returned: %2%3")
                         .arg(QLatin1String(call))
                         .arg(result)
                         .arg(QLatin1String(closing)));
}

// One of our own steps that failed.
void traceStep(const char *operation, const char *step)
{
    trace(operation,
          QStringLiteral("function: %1 returned: false. Error! ").arg(QLatin1String(step)));
}

// A setting the engine does not know, in the enumeration's debug form.
template<typename Value>
void traceUnsupported(const char *operation, const char *name, const char *enumName, Value value)
{
    QString text;
    QDebug(&text) << value;
    trace(operation, QStringLiteral("%1: %2 is not supported by the class "
                                    "NativeSerialEnginePrivate, see enum AbstractSerial::%3. "
                                    "Error! ")
                         .arg(QLatin1String(name), text.trimmed(), QLatin1String(enumName)));
}

// 5 data bits with 2 stop bits, or 6 to 8 with 1.5, which no UART sends.
void traceFrameRefused(const char *operation, AbstractSerial::DataBits dataBits)
{
    if (dataBits == AbstractSerial::DataBits5)
        trace(operation, QStringLiteral("5 data bits cannot be used with 2 stop bits. Error! "));
    else
        trace(operation, QStringLiteral("%1 data bits cannot be used with 1.5 stop bits. Error! ")
                             .arg(5 + int(dataBits)));
}

constexpr char openOperation[] = "nativeOpen(AbstractSerial::OpenMode mode)";
constexpr char readOperation[] = "nativeRead(char *data, qint64 len)";
constexpr char writeOperation[] = "nativeWrite(const char *data, qint64 len)";
constexpr char selectOperation[] = "nativeSelect(...)";

// Clears the offset and status of an overlapped record; its event stays.
void clearOverlapped(OVERLAPPED &overlapped)
{
    const HANDLE event = overlapped.hEvent;
    overlapped = OVERLAPPED();
    overlapped.hEvent = event;
}

} // namespace

NativeSerialEnginePrivate::NativeSerialEnginePrivate(NativeSerialEngine *engine)
    : q(engine)
{
    deviceName = QStringLiteral("COM1");
    descriptor = reinterpret_cast<qintptr>(INVALID_HANDLE_VALUE);
}

bool NativeSerialEnginePrivate::nativeOpen(const QIODevice::OpenMode &mode)
{
    DWORD access = 0;
    if (mode & QIODevice::ReadOnly)
        access |= GENERIC_READ;
    if (mode & QIODevice::WriteOnly)
        access |= GENERIC_WRITE;
    trace(openOperation, QStringLiteral("trying to open device: ") + deviceName);

    const QString path = QStringLiteral("\\\\.\\") + deviceName;
    const HANDLE opened = ::CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()), access, 0, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        QString text;
        QDebug(&text).nospace() << "function: ::CreateFile(...) returned: " << opened
                                << ",  last error is: " << error << ". Error! ";
        trace(openOperation, text);
        return false;
    }
    descriptor = reinterpret_cast<qintptr>(opened);

    if (!saveOldSettings()) {
        traceStep(openOperation, "saveOldSettings()");
        return false;
    }
    // Raw bytes, no software flow control, no stop on errors; the rest as the port had it.
    dcb.fBinary = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!updateDcb()) {
        traceStep(openOperation, "::updateDcb()");
        return false;
    }
    // Reads return at once with whatever is waiting. (An interval of 0xFFFF ms would make a
    // read wait for its buffer to fill, up to 65 s between two bytes.)
    commTimeouts.ReadIntervalTimeout = MAXDWORD;
    commTimeouts.ReadTotalTimeoutMultiplier = 0;
    commTimeouts.ReadTotalTimeoutConstant = 0;
    commTimeouts.WriteTotalTimeoutMultiplier = 0;
    commTimeouts.WriteTotalTimeoutConstant = 0;
    if (!updateCommTimeouts()) {
        traceStep(openOperation, "updateCommTimeouts()");
        return false;
    }
    autoTotalReadConstant = false;
    detectDefaultCurrentSettings();
    if (!createEvents(mode & QIODevice::ReadOnly, mode & QIODevice::WriteOnly)) {
        traceStep(openOperation, "createEvents(eRx, eTx)");
        return false;
    }
    QString text;
    QDebug(&text).noquote().nospace()
        << "opened device: " << deviceName << " in mode: " << mode << " succesfully. Ok! ";
    trace(openOperation, text);
    return true;
}

bool NativeSerialEnginePrivate::saveOldSettings()
{
    savedDcb = DCB();
    savedDcb.DCBlength = sizeof(DCB);
    if (!::GetCommState(handle(), &savedDcb))
        return false;
    dcb = savedDcb;
    if (!::GetCommTimeouts(handle(), &savedCommTimeouts))
        return false;
    commTimeouts = savedCommTimeouts;
    settingsSaved = true;
    return true;
}

bool NativeSerialEnginePrivate::restoreOldSettings()
{
    if (!settingsSaved)
        return true;
    const bool stateRestored = ::SetCommState(handle(), &savedDcb);
    const bool timeoutsRestored = ::SetCommTimeouts(handle(), &savedCommTimeouts);
    settingsSaved = false;
    return stateRestored && timeoutsRestored;
}

bool NativeSerialEnginePrivate::updateDcb()
{
    return ::SetCommState(handle(), &dcb);
}

bool NativeSerialEnginePrivate::updateCommTimeouts()
{
    return ::SetCommTimeouts(handle(), &commTimeouts);
}

bool NativeSerialEnginePrivate::createEvents(bool eRx, bool eTx)
{
    if (eRx)
        oRead.hEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (eTx)
        oWrite.hEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    oSelect.hEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return (!eRx || oRead.hEvent) && (!eTx || oWrite.hEvent) && oSelect.hEvent;
}

bool NativeSerialEnginePrivate::closeEvents()
{
    bool closed = true;
    for (OVERLAPPED *overlapped : {&oRead, &oWrite, &oSelect}) {
        if (overlapped->hEvent && !::CloseHandle(overlapped->hEvent))
            closed = false;
        *overlapped = OVERLAPPED();
    }
    return closed;
}

bool NativeSerialEnginePrivate::nativeClose()
{
    // The notifier's pending wait ends before the handle it was issued on.
    releaseNotifier();
    if (!isOpen())
        return true;
    if (!restoreOldSettings())
        trace("nativeClose()",
              QStringLiteral("function: restoreOldSettings() returned: false. Error! "));
    ::CancelIo(handle());
    bool closed = true;
    if (!::CloseHandle(handle())) {
        traceCall("nativeClose()", "::CloseHandle(this->descriptor)", 0);
        closed = false;
    }
    if (!closeEvents())
        closed = false;
    descriptor = reinterpret_cast<qintptr>(INVALID_HANDLE_VALUE);
    return closed;
}

void NativeSerialEnginePrivate::detectDefaultCurrentSettings()
{
    detectDefaultBaudRate();
    detectDefaultDataBits();
    detectDefaultParity();
    detectDefaultStopBits();
    detectDefaultFlowControl();
}

void NativeSerialEnginePrivate::detectDefaultBaudRate()
{
    inputBaudRate = outputBaudRate = int(dcb.BaudRate);
    if (dcb.BaudRate == 0)
        trace("detectDefaultBaudRate()",
              QStringLiteral("undefined baud rate, this->cc.dcb.BaudRate is: 0 \n"));
}

void NativeSerialEnginePrivate::detectDefaultDataBits()
{
    if (dcb.ByteSize >= 5 && dcb.ByteSize <= 8) {
        dataBitsValue = AbstractSerial::DataBits(dcb.ByteSize - 5);
        return;
    }
    dataBitsValue = AbstractSerial::DataBitsUndefined;
    trace("detectDefaultDataBits()",
          QStringLiteral("undefined data bits, this->cc.dcb.ByteSize is: %1 \n").arg(dcb.ByteSize));
}

void NativeSerialEnginePrivate::detectDefaultParity()
{
    if (dcb.Parity == NOPARITY && !dcb.fParity) {
        parityValue = AbstractSerial::ParityNone;
        return;
    }
    if (dcb.Parity >= ODDPARITY && dcb.Parity <= SPACEPARITY && dcb.fParity) {
        parityValue = AbstractSerial::Parity(dcb.Parity);
        return;
    }
    parityValue = AbstractSerial::ParityUndefined;
    trace("detectDefaultParity()",
          QStringLiteral("undefined parity, this->cc.dcb.Parity is: %1, this->cc.dcb.fParity is: "
                         "%2 \n")
              .arg(dcb.Parity)
              .arg(dcb.fParity));
}

void NativeSerialEnginePrivate::detectDefaultStopBits()
{
    switch (dcb.StopBits) {
    case ONESTOPBIT:
        stopBitsValue = AbstractSerial::StopBits1;
        return;
    case ONE5STOPBITS:
        stopBitsValue = AbstractSerial::StopBits1_5;
        return;
    case TWOSTOPBITS:
        stopBitsValue = AbstractSerial::StopBits2;
        return;
    default:
        stopBitsValue = AbstractSerial::StopBitsUndefined;
        trace("detectDefaultStopBits()",
              QStringLiteral("undefined stop bits, this->cc.dcb.StopBits is: %1 \n")
                  .arg(dcb.StopBits));
    }
}

void NativeSerialEnginePrivate::detectDefaultFlowControl()
{
    const bool cts = dcb.fOutxCtsFlow;
    const bool inX = dcb.fInX;
    const bool outX = dcb.fOutX;
    if (cts && dcb.fRtsControl == RTS_CONTROL_HANDSHAKE && !inX && !outX) {
        flowValue = AbstractSerial::FlowControlHardware;
    } else if (!cts && dcb.fRtsControl == RTS_CONTROL_DISABLE && inX && outX) {
        flowValue = AbstractSerial::FlowControlXonXoff;
    } else if (!cts && dcb.fRtsControl == RTS_CONTROL_DISABLE && !inX && !outX) {
        flowValue = AbstractSerial::FlowControlOff;
    } else {
        flowValue = AbstractSerial::FlowControlUndefined;
        trace("detectDefaultFlowControl()",
              QStringLiteral("undefined flow, this->cc.dcb.fOutxCtsFlow is: %1, "
                             "this->cc.dcb.fRtsControl is: %2, this->cc.dcb.fInX is: %3, "
                             "this->cc.dcb.fOutX is: %4 \n")
                  .arg(dcb.fOutxCtsFlow)
                  .arg(dcb.fRtsControl)
                  .arg(dcb.fInX)
                  .arg(dcb.fOutX));
    }
}

// The control block is left as written even when the port refused it; the next accepted
// setting writes it again.
bool NativeSerialEnginePrivate::writeDcb(const char *operation, const char *call)
{
    if (updateDcb())
        return true;
    traceStep(operation, call);
    return false;
}

bool NativeSerialEnginePrivate::nativeSetBaudRate(int baudRate,
                                                  AbstractSerial::BaudDirection direction)
{
    if (direction != AbstractSerial::BaudBoth)
        return false;
    dcb.BaudRate = DWORD(baudRate);
    if (!writeDcb("nativeSetBaudRate(quint32 baudRate)", "::updateDcb()"))
        return false;
    inputBaudRate = outputBaudRate = baudRate;
    updateAutoReadConstant();
    return true;
}

bool NativeSerialEnginePrivate::nativeSetDataBits(AbstractSerial::DataBits dataBits)
{
    constexpr char operation[] = "nativeSetDataBits(AbstractSerial::DataBits dataBits)";
    if (dataBits < AbstractSerial::DataBits5 || dataBits > AbstractSerial::DataBits8) {
        traceUnsupported(operation, "dataBits", "DataBits", dataBits);
        return false;
    }
    if (!AbstractSerialEngine::acceptsDataBits(dataBits, stopBitsValue)) {
        traceFrameRefused(operation, dataBits);
        return false;
    }
    dcb.ByteSize = BYTE(5 + int(dataBits));
    if (!writeDcb(operation, "::updateDcb()"))
        return false;
    dataBitsValue = dataBits;
    updateAutoReadConstant();
    return true;
}

bool NativeSerialEnginePrivate::nativeSetParity(AbstractSerial::Parity parity)
{
    constexpr char operation[] = "nativeSetParity(AbstractSerial::Parity parity)";
    if (parity < AbstractSerial::ParityNone || parity > AbstractSerial::ParitySpace) {
        traceUnsupported(operation, "parity", "Parity", parity);
        return false;
    }
    // The enumeration follows NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY.
    dcb.Parity = BYTE(parity);
    dcb.fParity = parity != AbstractSerial::ParityNone;
    if (!writeDcb(operation, "::updateDcb()"))
        return false;
    parityValue = parity;
    updateAutoReadConstant();
    return true;
}

bool NativeSerialEnginePrivate::nativeSetStopBits(AbstractSerial::StopBits stopBits)
{
    constexpr char operation[] = "nativeSetStopBits(AbstractSerial::StopBits stopBits)";
    if (stopBits < AbstractSerial::StopBits1 || stopBits > AbstractSerial::StopBits2) {
        traceUnsupported(operation, "stopBits", "StopBits", stopBits);
        return false;
    }
    if (!AbstractSerialEngine::acceptsStopBits(stopBits, dataBitsValue)) {
        traceFrameRefused(operation, dataBitsValue);
        return false;
    }
    // ONESTOPBIT, ONE5STOPBITS and TWOSTOPBITS in the enumeration's order.
    dcb.StopBits = BYTE(stopBits);
    if (!writeDcb(operation, "::updateDcb()"))
        return false;
    stopBitsValue = stopBits;
    updateAutoReadConstant();
    return true;
}

bool NativeSerialEnginePrivate::nativeSetFlowControl(AbstractSerial::Flow flow)
{
    constexpr char operation[] = "nativeSetFlowControl(AbstractSerial::Flow flow)";
    switch (flow) {
    case AbstractSerial::FlowControlOff:
    case AbstractSerial::FlowControlXonXoff:
        dcb.fOutxCtsFlow = FALSE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        break;
    case AbstractSerial::FlowControlHardware:
        dcb.fOutxCtsFlow = TRUE;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        break;
    default:
        traceUnsupported(operation, "flow", "Flow", flow);
        return false;
    }
    dcb.fOutX = dcb.fInX = flow == AbstractSerial::FlowControlXonXoff;
    if (!writeDcb(operation, "::SetCommState(this->descriptor, this->dcb)"))
        return false;
    flowValue = flow;
    return true;
}

void NativeSerialEnginePrivate::setTotalReadConstant(int msecs)
{
    if (msecs == -1) {
        autoTotalReadConstant = true;
        updateAutoReadConstant();
        return;
    }
    autoTotalReadConstant = false;
    commTimeouts.ReadTotalTimeoutConstant = DWORD(msecs);
    updateCommTimeouts();
}

void NativeSerialEnginePrivate::updateAutoReadConstant()
{
    if (!autoTotalReadConstant || inputBaudRate != outputBaudRate || inputBaudRate <= 0)
        return;
    const DWORD constant = DWORD(AbstractSerialEngine::autoReadTotalConstant(
        inputBaudRate, dataBitsValue, parityValue, stopBitsValue, charIntervalValue));
    if (constant == commTimeouts.ReadTotalTimeoutConstant)
        return;
    commTimeouts.ReadTotalTimeoutConstant = constant;
    updateCommTimeouts();
}

bool NativeSerialEnginePrivate::nativeSetDtr(bool set)
{
    if (::EscapeCommFunction(handle(), set ? SETDTR : CLRDTR))
        return true;
    traceCall("nativeSetDtr(bool set)", "::EscapeCommFunction(...)", 0);
    return false;
}

bool NativeSerialEnginePrivate::nativeSetRts(bool set)
{
    if (::EscapeCommFunction(handle(), set ? SETRTS : CLRRTS))
        return true;
    traceCall("nativeSetRts(bool set)", "::EscapeCommFunction(...)", 0);
    return false;
}

quint16 NativeSerialEnginePrivate::nativeLineStatus()
{
    DWORD modem = 0;
    if (!::GetCommModemStatus(handle(), &modem)) {
        traceCall("nativeLineStatus()", "::GetCommModemStatus(...)", 0);
        return AbstractSerial::LineError;
    }
    quint16 word = 0;
    if (modem & MS_CTS_ON)
        word |= AbstractSerial::LineCTS;
    if (modem & MS_DSR_ON)
        word |= AbstractSerial::LineDSR;
    if (modem & MS_RING_ON)
        word |= AbstractSerial::LineRI;
    if (modem & MS_RLSD_ON)
        word |= AbstractSerial::LineDCD;
    DWORD outputs = 0;
    DWORD returned = 0;
    if (::DeviceIoControl(handle(), IOCTL_SERIAL_GET_DTRRTS, nullptr, 0, &outputs, sizeof(outputs),
                          &returned, nullptr)) {
        if (outputs & 0x1)
            word |= AbstractSerial::LineDTR;
        if (outputs & 0x2)
            word |= AbstractSerial::LineRTS;
    }
    return word;
}

bool NativeSerialEnginePrivate::nativeSetBreak(bool set)
{
    if (set ? ::SetCommBreak(handle()) : ::ClearCommBreak(handle()))
        return true;
    traceCall("nativeSetBreak(bool set)",
              set ? "::SetCommBreak(this->descriptor)" : "::ClearCommBreak(this->descriptor)", 0);
    return false;
}

bool NativeSerialEnginePrivate::nativeSendBreak(int duration)
{
    if (!nativeSetBreak(true))
        return false;
    ::Sleep(DWORD(std::max(duration, 0)));
    return nativeSetBreak(false);
}

bool NativeSerialEnginePrivate::nativeFlush()
{
    if (::FlushFileBuffers(handle()))
        return true;
    trace("nativeFlush()",
          QStringLiteral("function:: ::FlushFileBuffers(this->descriptor) returned: 0. Error! "));
    return false;
}

bool NativeSerialEnginePrivate::nativeReset()
{
    if (::PurgeComm(handle(), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
        return true;
    traceCall("nativeReset()", "::PurgeComm(...)", 0);
    return false;
}

qint64 NativeSerialEnginePrivate::nativeBytesAvailable()
{
    constexpr char operation[] = "nativeBytesAvailable(bool wait)";
    DWORD errors = 0;
    COMSTAT status = {};
    if (!::ClearCommError(handle(), &errors, &status)) {
        traceCall(operation, "::ClearCommError(this->descriptor, &err, &cs)", 0);
        return -1;
    }
    if (errors) {
        // The call has cleared the error: the next one reports the bytes again.
        trace(operation, QStringLiteral("function: ::ClearCommError(this->descriptor, &err, &cs) "
                                        "output parameter: err: %1. Error! ")
                             .arg(errors));
        return -1;
    }
    return qint64(status.cbInQue);
}

// The record, not the event, tells that the operation ended: under Wine an earlier wait's
// end may signal the event late.
DWORD NativeSerialEnginePrivate::waitForEnd(OVERLAPPED *overlapped, ULONGLONG deadline)
{
    for (;;) {
        if (HasOverlappedIoCompleted(overlapped))
            return WAIT_OBJECT_0;
        const ULONGLONG now = ::GetTickCount64();
        const DWORD waited =
            ::WaitForSingleObject(overlapped->hEvent, DWORD(now < deadline ? deadline - now : 0));
        if (waited != WAIT_OBJECT_0)
            return waited;
    }
}

// Bounded, so that a system that never reports the end cannot hang the caller (Wine can
// leave a wait's record marked pending after signalling its end).
DWORD NativeSerialEnginePrivate::cancelPending(OVERLAPPED *overlapped)
{
    ::CancelIoEx(handle(), overlapped);
    if (waitForEnd(overlapped, ::GetTickCount64() + cancelWaitMsecs) != WAIT_OBJECT_0)
        trace("cancelPending(OVERLAPPED *overlapped)",
              QStringLiteral("function: ::CancelIoEx(this->descriptor, overlapped): the "
                             "operation did not end. Error! "));
    DWORD moved = 0;
    ::GetOverlappedResult(handle(), overlapped, &moved, FALSE);
    return moved;
}

qint64 NativeSerialEnginePrivate::transfer(bool reading, char *data, qint64 len)
{
    const char *operation = reading ? readOperation : writeOperation;
    OVERLAPPED &overlapped = reading ? oRead : oWrite;
    clearOverlapped(overlapped);
    if (!overlapped.hEvent)
        return -1;
    DWORD moved = 0;
    const BOOL done = reading ? ::ReadFile(handle(), data, DWORD(len), &moved, &overlapped)
                              : ::WriteFile(handle(), data, DWORD(len), &moved, &overlapped);
    if (done)
        return qint64(moved);
    const DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) {
        traceCall(operation, "::GetLastError()", qint64(error));
        return -1;
    }
    const DWORD waited = waitForEnd(&overlapped, ::GetTickCount64() + transferWaitMsecs);
    if (waited != WAIT_OBJECT_0) {
        traceCall(operation,
                  reading ? "::::WaitForSingleObject(this->oRead.hEvent, 5000)"
                          : "::::WaitForSingleObject(this->oWrite.hEvent, 5000)",
                  qint64(waited));
        // The buffer belongs to the caller again once this returns: the transfer must not
        // complete into it later. What it moved before the cancel is not lost.
        moved = cancelPending(&overlapped);
        return moved > 0 ? qint64(moved) : -1;
    }
    if (!::GetOverlappedResult(handle(), &overlapped, &moved, FALSE)) {
        traceCall(operation,
                  reading ? "::GetOverlappedResult(this->descriptor, &this->oRead, &readBytes, "
                            "false)"
                          : "::GetOverlappedResult(this->descriptor, &this->oWrite, &writeBytes, "
                            "false)",
                  0);
        return -1;
    }
    return qint64(moved);
}

qint64 NativeSerialEnginePrivate::nativeRead(char *data, qint64 len)
{
    return transfer(true, data, len);
}

qint64 NativeSerialEnginePrivate::nativeWrite(const char *data, qint64 len)
{
    return transfer(false, const_cast<char *>(data), len);
}

int NativeSerialEnginePrivate::nativeSelect(int msecs, bool checkRead, bool checkWrite,
                                            bool *readyToRead, bool *readyToWrite)
{
    if (checkRead && nativeBytesAvailable() > 0) {
        *readyToRead = true;
        return 1;
    }
    clearOverlapped(oSelect);
    if (!oSelect.hEvent)
        return -1;
    // The notifier's own wait would stand in the way of this one.
    if (notifier)
        notifier->pause();
    const int result = selectEvents(msecs, checkRead, checkWrite, readyToRead, readyToWrite);
    if (notifier)
        notifier->resume();
    return result;
}

int NativeSerialEnginePrivate::selectEvents(int msecs, bool checkRead, bool checkWrite,
                                            bool *readyToRead, bool *readyToWrite)
{
    const DWORD wanted = (checkRead ? EV_RXCHAR : 0) | (checkWrite ? EV_TXEMPTY : 0);
    DWORD oldMask = 0;
    if (!::GetCommMask(handle(), &oldMask)) {
        traceCall(selectOperation, "::GetCommMask(this->descriptor, eMask)", 0);
        return -1;
    }
    if ((oldMask & wanted) != wanted && !::SetCommMask(handle(), oldMask | wanted)) {
        traceCall(selectOperation, "::SetCommMask(this->descriptor, eMask)", 0);
        return -1;
    }
    // A wait that ends without what is waited for (the mask changed; under Wine on a port
    // without modem lines every wait does after a millisecond) is not the end of the time.
    const ULONGLONG deadline = ::GetTickCount64() + ULONGLONG(std::max(msecs, 0));
    DWORD events = 0;
    int waited = 0;
    while (waited == 0) {
        events = 0;
        waited = waitCommEventOnce(&events, deadline, oldMask);
        if (waited > 0 && !(events & wanted))
            waited = 0;
        if (waited == 0 && ::GetTickCount64() >= deadline)
            waited = -1;
    }
    ::SetCommMask(handle(), oldMask);
    if (waited < 0)
        return 0;
    *readyToRead = (events & EV_RXCHAR) && checkRead && nativeBytesAvailable() != 0;
    *readyToWrite = (events & EV_TXEMPTY) && checkWrite;
    return 1;
}

int NativeSerialEnginePrivate::waitCommEventOnce(DWORD *events, ULONGLONG deadline, DWORD oldMask)
{
    clearOverlapped(oSelect);
    if (::WaitCommEvent(handle(), events, &oSelect))
        return 1;
    const DWORD error = ::GetLastError();
    if (error == ERROR_INVALID_PARAMETER) {
        // Under Wine the notifier's wait, just ended, counts as running for a moment longer.
        ::Sleep(1);
        return 0;
    }
    if (error != ERROR_IO_PENDING) {
        traceCall(selectOperation, "::GetLastError()", qint64(error));
        return -1;
    }
    const DWORD waited = waitForEnd(&oSelect, deadline);
    DWORD unused = 0;
    if (waited == WAIT_OBJECT_0) {
        if (::GetOverlappedResult(handle(), &oSelect, &unused, FALSE))
            return 1;
        const DWORD result = ::GetLastError();
        if (result == ERROR_OPERATION_ABORTED)
            return 0;
        trace(selectOperation, QStringLiteral("function: ::GetOverlappedResult(this->descriptor, "
                                              "&this->oSelect, &rc, false) returned: false, last "
                                              "error: %1. Error! ")
                                   .arg(result));
        return -1;
    }
    if (waited == WAIT_TIMEOUT)
        trace(selectOperation,
              QStringLiteral("function: ::WaitForSingleObject(this->oSelect.hEvent, "
                             "timeout < 0 ? 0 : timeout),  returned: WAIT_TIMEOUT: "
                             "%1. Warning! ")
                  .arg(waited));
    else
        traceCall(selectOperation,
                  "::::WaitForSingleObject(this->oSelect.hEvent, timeout < 0 ? 0 : timeout)",
                  qint64(waited));
    // The event word lives on the caller's stack: the wait must be over before it goes.
    // Restoring the mask ends it (Wine cannot cancel it otherwise).
    ::SetCommMask(handle(), oldMask);
    cancelPending(&oSelect);
    return -1;
}

#ifdef GRELVIX_WIN32_STANDIN
} // namespace Win32StandIn
#endif
