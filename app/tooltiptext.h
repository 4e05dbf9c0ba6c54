#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// What the tray tooltip shows; the numbers are the entries of the two problem menus.
struct ToolTipState
{
    QString serverAddress;
    QString scheme;
    QString serverPort;
    bool hostsMonitoring = true;
    int hostsDown = 0;
    bool servicesMonitoring = true;
    int servicesWithProblems = 0;
    // Lists whose answers fail: the time of their last good data, invalid for a list that is fine.
    QDateTime hostsStaleSince;
    QDateTime servicesStaleSince;
};

// Message mode shows the server line and the message (or "Expected to obtain information...");
// summary mode the counts and the time of the data. Both end with a line for each stale list.
QString trayToolTipText(const ToolTipState& state, bool messageMode, const QString& message,
    const QDateTime& now = QDateTime::currentDateTime());

// One server's line when there are several.
struct ServerToolTip
{
    QString name;
    bool hostsMonitoring = true;
    bool servicesMonitoring = true;
    int hostsDown = 0;
    int servicesWithProblems = 0;
    QDateTime lastData; // invalid: nothing taken yet
    QString error; // the error state's text; empty while the server answers
    QDateTime failingSince; // the oldest stale list's last good data
};

// "Tarvix", the message when there is one, then a line per server: its name and counts and the
// time of its data, or, while it fails, its error and since when.
QString serversToolTipText(const QList<ServerToolTip>& servers, const QString& message);

// Where a menu opened at the cursor goes so that it stays on a screen of the given size.
QPoint trayMenuPosition(QPoint cursor, QSize menuSize, QSize screenSize);
