#pragma once

#include <QByteArray>
#include <QString>

// Text of a station file: UTF-8 when the bytes are valid UTF-8, else CP-1251, the code page
// Windows stations write in.
QString decodeStationText(const QByteArray &bytes);
