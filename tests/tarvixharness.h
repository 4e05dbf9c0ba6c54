#pragma once

// What the tests that run the real main object against the simulated Nagios server share: the
// running program with its own profile, and ways to see what it logged, showed and played.

#include "app/resourcepaths.h"
#include "app/tarvix.h"
#include "notify/soundplayer.h"
#include "tarvixaccess.h"
#include "testsupport.h"
#include "tools/nagiossimulator.h"

#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

// The main object's own log lines ("announce kind ...", "flash down", "entry added ...",
// "error state: ..."), in order. One recorder at a time: the message handler is global.
class LogRecorder
{
public:
    LogRecorder()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("tarvix.*.info=true"));
        s_current = this;
        m_previous = qInstallMessageHandler(&LogRecorder::handle);
    }
    ~LogRecorder()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    LogRecorder(const LogRecorder&) = delete;
    LogRecorder& operator=(const LogRecorder&) = delete;

    // The lines that begin with `prefix`.
    QStringList lines(const QString& prefix = {}) const
    {
        QStringList result;
        for (const QString& line : m_lines) {
            if (line.startsWith(prefix))
                result << line;
        }
        return result;
    }
    // Announcements and flash requests, the order the change detection promises.
    QStringList events() const
    {
        QStringList result;
        for (const QString& line : m_lines) {
            if (line.startsWith(QLatin1String("announce ")) || line.startsWith(QLatin1String("flash ")))
                result << line;
        }
        return result;
    }
    void clear() { m_lines.clear(); }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        const bool ours = context.category && qstrncmp(context.category, "tarvix.", 7) == 0;
        if (ours && s_current)
            s_current->m_lines << message;
        const bool problem = type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg;
        if ((!ours || problem) && s_current && s_current->m_previous)
            s_current->m_previous(type, context, message);
    }

    inline static LogRecorder* s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    QStringList m_lines;
};

// Sounds as file paths; a test machine has no audio device.
class RecordingSoundPlayer : public SoundPlayer
{
public:
    explicit RecordingSoundPlayer(std::shared_ptr<QStringList> played) : m_played(std::move(played)) { }
    void play(const QString& filePath) override { m_played->append(filePath); }

private:
    std::shared_ptr<QStringList> m_played;
};

// The X11 tray shows its messages in Qt's own balloon widget; every one that is shown is
// recorded here with its title and text.
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
    // The balloon on screen now, if any.
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
            auto* widget = static_cast<QWidget*>(watched);
            Balloon balloon;
            balloon.widget = widget;
            // The title is the bold label.
            const QList<QLabel*> labels = widget->findChildren<QLabel*>();
            for (QLabel* label : labels) {
                if (label->text().isEmpty())
                    continue;
                if (label->font().bold())
                    balloon.title = label->text();
                else
                    balloon.message = label->text();
            }
            balloons << balloon;
        }
        return QObject::eventFilter(watched, event);
    }
};

namespace harness {

inline const QString server = QStringLiteral("127.0.0.1");

// Returned by runApplication when the program did not end by itself.
constexpr int loopTimedOut = -1000;
constexpr int loopConditionMet = -1001;

// Runs the application's own event loop, as main() does, until the program ends it (its exit
// status is returned), `done` holds, or the time is up. QCoreApplication::quit() only ends the
// application's loop, and exit() leaves every later nested loop returning at once until the
// application's loop has run: a plain QEventLoop would serve neither.
inline int runApplication(int timeoutMs, const std::function<bool()>& done = {})
{
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(loopTimedOut); });
    guard.start(timeoutMs);
    QTimer check;
    if (done) {
        QObject::connect(&check, &QTimer::timeout, qApp, [&done] {
            if (done())
                QCoreApplication::exit(loopConditionMet);
        });
        check.start(10);
    }
    return QCoreApplication::exec();
}

inline QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(QSize(16, 16)).toImage().convertToFormat(QImage::Format_ARGB32);
}

inline bool showsIcon(const QSystemTrayIcon& tray, const QString& path)
{
    return iconImage(tray.icon()) == iconImage(QIcon(path));
}

// Texts of a menu's actions with separators as "-", the menu's own order.
inline QStringList actionTexts(const QMenu& menu)
{
    QStringList texts;
    const QList<QAction*> actions = menu.actions();
    for (const QAction* action : actions)
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

// The visible top-level widgets of a class, in creation order.
inline QList<QWidget*> topLevelsOfClass(const char* className)
{
    QList<QWidget*> result;
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget* widget : widgets) {
        if (widget->isVisible() && qstrcmp(widget->metaObject()->className(), className) == 0)
            result << widget;
    }
    return result;
}

} // namespace harness

// A simulated server, a profile with settings that point at it, and the main object.
class TarvixRun
{
public:
    TarvixRun() = default;
    ~TarvixRun() { stop(); }
    TarvixRun(const TarvixRun&) = delete;
    TarvixRun& operator=(const TarvixRun&) = delete;

    bool startServer(bool https = false) { return sim.start(https); }

    // Settings of a valid configuration for the simulator, English texts, long period (the tests
    // poll themselves), and every basic status class counted.
    QVariantMap baseSettings() const
    {
        return {
            {QStringLiteral("ServerAddress"), harness::server},
            {QStringLiteral("UseHTTPS"), sim.isHttps()},
            {sim.isHttps() ? QStringLiteral("HTTPSPort") : QStringLiteral("HTTPPort"),
                QString::number(sim.port())},
            {QStringLiteral("RequestPeriod"), 600},
            {QStringLiteral("DisableLocalization"), true},
            {QStringLiteral("UseHostDownStat"), true},
            {QStringLiteral("UseHostUnreachStat"), true},
            {QStringLiteral("UseSrvCritStat"), true},
            {QStringLiteral("UseSrvWarnStat"), true},
            {QStringLiteral("UseSrvUnknStat"), true},
            {QStringLiteral("UseTrayMessages"), true},
            {QStringLiteral("PopupsStayOnTop"), false},
        };
    }

    // Writes the settings (the base ones with `overrides` on top) and constructs the main object,
    // which polls at once when they are valid.
    void start(const QVariantMap& overrides = {})
    {
        QVariantMap values = baseSettings();
        for (auto it = overrides.cbegin(); it != overrides.cend(); ++it)
            values.insert(it.key(), it.value());
        profile.writeSettings(values);
        tarvix = std::make_unique<Tarvix>();
        tarvix->setSoundPlayer(std::make_unique<RecordingSoundPlayer>(sounds));
        access = std::make_unique<TarvixTestAccess>(*tarvix);
    }

    void stop()
    {
        access.reset();
        tarvix.reset();
    }

    // Every queued request has been answered and handled.
    bool waitIdle(int timeoutMs = 10000)
    {
        return QTest::qWaitFor([this] { return access->http()->pendingRequestCount() == 0; }, timeoutMs);
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
    QString serviceUrl(const QString& host, const QString& service) const
    {
        return sim.baseUrl() + QStringLiteral("/nagios/cgi-bin/extinfo.cgi?type=2&host=")
            + QString::fromLatin1(NagiosSimulator::urlEncode(host)) + QStringLiteral("&service=")
            + QString::fromLatin1(NagiosSimulator::urlEncode(service));
    }
    QStringList hostEntries() const { return TarvixTestAccess::entryTexts(access->hostsMenu()); }
    QStringList serviceEntries() const { return TarvixTestAccess::entryTexts(access->servicesMenu()); }
    QStringList toolTipLines() const { return access->trayIcon().toolTip().split(QLatin1Char('\n')); }

    TemporaryProfile profile;
    LogRecorder log;
    NagiosSimulator sim;
    std::shared_ptr<QStringList> sounds = std::make_shared<QStringList>();
    std::unique_ptr<Tarvix> tarvix;
    std::unique_ptr<TarvixTestAccess> access;
};
