#include "app/tooltiptext.h"

#include "config/monitorsettings.h"

#include <QCoreApplication>
#include <QPoint>
#include <QSize>

namespace {

QString trTarvix(const char* text)
{
    return QCoreApplication::translate("Tarvix", text);
}

const QString timeFormat = QStringLiteral("hh:mm:ss dd.MM.yyyy");

QString staleLines(const ToolTipState& state)
{
    QString lines;
    if (state.hostsStaleSince.isValid())
        lines += QLatin1Char('\n')
            + trTarvix(QT_TRANSLATE_NOOP("Tarvix", "The list of down hosts is stale since %1"))
                  .arg(state.hostsStaleSince.toString(timeFormat));
    if (state.servicesStaleSince.isValid())
        lines += QLatin1Char('\n')
            + trTarvix(QT_TRANSLATE_NOOP("Tarvix", "The list of problem services is stale since %1"))
                  .arg(state.servicesStaleSince.toString(timeFormat));
    return lines;
}

} // namespace

QString trayToolTipText(
    const ToolTipState& state, bool messageMode, const QString& message, const QDateTime& now)
{
    QString text = programName;
    if (!state.serverAddress.isEmpty())
        text += QStringLiteral(" (") + state.scheme + state.serverAddress + QLatin1Char(':')
            + state.serverPort + QLatin1Char(')');

    if (messageMode) {
        if (!message.isEmpty())
            text += QLatin1Char('\n') + message;
        else
            text += trTarvix(QT_TRANSLATE_NOOP("Tarvix", "\nExpected to obtain information..."));
        return text + staleLines(state);
    }

    if (!state.hostsMonitoring)
        text += trTarvix(QT_TRANSLATE_NOOP("Tarvix", "\nMonitoring hosts disabled"));
    else if (state.hostsDown > 0)
        text += trTarvix(QT_TRANSLATE_NOOP("Tarvix", "\nHosts down count: "))
            + QString::number(state.hostsDown);

    if (!state.servicesMonitoring)
        text += trTarvix(QT_TRANSLATE_NOOP("Tarvix", "\nMonitoring service is disabled"));
    else if (state.servicesWithProblems > 0)
        text += trTarvix(QT_TRANSLATE_NOOP("Tarvix", "\nProblem services: "))
            + QString::number(state.servicesWithProblems);

    text += trTarvix(QT_TRANSLATE_NOOP("Tarvix", "\nData obtained: ")) + now.toString(timeFormat);
    return text + staleLines(state);
}

QString serversToolTipText(const QList<ServerToolTip>& servers, const QString& message)
{
    QString text = programName;
    if (!message.isEmpty())
        text += QLatin1Char('\n') + message;
    for (const ServerToolTip& server : servers) {
        text += QLatin1Char('\n') + server.name + QStringLiteral(": ");
        if (!server.error.isEmpty()) {
            text += QString(server.error).replace(QLatin1Char('\n'), QLatin1Char(' ')).simplified();
            if (server.failingSince.isValid())
                text += QLatin1Char(' ')
                    + trTarvix(QT_TRANSLATE_NOOP("Tarvix", "(since %1)"))
                          .arg(server.failingSince.toString(timeFormat));
            continue;
        }
        QStringList counts;
        if (server.hostsMonitoring)
            counts << trTarvix(QT_TRANSLATE_NOOP("Tarvix", "hosts down: %1")).arg(server.hostsDown);
        if (server.servicesMonitoring)
            counts << trTarvix(QT_TRANSLATE_NOOP("Tarvix", "problem services: %1"))
                          .arg(server.servicesWithProblems);
        if (counts.isEmpty())
            counts << trTarvix(QT_TRANSLATE_NOOP("Tarvix", "monitoring disabled"));
        if (server.lastData.isValid())
            counts << trTarvix(QT_TRANSLATE_NOOP("Tarvix", "data of %1"))
                          .arg(server.lastData.toString(timeFormat));
        else
            counts << trTarvix(QT_TRANSLATE_NOOP("Tarvix", "no data yet"));
        text += counts.join(QStringLiteral(", "));
    }
    return text;
}

QPoint trayMenuPosition(QPoint cursor, QSize menuSize, QSize screenSize)
{
    int x = cursor.x();
    int y = cursor.y();
    if (x + menuSize.width() > screenSize.width()) {
        x -= menuSize.width();
        if (x < 0)
            x = 0;
    }
    if (y + menuSize.height() > screenSize.height())
        y -= menuSize.height();
    return {x, y};
}
