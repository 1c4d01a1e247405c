#pragma once

#include "simulateddevice.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <array>
#include <map>

// The devices' side of the bus without any I/O: bytes from the line go in, the answers and
// when to send them come out. Requests are 8-byte frames; bytes that do not start a frame with
// a valid check are dropped one at a time until one does.
class ModbusSlave
{
    Q_GADGET

public:
    enum RequestKind {
        ProbeRequest,       // function 3, register 0, one register
        TemperatureRequest, // function 3, registers 1 and 2
        OtherRequest        // anything else: an exception answer from a served address
    };
    Q_ENUM(RequestKind)

    enum ExceptionCode : quint8 { IllegalFunction = 0x01, IllegalDataAddress = 0x02 };

    static constexpr int requestSize = 8;
    // The content of register 0, which the probe reads: the number of sensors.
    static constexpr quint16 identification = 2;

    struct Exchange
    {
        quint8 address = 0;
        RequestKind kind = OtherRequest;
        QByteArray request;
        QByteArray answer; // empty: nobody answers (address not served, or a silent device)
        int delayMs = 0;   // before the first byte of the answer
        int gapMs = -1;    // from 0 on: the answer goes out one byte at a time with this gap
    };

    SimulatedDevice *addDevice(quint8 address); // nullptr for address 0 (broadcast)
    bool removeDevice(quint8 address);
    SimulatedDevice *device(quint8 address);
    const SimulatedDevice *device(quint8 address) const;
    QList<quint8> addresses() const;

    // Feeds bytes as they come off the line; a request split over several calls is kept until
    // it is complete. Returns one exchange per complete request, in order.
    QList<Exchange> receive(const QByteArray &bytes);
    void clearInput() { m_input.clear(); }
    qsizetype pendingInput() const { return m_input.size(); }

    // Requests seen per address, served or not; bytes dropped while looking for a frame.
    quint64 requestCount(quint8 address) const { return m_requests[address]; }
    quint64 droppedBytes() const { return m_dropped; }
    void resetCounters();

    static quint16 crc16(const char *data, qsizetype size);
    static QByteArray withCrc(QByteArray body);
    static bool hasValidCrc(const QByteArray &frame);

    static QByteArray probeAnswer(quint8 address, quint16 value);
    static QByteArray temperatureAnswer(quint8 address, qint16 first, qint16 second);
    static QByteArray exceptionAnswer(quint8 address, quint8 function, quint8 code);

private:
    Exchange answer(const QByteArray &request);

    std::map<quint8, SimulatedDevice> m_devices;
    QByteArray m_input;
    std::array<quint64, 256> m_requests{};
    quint64 m_dropped = 0;
};
