#pragma once

#include <QByteArray>
#include <QtGlobal>

// Benchmarks draw off screen unless a platform is named, and keep the station's debug traces
// out of their figures. Call before the application object is made.
inline void prepareHeadlessRun()
{
    qputenv("QT_LOGGING_RULES", "default.debug=false");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}
