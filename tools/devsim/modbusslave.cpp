#include "modbusslave.h"

namespace {

quint8 byteAt(const QByteArray &bytes, qsizetype i)
{
    return static_cast<quint8>(bytes.at(i));
}

void appendWord(QByteArray &bytes, quint16 word)
{
    bytes.append(static_cast<char>(word >> 8));
    bytes.append(static_cast<char>(word & 0xFF));
}

} // namespace

SimulatedDevice *ModbusSlave::addDevice(quint8 address)
{
    if (address == 0)
        return nullptr;
    return &m_devices.try_emplace(address, address).first->second;
}

bool ModbusSlave::removeDevice(quint8 address)
{
    return m_devices.erase(address) > 0;
}

SimulatedDevice *ModbusSlave::device(quint8 address)
{
    const auto it = m_devices.find(address);
    return it == m_devices.end() ? nullptr : &it->second;
}

const SimulatedDevice *ModbusSlave::device(quint8 address) const
{
    const auto it = m_devices.find(address);
    return it == m_devices.end() ? nullptr : &it->second;
}

QList<quint8> ModbusSlave::addresses() const
{
    QList<quint8> result;
    result.reserve(static_cast<qsizetype>(m_devices.size()));
    for (const auto &entry : m_devices)
        result.append(entry.first);
    return result;
}

QList<ModbusSlave::Exchange> ModbusSlave::receive(const QByteArray &bytes)
{
    m_input.append(bytes);
    QList<Exchange> exchanges;
    qsizetype start = 0;
    while (m_input.size() - start >= requestSize) {
        const QByteArray candidate = m_input.mid(start, requestSize);
        if (!hasValidCrc(candidate)) {
            ++start;
            ++m_dropped;
            continue;
        }
        start += requestSize;
        const quint8 address = byteAt(candidate, 0);
        ++m_requests[address];
        exchanges.append(answer(candidate));
    }
    m_input.remove(0, start);
    return exchanges;
}

void ModbusSlave::resetCounters()
{
    m_requests.fill(0);
    m_dropped = 0;
}

ModbusSlave::Exchange ModbusSlave::answer(const QByteArray &request)
{
    Exchange exchange;
    exchange.request = request;
    exchange.address = byteAt(request, 0);
    const quint8 function = byteAt(request, 1);
    const quint16 first = static_cast<quint16>(byteAt(request, 2) << 8 | byteAt(request, 3));
    const quint16 count = static_cast<quint16>(byteAt(request, 4) << 8 | byteAt(request, 5));
    if (function == 0x03 && first == 0 && count == 1)
        exchange.kind = ProbeRequest;
    else if (function == 0x03 && first == 1 && count == 2)
        exchange.kind = TemperatureRequest;

    const SimulatedDevice *dev = device(exchange.address);
    if (!dev)
        return exchange;
    const SimulatedDevice::Fault &fault = dev->fault();
    if (fault.kind == SimulatedDevice::Fault::Silent)
        return exchange;

    switch (exchange.kind) {
    case ProbeRequest:
        exchange.answer = probeAnswer(exchange.address, identification);
        break;
    case TemperatureRequest:
        if (fault.kind == SimulatedDevice::Fault::Range)
            exchange.answer =
                temperatureAnswer(exchange.address, SimulatedDevice::toRaw(fault.first),
                                  SimulatedDevice::toRaw(fault.second));
        else
            exchange.answer =
                temperatureAnswer(exchange.address, dev->rawTemperature(0), dev->rawTemperature(1));
        break;
    case OtherRequest:
        exchange.answer = exceptionAnswer(exchange.address, function,
                                          function == 0x03 ? IllegalDataAddress : IllegalFunction);
        break;
    }

    if (fault.kind == SimulatedDevice::Fault::BadCrc)
        exchange.answer[exchange.answer.size() - 1] ^= static_cast<char>(0xFF);
    else if (fault.kind == SimulatedDevice::Fault::Delay)
        exchange.delayMs = fault.ms;
    else if (fault.kind == SimulatedDevice::Fault::Gap)
        exchange.gapMs = fault.ms;
    return exchange;
}

quint16 ModbusSlave::crc16(const char *data, qsizetype size)
{
    quint16 crc = 0xFFFF;
    for (qsizetype i = 0; i < size; ++i) {
        crc ^= static_cast<quint8>(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001)
                            : static_cast<quint16>(crc >> 1);
    }
    return crc;
}

QByteArray ModbusSlave::withCrc(QByteArray body)
{
    const quint16 crc = crc16(body.constData(), body.size());
    body.append(static_cast<char>(crc & 0xFF));
    body.append(static_cast<char>(crc >> 8));
    return body;
}

bool ModbusSlave::hasValidCrc(const QByteArray &frame)
{
    if (frame.size() < 3)
        return false;
    const qsizetype body = frame.size() - 2;
    const quint16 crc = crc16(frame.constData(), body);
    return byteAt(frame, body) == (crc & 0xFF) && byteAt(frame, body + 1) == (crc >> 8);
}

QByteArray ModbusSlave::probeAnswer(quint8 address, quint16 value)
{
    QByteArray body;
    body.append(static_cast<char>(address));
    body.append('\x03');
    body.append('\x02');
    appendWord(body, value);
    return withCrc(body);
}

QByteArray ModbusSlave::temperatureAnswer(quint8 address, qint16 first, qint16 second)
{
    QByteArray body;
    body.append(static_cast<char>(address));
    body.append('\x03');
    body.append('\x04');
    appendWord(body, static_cast<quint16>(first));
    appendWord(body, static_cast<quint16>(second));
    return withCrc(body);
}

QByteArray ModbusSlave::exceptionAnswer(quint8 address, quint8 function, quint8 code)
{
    QByteArray body;
    body.append(static_cast<char>(address));
    body.append(static_cast<char>(function | 0x80));
    body.append(static_cast<char>(code));
    return withCrc(body);
}
