#include "linkstatusbar.h"

#include "devicelink.h"

#include <QHelpEvent>
#include <QLabel>
#include <QStatusBar>
#include <QToolTip>

namespace {
constexpr int lastSearchAddress = 254;

QString percentText(quint64 part, quint64 whole)
{
    if (whole == 0)
        return QStringLiteral("—");
    return QStringLiteral("%1 %").arg(part * 100 / whole);
}

QString timeText(const QDateTime &at)
{
    if (!at.isValid())
        return LinkStatusBar::tr("нет");
    if (at.date() == QDate::currentDate())
        return at.toString(QStringLiteral("hh:mm:ss"));
    return at.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
}
} // namespace

LinkStatusBar::LinkStatusBar(QStatusBar *statusBar, QWidget *statusIndicator,
                             const DeviceLink &deviceLink)
    : QObject(statusBar)
    , bar(statusBar)
    , indicator(statusIndicator)
    , link(deviceLink)
    , rate(new QLabel(statusBar))
{
    rate->setObjectName(QStringLiteral("linkAnswerRate"));
    // The window has no size grip: keep the text off its edge.
    rate->setContentsMargins(0, 0, 6, 0);
    bar->addPermanentWidget(rate);
    rate->installEventFilter(this);
    indicator->installEventFilter(this);
    showRate(link.health().answerRate());
    connect(&link, &DeviceLink::answerRateChanged, this, &LinkStatusBar::showRate);
    connect(&link, &DeviceLink::deviceAnswered, this, &LinkStatusBar::answered);
    connect(&link, &DeviceLink::deviceFellSilent, this, &LinkStatusBar::reportSilent);
    connect(&link, &DeviceLink::searchStarted, this, &LinkStatusBar::clearOwn);
    connect(&link, &DeviceLink::searchFinished, this, &LinkStatusBar::clearOwn);
    connect(&link, &DeviceLink::searchProgress, this, [this](int address, int found) {
        showOwn(
            tr("Поиск: адрес %1 из %2, найдено %3").arg(address).arg(lastSearchAddress).arg(found));
    });
}

void LinkStatusBar::answered(quint8 address)
{
    if (silentAddress == address)
        clearOwn();
}

void LinkStatusBar::showRate(int percent)
{
    rate->setText(percent < 0 ? tr("Ответы —") : tr("Ответы %1 %").arg(percent));
}

void LinkStatusBar::reportSilent(quint8 address)
{
    showOwn(tr("Нет связи с устройством %1: %2 запрос без ответа (порт %3, %4 бит/с)")
                .arg(address)
                .arg(LinkHealth::SilenceLimit)
                .arg(link.portName())
                .arg(link.speed()));
    silentAddress = address;
}

void LinkStatusBar::showOwn(const QString &message)
{
    const QString current = bar->currentMessage();
    if (ownMessage.isEmpty() || current != ownMessage)
        coveredMessage = current;
    ownMessage = message;
    silentAddress = -1;
    bar->showMessage(message);
}

void LinkStatusBar::clearOwn()
{
    if (!ownMessage.isEmpty() && bar->currentMessage() == ownMessage) {
        if (coveredMessage.isEmpty())
            bar->clearMessage();
        else
            bar->showMessage(coveredMessage);
    }
    ownMessage.clear();
    coveredMessage.clear();
    silentAddress = -1;
}

QString LinkStatusBar::table() const
{
    const LinkHealth &counts = link.health();
    if (counts.devices().isEmpty())
        return tr("Устройства ещё не опрашивались");
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"2\"><tr>");
    for (const QString &heading : {tr("Адрес"), tr("Запросы"), tr("Ответы"), tr("Ошибки проверки"),
                                   tr("Без ответа"), tr("Последний ответ")})
        html += QStringLiteral("<th>%1</th>").arg(heading);
    html += QStringLiteral("</tr>");
    for (const LinkHealth::Device &device : counts.devices()) {
        const QString cells[] = {
            QString::number(device.address),
            QString::number(device.requests),
            percentText(device.answers, device.answers + device.missing),
            QString::number(device.checkFailures),
            QString::number(device.missing),
            timeText(device.lastAnswer),
        };
        html += QStringLiteral("<tr>");
        for (const QString &cell : cells)
            html += QStringLiteral("<td align=\"right\">%1</td>").arg(cell);
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

bool LinkStatusBar::eventFilter(QObject *watched, QEvent *event)
{
    // Built when asked for, so the table is as fresh as the pointer's rest.
    if (event->type() == QEvent::ToolTip && (watched == rate || watched == indicator)) {
        auto *help = static_cast<QHelpEvent *>(event);
        QToolTip::showText(help->globalPos(), table(), static_cast<QWidget *>(watched));
        return true;
    }
    return QObject::eventFilter(watched, event);
}
