#include "testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QSettings>
#include <QSystemTrayIcon>

TemporaryProfile::TemporaryProfile() : m_oldHome(qgetenv("HOME")), m_oldConfigHome(qgetenv("XDG_CONFIG_HOME"))
{
    QDir().mkpath(home());
    QDir().mkpath(configHome());
    qputenv("HOME", home().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", configHome().toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configHome());
}

TemporaryProfile::~TemporaryProfile()
{
    qputenv("HOME", m_oldHome);
    qputenv("XDG_CONFIG_HOME", m_oldConfigHome);
}

void TemporaryProfile::writeSettings(const QVariantMap& values) const
{
    QSettings store(QStringLiteral("Kelmora"), QStringLiteral("Tarvix"));
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        store.setValue(it.key(), it.value());
}

QVariant TemporaryProfile::storedValue(const QString& key) const
{
    QSettings store(QStringLiteral("Kelmora"), QStringLiteral("Tarvix"));
    return store.value(key);
}

DialogAnswerer::DialogAnswerer(QMessageBox::StandardButton answer) : m_answer(answer)
{
    startTimer(20);
}

QStringList DialogAnswerer::texts() const
{
    QStringList result;
    for (const Seen& box : seen)
        result << box.text;
    return result;
}

void DialogAnswerer::timerEvent(QTimerEvent*)
{
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget* widget : widgets) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (!box || !box->isVisible() || m_answered.contains(box) || m_answer == QMessageBox::NoButton)
            continue;
        seen.append(Seen {box->windowTitle(), box->text(), box->standardButtons()});
        m_answered.append(box);
        if (QAbstractButton* target = box->button(m_answer))
            target->click();
        else
            box->done(m_answer);
    }
}

UrlCatcher::UrlCatcher()
{
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "openUrl");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
}

UrlCatcher::~UrlCatcher()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

bool haveSystemTray(QString* whyNot)
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        return true;
    *whyNot = QStringLiteral("no system tray on display '%1' (run the tests through scripts/test)")
                  .arg(qEnvironmentVariable("DISPLAY"));
    return false;
}

namespace {

// Without any display the tray tests would abort in QApplication; offscreen they skip with a
// clear message instead (and fail where CI demands a tray).
const bool offscreenWithoutDisplay = [] {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
}();

} // namespace
