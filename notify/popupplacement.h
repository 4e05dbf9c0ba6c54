#pragma once

#include <QPoint>
#include <QSize>
#include <QString>

// Where the next status-change popup opens: 15 pixels down and right of the last one, each
// coordinate restarting at 100 on its own once it would run past the screen. Only the screen's
// width and height bound it; the position is an absolute desktop coordinate.
QPoint nextPopupPosition(QPoint current, QSize screenSize);

// The popup's link to the object's page, as rich text for a QLabel. Both parts come from the
// server's page: the name is escaped, so markup in it shows as text, and the address cannot leave
// its attribute, so the link always leads to the page.
QString popupLinkText(const QString& url, const QString& name);
