#include "textcodecs.h"

#include <QStringDecoder>
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

QString decodeStationText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    if (QTextCodec *codec = stationCodec())
        return codec->toUnicode(bytes);
    return QString::fromLatin1(bytes);
}
