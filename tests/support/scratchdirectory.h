#pragma once

// A test's own empty working directory for as long as it lives: the station keeps Monitor.ini
// and its other files in the current directory.

#include <QDir>
#include <QTemporaryDir>

class ScratchDirectory
{
public:
    ScratchDirectory()
        : previousDir(QDir::currentPath())
    {
        QDir::setCurrent(workDir.path());
    }
    ~ScratchDirectory() { QDir::setCurrent(previousDir); }
    ScratchDirectory(const ScratchDirectory &) = delete;
    ScratchDirectory &operator=(const ScratchDirectory &) = delete;

    QString path(const QString &name) const { return workDir.filePath(name); }

private:
    QTemporaryDir workDir;
    QString previousDir;
};
