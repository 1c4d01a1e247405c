#pragma once

#include "abstractserial.h"
#include "abstractserialenginereceiver.h"
#include "serialenginefactory_p.h"
#include "serialringbuffer_p.h"

#include <QMap>
#include <QString>

#include <memory>

class AbstractSerialEngine;

class AbstractSerialPrivate : public AbstractSerialEngineReceiver
{
public:
    explicit AbstractSerialPrivate(AbstractSerial *owner);
    ~AbstractSerialPrivate() override;

    bool initEngine(SerialEngineKind kind);
    void fillTables();

    void reportStatus(AbstractSerial::Status status);

    bool readFromSerial();
    bool flushWriteBuffer();
    void clearBuffers();

    bool handleReadNotification() override;
    bool handleWriteNotification() override;
    void handleExceptionNotification() override;
    bool handleLineNotification() override;

    // The key of a text in a table; -1 for an unknown text.
    static int valueOfText(const QMap<int, QString> &table, const QString &text);

    QString baudRateText(int baudRate) const;

    QMap<int, QString> baudRateTable;
    QMap<int, QString> dataBitsTable;
    QMap<int, QString> parityTable;
    QMap<int, QString> stopBitsTable;
    QMap<int, QString> flowTable;

    qint64 readBufferMaxSize = 0;
    SerialRingBuffer readBuffer;
    SerialRingBuffer writeBuffer;
    bool isBuffered = false;
    bool readNotifierCalled = false;
    bool readNotifierState = false;
    bool readNotifierStateSet = false;
    bool emittedReadyRead = false;
    bool emittedBytesWritten = false;
    bool statusSignalEnabled = false;
    // What portLostChanged() last told.
    bool portLost = false;

    std::unique_ptr<AbstractSerialEngine> engine;
    SerialEngineKind engineKind = SerialEngineKind::Native;
    AbstractSerial *owner;
};
