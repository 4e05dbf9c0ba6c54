#include "notify/popupplacement.h"

namespace {

constexpr int cascadeStep = 15;
constexpr int cascadeRestart = 100;
// Room left for a popup with its frame before the bottom and right edges of the screen.
constexpr int bottomReserve = 218;
constexpr int rightReserve = 378;

} // namespace

QPoint nextPopupPosition(QPoint current, QSize screenSize)
{
    // Bottom minus top and right minus left of the screen rectangle.
    const int h = screenSize.height() - 1;
    const int w = screenSize.width() - 1;
    const int y = current.y() < h - bottomReserve ? current.y() + cascadeStep : cascadeRestart;
    const int x = current.x() < w - rightReserve ? current.x() + cascadeStep : cascadeRestart;
    return QPoint(x, y);
}

QString popupLinkText(const QString& url, const QString& name)
{
    // Qt's rich text takes a quoted attribute verbatim up to the closing quote, without decoding
    // entities: "&amp;" would reach the browser as it stands and break every Nagios link. So the
    // address is not entity-escaped; the characters that could close the attribute or open a tag
    // are percent-encoded instead, which the web server reads back as the same characters.
    QString href = url;
    href.replace(QLatin1Char('\''), QLatin1String("%27"));
    href.replace(QLatin1Char('"'), QLatin1String("%22"));
    href.replace(QLatin1Char('<'), QLatin1String("%3C"));
    href.replace(QLatin1Char('>'), QLatin1String("%3E"));
    return QLatin1String("<a href='") + href + QLatin1String("'>") + name.toHtmlEscaped()
        + QLatin1String("</a>");
}
