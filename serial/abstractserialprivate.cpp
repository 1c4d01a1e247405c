#include "abstractserial_p.h"

#include "abstractserialengine.h"
#include "serialenginefactory_p.h"

#include <algorithm>

namespace {

// Line states last reported by any device of the process.
struct ReportedLines
{
    bool cts = false;
    bool dsr = false;
    bool ring = false;
};

ReportedLines &reportedLines()
{
    static ReportedLines lines;
    return lines;
}

} // namespace

AbstractSerialPrivate::AbstractSerialPrivate(AbstractSerial *device)
    : owner(device)
{}

AbstractSerialPrivate::~AbstractSerialPrivate() = default;

bool AbstractSerialPrivate::initEngine(SerialEngineKind kind)
{
    engine.reset();
    engineKind = kind;
    engine.reset(createSerialEngine(owner, kind));
    if (engine)
        engine->setReceiver(this);
    return bool(engine);
}

void AbstractSerialPrivate::reportStatus(AbstractSerial::Status status)
{
    const QString text = AbstractSerial::statusToString(status);
    if (status > 31)
        owner->setErrorString(text);
    if (statusSignalEnabled)
        emit owner->signalStatus(text, QDateTime::currentDateTime());
}

void AbstractSerialPrivate::clearBuffers()
{
    readBuffer.clear();
    writeBuffer.clear();
}

bool AbstractSerialPrivate::readFromSerial()
{
    qint64 count = engine->bytesAvailable();
    if (count <= 0)
        return false;
    if (readBufferMaxSize != 0)
        count = std::min(count, readBufferMaxSize - readBuffer.size());
    if (count <= 0)
        return false;
    char *room = readBuffer.reserve(count);
    const qint64 got = engine->read(room, count);
    if (got > 0) {
        readBuffer.chop(count - got);
        return true;
    }
    readBuffer.chop(count);
    return false;
}

bool AbstractSerialPrivate::handleReadNotification()
{
    if (readNotifierCalled && !readNotifierStateSet) {
        readNotifierState = engine->isReadNotificationEnabled();
        readNotifierStateSet = true;
        engine->setReadNotificationEnabled(false);
    }
    readNotifierCalled = true;

    bool newData = false;
    if (isBuffered) {
        if (readBufferMaxSize != 0 && readBuffer.size() >= readBufferMaxSize) {
            readNotifierCalled = false;
            return false;
        }
        const qint64 before = readBuffer.size();
        if (!readFromSerial()) {
            readNotifierCalled = false;
            return false;
        }
        if (readBufferMaxSize != 0 && readBuffer.size() == readBufferMaxSize)
            engine->setReadNotificationEnabled(false);
        newData = readBuffer.size() > before;
    } else {
        newData = engine->bytesAvailable() > 0;
    }

    if (newData && !emittedReadyRead) {
        emittedReadyRead = true;
        emit owner->readyRead();
        emittedReadyRead = false;
    } else if (!newData && !engine->isReadNotificationEnabled()) {
        engine->setReadNotificationEnabled(true);
    }

    // The saved state is used up either way, so a later nested call saves afresh.
    if (readNotifierStateSet) {
        if (engine->isReadNotificationEnabled() != readNotifierState)
            engine->setReadNotificationEnabled(readNotifierState);
        readNotifierStateSet = false;
    }

    readNotifierCalled = false;
    return true;
}

bool AbstractSerialPrivate::handleWriteNotification()
{
    if (engine->isWriteNotificationEnabled())
        engine->setWriteNotificationEnabled(false);
    const qint64 before = writeBuffer.size();
    flushWriteBuffer();
    if (!writeBuffer.isEmpty())
        engine->setWriteNotificationEnabled(true);
    return writeBuffer.size() < before;
}

void AbstractSerialPrivate::handleExceptionNotification()
{
    emit owner->exception();
}

bool AbstractSerialPrivate::handleLineNotification()
{
    if (engine->isPortLost() != portLost) {
        portLost = !portLost;
        emit owner->portLostChanged(portLost);
    }
    const quint16 lines = engine->lineStatus();
    ReportedLines &last = reportedLines();
    const bool cts = lines & AbstractSerial::LineCTS;
    const bool dsr = lines & AbstractSerial::LineDSR;
    const bool ring = lines & AbstractSerial::LineRI;
    if (cts != last.cts) {
        last.cts = cts;
        emit owner->ctsChanged(cts);
    }
    if (dsr != last.dsr) {
        last.dsr = dsr;
        emit owner->dsrChanged(dsr);
    }
    if (ring != last.ring) {
        last.ring = ring;
        emit owner->ringChanged(ring);
    }
    return true;
}

bool AbstractSerialPrivate::flushWriteBuffer()
{
    if (!engine || writeBuffer.isEmpty())
        return false;
    const qint64 size = writeBuffer.nextDataBlockSize();
    const qint64 written = engine->write(writeBuffer.readPointer(), size);
    if (written < 0) {
        // The bytes are gone; say so, since the write call itself has long returned.
        writeBuffer.clear();
        reportStatus(AbstractSerial::ErrorWriteIo);
        return false;
    }
    writeBuffer.free(written);
    if (written > 0 && !emittedBytesWritten) {
        emittedBytesWritten = true;
        emit owner->bytesWritten(written);
        emittedBytesWritten = false;
    }
    if (writeBuffer.isEmpty() && engine->isWriteNotificationEnabled())
        engine->setWriteNotificationEnabled(false);
    return true;
}

int AbstractSerialPrivate::valueOfText(const QMap<int, QString> &table, const QString &text)
{
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        if (it.value() == text)
            return it.key();
    }
    return -1;
}

QString AbstractSerialPrivate::baudRateText(int baudRate) const
{
    if (baudRate > 0)
        return AbstractSerial::tr("%1 baud").arg(baudRate);
    return baudRateTable.value(AbstractSerial::BaudRateUndefined);
}
