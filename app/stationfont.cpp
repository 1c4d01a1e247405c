#include "stationfont.h"

#include <QApplication>
#include <QFontDatabase>

void applyStationFont()
{
#ifndef Q_OS_WIN
    const QString family = QStringLiteral("Liberation Sans");
    if (QFontDatabase::hasFamily(family)) {
        QFont font = QApplication::font();
        font.setFamily(family);
        QApplication::setFont(font);
    }
#endif
}
