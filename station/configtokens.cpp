#include "configtokens.h"

#include <QRegularExpression>

ConfigTokens::ConfigTokens(const QString &content)
{
    if (content.contains(QLatin1Char('\t'))) {
        tokens = content.split(QLatin1Char('\t'));
        // Only a line break may follow the last tab.
        if (tokens.last().trimmed().isEmpty())
            tokens.removeLast();
        for (QString &token : tokens)
            token.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    } else {
        static const QRegularExpression blanks(QStringLiteral("\\s+"));
        tokens = content.split(blanks, Qt::SkipEmptyParts);
    }
}

QString ConfigTokens::text()
{
    if (atEnd()) {
        damaged = true;
        return QString();
    }
    return tokens.at(next++);
}

int ConfigTokens::integer()
{
    bool ok = false;
    const int value = text().trimmed().toInt(&ok);
    damaged = damaged || !ok;
    return value;
}

float ConfigTokens::real()
{
    bool ok = false;
    const float value = text().trimmed().toFloat(&ok);
    damaged = damaged || !ok;
    return value;
}
