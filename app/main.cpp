#include "app/tarvix.h"

#include <QApplication>
#include <QStyleFactory>

// Absolute window positions (the popup cascade, the menu placement) only work through XWayland.
static void preferXcbOnWayland()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

int main(int argc, char* argv[])
{
    preferXcbOnWayland();
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    // Set after the application has read its arguments, so a -style option has no effect.
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    int result = 0;
    {
        Tarvix tarvix;
        result = app.exec();
    }
    return result;
}
