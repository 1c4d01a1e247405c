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
    return atEnd() ? QString() : tokens.at(next++);
}

int ConfigTokens::integer()
{
    return text().trimmed().toInt();
}

float ConfigTokens::real()
{
    return text().trimmed().toFloat();
}
