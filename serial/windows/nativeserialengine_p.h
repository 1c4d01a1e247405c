#pragma once

#include "abstractserialengine_p.h"
#include "win32.h"

#include <QIODevice>
#include <QLoggingCategory>

#ifdef GRELVIX_WIN32_STANDIN
namespace Win32StandIn {
#endif

Q_DECLARE_LOGGING_CATEGORY(lcSerialEngine)

class NativeSerialEngine;
class NativeSerialNotifier;

class NativeSerialEnginePrivate : public AbstractSerialEnginePrivate
{
public:
    // How long one chunk of a transfer waits for the port.
    static constexpr DWORD transferWaitMsecs = 5000;
    // How long a cancelled operation may take to end.
    static constexpr DWORD cancelWaitMsecs = 1000;

    explicit NativeSerialEnginePrivate(NativeSerialEngine *engine);

    bool nativeOpen(const QIODevice::OpenMode &mode);
    bool nativeClose();
    bool nativeSetBaudRate(int baudRate, AbstractSerial::BaudDirection direction);
    bool nativeSetDataBits(AbstractSerial::DataBits dataBits);
    bool nativeSetParity(AbstractSerial::Parity parity);
    bool nativeSetStopBits(AbstractSerial::StopBits stopBits);
    bool nativeSetFlowControl(AbstractSerial::Flow flow);
    bool nativeSetDtr(bool set);
    bool nativeSetRts(bool set);
    quint16 nativeLineStatus();
    bool nativeSendBreak(int duration);
    bool nativeSetBreak(bool set);
    bool nativeFlush();
    bool nativeReset();
    qint64 nativeBytesAvailable();
    qint64 nativeRead(char *data, qint64 len);
    qint64 nativeWrite(const char *data, qint64 len);
    int nativeSelect(int msecs, bool checkRead, bool checkWrite, bool *readyToRead,
                     bool *readyToWrite);

    void setTotalReadConstant(int msecs);
    int totalReadConstant() const { return int(commTimeouts.ReadTotalTimeoutConstant); }
    void updateAutoReadConstant();
    void createNotifier();
    void releaseNotifier();
    // Ends an overlapped operation that is still pending and waits until the system is done
    // with its record and buffer; returns the bytes it moved before it was cancelled.
    DWORD cancelPending(OVERLAPPED *overlapped);
    // Waits until an overlapped operation has ended or the deadline (GetTickCount64) passed;
    // the result of the last WaitForSingleObject.
    DWORD waitForEnd(OVERLAPPED *overlapped, ULONGLONG deadline);

    HANDLE handle() const { return reinterpret_cast<HANDLE>(descriptor); }
    bool isOpen() const { return handle() != INVALID_HANDLE_VALUE; }

    NativeSerialNotifier *notifier = nullptr;
    DCB dcb = {};
    DCB savedDcb = {};
    COMMTIMEOUTS commTimeouts = {};
    COMMTIMEOUTS savedCommTimeouts = {};
    OVERLAPPED oRead = {};
    OVERLAPPED oWrite = {};
    OVERLAPPED oSelect = {};
    NativeSerialEngine *q;

private:
    bool saveOldSettings();
    bool restoreOldSettings();
    bool updateDcb();
    bool updateCommTimeouts();
    bool createEvents(bool eRx, bool eTx);
    bool closeEvents();
    void detectDefaultCurrentSettings();
    void detectDefaultBaudRate();
    void detectDefaultDataBits();
    void detectDefaultParity();
    void detectDefaultStopBits();
    void detectDefaultFlowControl();
    bool writeDcb(const char *operation, const char *call);
    int selectEvents(int msecs, bool checkRead, bool checkWrite, bool *readyToRead,
                     bool *readyToWrite);
    int waitCommEventOnce(DWORD *events, ULONGLONG deadline, DWORD oldMask);
    qint64 transfer(bool reading, char *data, qint64 len);
};

#ifdef GRELVIX_WIN32_STANDIN
} // namespace Win32StandIn
#endif
