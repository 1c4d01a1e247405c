#pragma once

#include <QString>
#include <QStringList>

// The values of Monitor.ini in file order. The file has no quoting, so values are split at
// tabs, which keeps empty names and paths with blanks intact; a file without any tab (edited by
// hand) is split at white space. Past the end every value reads as empty text or 0.
class ConfigTokens
{
public:
    explicit ConfigTokens(const QString &content);

    bool atEnd() const { return next >= tokens.size(); }
    QString text();
    int integer();
    float real();
    // Every value read so far was there and, for numbers, a number.
    bool intact() const { return !damaged; }

private:
    QStringList tokens;
    qsizetype next = 0;
    bool damaged = false;
};
