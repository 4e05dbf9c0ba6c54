#pragma once

// The real main object against the simulated Nagios server, with what it showed and played.

#include "app/resourcepaths.h"
#include "app/tarvix.h"
#include "notify/soundplayer.h"
#include "tools/tarvixaccess.h"
#include "testsupport.h"
#include "tools/nagiossimulator.h"

#include <QApplication>
#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

// A test machine has no audio device.
class RecordingSoundPlayer : public SoundPlayer
{
public:
    explicit RecordingSoundPlayer(std::shared_ptr<QStringList> played) : m_played(std::move(played)) { }
    void play(const QString& filePath) override { m_played->append(filePath); }

private:
    std::shared_ptr<QStringList> m_played;
};

// Every balloon of Qt's X11 tray as it is shown; the title is the bold label.
class BalloonWatcher : public QObject
{
public:
    struct Balloon
    {
        QString title;
        QString message;
        QPointer<QWidget> widget;
    };

    BalloonWatcher() { qApp->installEventFilter(this); }
    ~BalloonWatcher() override { qApp->removeEventFilter(this); }

    QList<Balloon> balloons;

    QStringList titles() const
    {
        QStringList result;
        for (const Balloon& balloon : balloons)
            result << balloon.title;
        return result;
    }
    QWidget* visible() const
    {
        for (const Balloon& balloon : balloons) {
            if (balloon.widget && balloon.widget->isVisible())
                return balloon.widget;
        }
        return nullptr;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()
            && qstrcmp(watched->metaObject()->className(), "QBalloonTip") == 0) {
            Balloon balloon {{}, {}, static_cast<QWidget*>(watched)};
            const QList<QLabel*> labels = balloon.widget->findChildren<QLabel*>();
            for (QLabel* label : labels) {
                if (!label->text().isEmpty())
                    (label->font().bold() ? balloon.title : balloon.message) = label->text();
            }
            balloons << balloon;
        }
        return QObject::eventFilter(watched, event);
    }
};

namespace harness {

constexpr int loopTimedOut = -1000;
constexpr int loopConditionMet = -1001;

// Runs the application's own loop, as main() does, until the program ends it (its status is
// returned), `done` holds or the time is up. The program quits the application's loop, so a plain
// QEventLoop would not end.
inline int runApplication(int timeoutMs, const std::function<bool()>& done = {})
{
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(loopTimedOut); });
    guard.start(timeoutMs);
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, qApp, [&done] {
        if (done && done())
            QCoreApplication::exit(loopConditionMet);
    });
    check.start(10);
    return QCoreApplication::exec();
}

inline QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(QSize(16, 16)).toImage().convertToFormat(QImage::Format_ARGB32);
}

// The icon of this resource, which must be there.
inline bool showsIcon(const QSystemTrayIcon& tray, const QString& path)
{
    return !QImage(path).isNull() && iconImage(tray.icon()) == iconImage(QIcon(path));
}

// Sets line edits' texts and buttons' check states, found by object name.
inline bool setWidgets(QWidget& window, const QVariantMap& values)
{
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (auto* edit = window.findChild<QLineEdit*>(it.key()))
            edit->setText(it.value().toString());
        else if (auto* button = window.findChild<QAbstractButton*>(it.key()))
            button->setChecked(it.value().toBool());
        else
            return false;
    }
    return true;
}

inline QList<QWidget*> popups()
{
    QList<QWidget*> result;
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget* widget : widgets) {
        if (widget->isVisible() && qstrcmp(widget->metaObject()->className(), "InformationWindow") == 0)
            result << widget;
    }
    return result;
}

// A popup's name as its link shows it, and whether it tells of a recovery.
inline QString popupName(const QWidget* popup)
{
    const QString link = popup->findChild<QLabel*>(QStringLiteral("lbHostLink"))->text();
    return link.section(QLatin1Char('>'), 1).section(QLatin1Char('<'), 0, 0);
}
inline bool isRecoveryPopup(const QWidget* popup)
{
    return popup->findChild<QLabel*>(QStringLiteral("lbStatus"))
        ->text()
        .endsWith(QLatin1String(" Up"), Qt::CaseInsensitive);
}

// The shown dialog of this class, or none.
template <class Dialog> Dialog* shownDialog()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<Dialog*>(window); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

// Types a command dialog's comment and confirms it.
inline void confirmDialog(QWidget* dialog, const QString& comment)
{
    dialog->findChild<QLineEdit*>(QStringLiteral("edComment"))->setText(comment);
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
}

// The keys of a first server "prod" and a second one "lab" (id lab7) at this simulator.
inline QVariantMap secondServer(const NagiosSimulator& sim)
{
    return {{"Name", "prod"}, {"Servers/lab7/Name", "lab"}, {"Servers/lab7/ServerAddress", "127.0.0.1"},
        {"Servers/lab7/HTTPPort", QString::number(sim.port())}, {"Servers/lab7/UseSrvWarnStat", true},
        {"Servers/Order", "default,lab7"}};
}

} // namespace harness

// A simulated server, a profile whose settings point at it, and the main object.
class TarvixRun
{
public:
    explicit TarvixRun(bool https = false) { sim.start(https); }
    ~TarvixRun() { stop(); }
    TarvixRun(const TarvixRun&) = delete;
    TarvixRun& operator=(const TarvixRun&) = delete;

    // A valid configuration with every status class; the tests poll themselves. False when the
    // server did not start (sim.errorString() says why).
    bool start(const QVariantMap& overrides = {})
    {
        if (!sim.isListening())
            return false;
        QVariantMap values {
            {"ServerAddress", "127.0.0.1"},
            {"UseHTTPS", sim.isHttps()},
            {sim.isHttps() ? QStringLiteral("HTTPSPort") : QStringLiteral("HTTPPort"),
                QString::number(sim.port())},
            {"RequestPeriod", 600},
            {"DisableLocalization", true},
            {"UseHostDownStat", true},
            {"UseHostUnreachStat", true},
            {"UseSrvCritStat", true},
            {"UseSrvWarnStat", true},
            {"UseSrvUnknStat", true},
            {"UseTrayMessages", true},
            {"PopupsStayOnTop", false},
        };
        values.insert(overrides);
        profile.writeSettings(values);
        construct();
        return true;
    }
    // Started, and the first poll answered.
    bool startAndWait(const QVariantMap& overrides = {}) { return start(overrides) && waitIdle(); }

    // The main object as a start with the stored settings makes it.
    void construct()
    {
        tarvix = std::make_unique<Tarvix>();
        tarvix->setSoundPlayer(std::make_unique<RecordingSoundPlayer>(sounds));
        access = std::make_unique<TarvixTestAccess>(*tarvix);
    }

    void stop()
    {
        access.reset();
        tarvix.reset();
    }

    bool waitIdle()
    {
        return QTest::qWaitFor(
            [this] {
                for (ServerLink* link : tarvix->serverLinks()) {
                    if (link->pendingRequests() > 0)
                        return false;
                }
                return true;
            },
            10000);
    }
    bool pollAndWait()
    {
        access->poll();
        return waitIdle();
    }

    QString hostUrl(const QString& host) const
    {
        return sim.baseUrl() + QStringLiteral("/nagios/cgi-bin/extinfo.cgi?type=1&host=")
            + QString::fromLatin1(NagiosSimulator::urlEncode(host));
    }
    QStringList hostEntries() const { return TarvixTestAccess::entryTexts(access->hostsMenu()); }
    QStringList serviceEntries() const { return TarvixTestAccess::entryTexts(access->servicesMenu()); }
    QString toolTip() const { return access->trayIcon().toolTip(); }

    TemporaryProfile profile;
    NagiosSimulator sim;
    std::shared_ptr<QStringList> sounds = std::make_shared<QStringList>();
    std::unique_ptr<Tarvix> tarvix;
    std::unique_ptr<TarvixTestAccess> access;
};
