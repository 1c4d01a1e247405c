#pragma once

#include <QByteArray>
#include <QString>

// Modbus RTU as the measuring devices speak it: function 3 only, CRC-16/MODBUS low byte first.
namespace Modbus {

constexpr quint8 ReadHoldingRegisters = 0x03;
constexpr int TemperatureAnswerSize = 9;

// CRC-16/MODBUS (init 0xFFFF, reflected polynomial 0xA001). A null pointer gives 0.
quint16 crc16(const quint8 *data, qsizetype length);
quint16 crc16(const QByteArray &bytes);

// The frame with its check appended, low byte first.
QByteArray withCrc(const QByteArray &body);
// At least four bytes and the last two are the check of the rest.
bool hasValidCrc(const QByteArray &frame);
bool hasValidCrc(const char *frame, qsizetype size);

// Request bodies (without check): the presence probe reads register 0, the poll registers 1-2.
QByteArray probeRequest(quint8 address);
QByteArray temperatureRequest(quint8 address);

// Signed tenths of a degree, most significant byte first; bytes past the end count as 0.
float temperatureAt(const QByteArray &frame, int offset);
// "23.5" for a valid value, "---" otherwise.
QString temperatureText(float celsius);

} // namespace Modbus
