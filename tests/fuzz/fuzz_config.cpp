// Any bytes as Monitor.ini: applying them must not crash, hang or overflow a table.
#include "settings.h"
#include "soundoutput.h"
#include "velunor.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

namespace {
QApplication *application = nullptr;
Velunor *station = nullptr;

// The fuzzer chooses sound paths too; nothing of them is played.
class SilentSound : public SoundOutput
{
public:
    explicit SilentSound(const QString &path)
        : path(path)
    {}
    void setLoops(int) override {}
    void play() override {}
    void stop() override {}
    bool isPlaying() const override { return false; }
    QString source() const override { return path; }

private:
    QString path;
};
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.debug=false;*.warning=false");
    // Kept for the life of the process: destroying Qt from exit() leaves it half torn down.
    application = new QApplication(*argc, *argv);
    static QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    setSoundOutputFactory([](const QString &path) { return std::make_unique<SilentSound>(path); });
    station = new Velunor;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Velunor &w = *station;
    w.ApplyConfiguration(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (w.DeviceCount < 0 || w.DeviceCount > 256)
        __builtin_trap();
    return 0;
}
