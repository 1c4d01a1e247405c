#pragma once

#include <QByteArray>
#include <QString>

class QTextCodec;

// Qt 6 reads every source text as UTF-8, so the CP-1251 codec is kept for the
// one place 8-bit Cyrillic still reaches us: files written by Windows stations.
// Without Qt's legacy codecs (the cross-built Windows Qt) there is nothing to install.
void installStationCodec();
#if GRELVIX_HAVE_CORE5COMPAT
QTextCodec *stationCodec();
#endif

// Text of a station file: UTF-8 when the bytes are valid UTF-8, else CP-1251.
QString decodeStationText(const QByteArray &bytes);
