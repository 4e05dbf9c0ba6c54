#pragma once

#include <QDateTime>
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

// Where a menu opened at the cursor goes so that it stays on a screen of the given size.
QPoint trayMenuPosition(QPoint cursor, QSize menuSize, QSize screenSize);
