#include "modbus.h"

#include "station.h"

namespace Modbus {

quint16 crc16(const quint8 *data, qsizetype length)
{
    if (!data)
        return 0;
    quint16 crc = 0xFFFF;
    for (qsizetype i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

quint16 crc16(const QByteArray &bytes)
{
    return crc16(reinterpret_cast<const quint8 *>(bytes.constData()), bytes.size());
}

QByteArray withCrc(const QByteArray &body)
{
    const quint16 crc = crc16(body);
    QByteArray frame = body;
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

bool hasValidCrc(const char *frame, qsizetype size)
{
    if (!frame || size < 4)
        return false;
    const qsizetype body = size - 2;
    const quint16 crc = crc16(reinterpret_cast<const quint8 *>(frame), body);
    return quint8(frame[body]) == (crc & 0xFF) && quint8(frame[body + 1]) == (crc >> 8);
}

bool hasValidCrc(const QByteArray &frame)
{
    return hasValidCrc(frame.constData(), frame.size());
}

static QByteArray readRequest(quint8 address, quint16 first, quint16 count)
{
    const char body[] = {char(address),      char(ReadHoldingRegisters), char(first >> 8),
                         char(first & 0xFF), char(count >> 8),           char(count & 0xFF)};
    return QByteArray(body, sizeof(body));
}

QByteArray probeRequest(quint8 address)
{
    return readRequest(address, 0, 1);
}

QByteArray temperatureRequest(quint8 address)
{
    return readRequest(address, 1, 2);
}

float temperatureAt(const QByteArray &frame, int offset)
{
    auto byteAt = [&frame](int i) -> quint8 {
        return (i >= 0 && i < frame.size()) ? quint8(frame[i]) : 0;
    };
    const qint16 raw = qint16(quint16(byteAt(offset) << 8 | byteAt(offset + 1)));
    return float(raw) / 10.0f;
}

QString temperatureText(float celsius)
{
    if (!Station::isValidTemperature(celsius))
        return QStringLiteral("---");
    return QString::number(double(celsius), 'f', 1);
}

} // namespace Modbus
