#include "loopbackname.h"

bool isLoopbackName(const QString &host)
{
    QString name = host.endsWith(QLatin1Char('.')) ? host.chopped(1) : host;
    // DNS folds ASCII case only: Unicode folding would take "localhoſt" for "localhost".
    for (QChar c : std::as_const(name)) {
        if (c.unicode() > 0x7f)
            return false;
    }
    name = name.toLower();
    return name == QLatin1String("localhost") || name.endsWith(QLatin1String(".localhost"));
}
