#include "textcodecs.h"

#include "cp1251.h"

#include <QStringDecoder>

#if GRELVIX_HAVE_CORE5COMPAT
#include <QTextCodec>

namespace {
QTextCodec *installedCodec = nullptr;
}

void installStationCodec()
{
    installedCodec = QTextCodec::codecForName("CP-1251");
    if (!installedCodec)
        installedCodec = QTextCodec::codecForName("windows-1251");
}

QTextCodec *stationCodec()
{
    if (!installedCodec)
        installStationCodec();
    return installedCodec;
}
#else
void installStationCodec() {}
#endif

QString decodeStationText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return fromCp1251(bytes);
}
