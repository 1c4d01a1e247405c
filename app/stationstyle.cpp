#include "stationstyle.h"

#include <QApplication>
#include <QProxyStyle>

#include <cstring>

namespace {
// Windows' own style draws no sunken panel around status bar items; Qt's older one does, and
// at the window's right edge, where the answer rate stands, that panel was cut off.
class StationStyle : public QProxyStyle
{
public:
    StationStyle()
        : QProxyStyle(QStringLiteral("Windows"))
    {}

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        if (element != PE_FrameStatusBarItem)
            QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
};
} // namespace

bool styleChosenByOperator(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsEmpty("QT_STYLE_OVERRIDE"))
        return true;
    for (int i = 1; i < argc; ++i) {
        // Qt takes both -style and --style.
        const char *option = argv[i][0] == '-' && argv[i][1] == '-' ? argv[i] + 1 : argv[i];
        if (std::strncmp(option, "-style=", 7) == 0 ||
            (std::strcmp(option, "-style") == 0 && i + 1 < argc))
            return true;
    }
    return false;
}

void applyStationStyle()
{
#ifndef Q_OS_WIN
    QApplication::setStyle(new StationStyle);
#endif
}
