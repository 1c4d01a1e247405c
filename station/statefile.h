#pragma once

#include <QString>

// What the station keeps of itself beside Monitor.ini, in Grelvix.state: whether it records.
// Monitor.ini is written only at an orderly end and its format is fixed; a station that is killed
// or loses power must still know at its next start that it was recording. Lines of "key=value";
// lines starting with "#" and keys a station does not know are skipped.
class StateFile
{
public:
    static QString fileName() { return QStringLiteral("Grelvix.state"); }

    // False without a file, or with one that does not say "recording=on"; a file that is there
    // but cannot be read is reported.
    static bool readRecording(const QString &path = fileName());
    // Replaces the file whole, or leaves the one before; false, reported, when it could not.
    static bool save(bool recording, const QString &path = fileName());
};
