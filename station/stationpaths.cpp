#include "stationpaths.h"

#include <QDir>

QString defaultLogDirectory()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\");
#else
    return QDir::homePath() + QLatin1Char('/');
#endif
}

QString defaultWorkingDirectory()
{
#ifdef Q_OS_WIN
    return QStringLiteral("c:\\");
#else
    return QDir::homePath() + QLatin1Char('/');
#endif
}
