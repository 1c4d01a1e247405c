// Loaded into the station by the soak (QT_QPA_GENERIC_PLUGINS=grelvixsoakhook): presses the
// recording button once the port is open, as the operator does; the station has no other way
// to start recording.
#include <QAbstractButton>
#include <QApplication>
#include <QGenericPlugin>
#include <QTimer>
#include <QWidget>

namespace {
// True once recording is on.
bool pressStartLog()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        auto *button = window->objectName() == QLatin1String("Velunor")
                           ? window->findChild<QAbstractButton *>(QStringLiteral("StartLog"))
                           : nullptr;
        if (!button)
            continue;
        if (button->isEnabled() && !button->isChecked())
            button->click();
        return button->isChecked();
    }
    return false;
}
} // namespace

class RecordingHook : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "recordinghook.json")

public:
    QObject *create(const QString &, const QString &) override
    {
        auto *timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, timer, [timer] {
            if (pressStartLog())
                timer->stop();
        });
        timer->start(200);
        return timer;
    }
};

#include "recordinghook.moc"
