// The first start of Tarvix against a large generated site, with the default settings (popups,
// sounds, flashing): what the user gets and what it costs. Prints the popups and sounds of the
// first walks, the time from each answer to a settled tray, the peak memory, how long the menus
// with every entry take to open, and the walk in which every problem recovers, once with the
// services menu open. Needs a display with a system tray (scripts/scale-figures provides one).
//
//     bench_firststart [--hosts N] [--problems N] [--down N]

#include "app/tarvix.h"
#include "monitor/httpclient.h"
#include "notify/soundplayer.h"
#include "tools/tarvixaccess.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QSettings>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <sys/resource.h>
#include <functional>
#include <memory>

namespace {

class CountingSoundPlayer : public SoundPlayer
{
public:
    explicit CountingSoundPlayer(std::shared_ptr<int> count) : m_count(std::move(count)) { }
    void play(const QString&) override { ++*m_count; }

private:
    std::shared_ptr<int> m_count;
};

double msOf(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// User and system time of the process so far.
double cpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

long statusKb(const char* field)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(qstrlen(field))).trimmed().split(' ').first().toLong();
    }
    return -1;
}

QList<QWidget*> popups()
{
    QList<QWidget*> result;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && qstrcmp(widget->metaObject()->className(), "InformationWindow") == 0)
            result << widget;
    }
    return result;
}

bool everyPopupExposed()
{
    for (QWidget* popup : popups()) {
        if (!popup->windowHandle() || !popup->windowHandle()->isExposed())
            return false;
    }
    return true;
}

// Runs the loop until `done` holds at a moment the loop has nothing left to do, or 60 s pass;
// returns the time of that moment on `clock`.
double runUntilSettled(const QElapsedTimer& clock, const std::function<bool()>& done)
{
    double settledAt = -1;
    QEventLoop loop;
    auto* dispatcher = QAbstractEventDispatcher::instance();
    const auto connection = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &loop, [&] {
        if (settledAt < 0 && done()) {
            settledAt = msOf(clock);
            loop.quit();
        }
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    // The loop must wake once at least to see that it would block.
    QTimer::singleShot(0, &loop, [] {});
    loop.exec();
    QObject::disconnect(connection);
    return settledAt;
}

// Shows the menu and returns the milliseconds until it is painted and the loop is idle again.
double openMenuMs(QMenu& menu, const std::function<void()>& open)
{
    struct PaintSpy : QObject
    {
        bool painted = false;
        bool eventFilter(QObject*, QEvent* event) override
        {
            painted = painted || event->type() == QEvent::Paint;
            return false;
        }
    } spy;
    menu.installEventFilter(&spy);
    QElapsedTimer clock;
    clock.start();
    double shownMs = -1;
    // exec() of the tray's own menus returns only when the menu closes: measure from inside.
    QTimer::singleShot(0, &menu, [&] {
        shownMs = runUntilSettled(clock, [&] { return spy.painted; });
        menu.hide();
    });
    open();
    if (shownMs < 0) // popup(), which returns at once
        QCoreApplication::processEvents();
    menu.removeEventFilter(&spy);
    menu.hide();
    return shownMs;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QCommandLineParser parser;
    const QCommandLineOption hostsOption(
        QStringLiteral("hosts"), QStringLiteral("Hosts."), QStringLiteral("N"), QStringLiteral("2000"));
    const QCommandLineOption problemsOption(QStringLiteral("problems"), QStringLiteral("CRITICAL services."),
        QStringLiteral("N"), QStringLiteral("5000"));
    const QCommandLineOption downOption(
        QStringLiteral("down"), QStringLiteral("DOWN hosts."), QStringLiteral("N"), QStringLiteral("100"));
    const QCommandLineOption serversOption(QStringLiteral("servers"),
        QStringLiteral("Servers, each such a site."), QStringLiteral("N"), QStringLiteral("1"));
    parser.addOptions({hostsOption, problemsOption, downOption, serversOption});
    parser.addHelpOption();
    parser.process(app);

    // One simulated site per server, each a process of its own as a real server would be.
    const int serverCount = qBound(1, parser.value(serversOption).toInt(), 50);
    std::vector<std::unique_ptr<QProcess>> simulators;
    QStringList ports;
    for (int n = 0; n < serverCount; ++n) {
        auto simulator = std::make_unique<QProcess>();
        simulator->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        simulator->start(QCoreApplication::applicationDirPath() + QStringLiteral("/tools/tarvix-nagiossim"),
            {QStringLiteral("--hosts"), parser.value(hostsOption), QStringLiteral("--problems"),
                parser.value(problemsOption), QStringLiteral("--down"), parser.value(downOption)});
        if (!simulator->waitForReadyRead(30000)) {
            std::fprintf(stderr, "the simulator did not start\n");
            return 1;
        }
        const QByteArray banner = simulator->readLine();
        ports << QString::fromLatin1(banner.mid(banner.lastIndexOf(':') + 1).trimmed());
        simulators.push_back(std::move(simulator));
    }

    QTemporaryDir profile;
    qputenv("HOME", (profile.path() + QStringLiteral("/home")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (profile.path() + QStringLiteral("/config")).toLocal8Bit());
    QDir().mkpath(profile.path() + QStringLiteral("/home"));
    QSettings::setPath(
        QSettings::NativeFormat, QSettings::UserScope, profile.path() + QStringLiteral("/config"));
    {
        QSettings store(QStringLiteral("Kelmora"), QStringLiteral("Tarvix"));
        store.setValue(QStringLiteral("RequestPeriod"), 600);
        store.setValue(QStringLiteral("DisableLocalization"), true);
        QStringList order;
        for (int n = 0; n < serverCount; ++n) {
            const QString id = n == 0 ? QStringLiteral("default") : QStringLiteral("site%1").arg(n + 1);
            const QString group = n == 0 ? QString() : QStringLiteral("Servers/") + id + QLatin1Char('/');
            store.setValue(group + QStringLiteral("Name"), QStringLiteral("site %1").arg(n + 1));
            store.setValue(group + QStringLiteral("ServerAddress"), QStringLiteral("127.0.0.1"));
            store.setValue(group + QStringLiteral("HTTPPort"), ports.at(n));
            order << id;
        }
        store.setValue(QStringLiteral("Servers/Order"), order.join(QLatin1Char(',')));
    }

    const long baseKb = statusKb("VmHWM:");
    auto sounds = std::make_shared<int>(0);
    Tarvix tarvix;
    tarvix.setSoundPlayer(std::make_unique<CountingSoundPlayer>(sounds));
    TarvixTestAccess access(tarvix);

    // Each list's page is timed from the poll to the moment its changes are in the list.
    QElapsedTimer clock;
    clock.start();
    QStringList walks;
    int pagesLeft = 0;
    for (ServerLink* link : tarvix.serverLinks()) {
        QObject::connect(link, &ServerLink::problemsChanged, &tarvix, [&](StatusList list) {
            walks << QStringLiteral("%1 in at %2 ms")
                         .arg(
                             list == StatusList::Hosts ? QStringLiteral("hosts") : QStringLiteral("services"))
                         .arg(msOf(clock), 0, 'f', 0);
            --pagesLeft;
        });
    }

    const auto pollAndSettle = [&](bool poll) {
        walks.clear();
        *sounds = 0;
        pagesLeft = 2 * int(tarvix.serverLinks().size());
        clock.restart();
        const double cpuBefore = cpuMs();
        if (poll)
            access.poll();
        const double idleAt = runUntilSettled(clock, [&] { return pagesLeft <= 0; });
        const double answerAt = msOf(clock);
        const double settledAt = runUntilSettled(clock, everyPopupExposed);
        int open[4] = {0, 0, 0, 0}; // by ChangeEventKind
        QStringList summaries;
        for (QWidget* popup : popups()) {
            const bool host = popup->findChild<QLabel*>(QStringLiteral("lbObjectName"))
                                  ->text()
                                  .contains(QLatin1String("Host"));
            open[(host ? HostRecovered : ServiceRecovered)
                + (popup->styleSheet().contains(QLatin1String("red")))]
                += 1;
            const QString link = popup->findChild<QLabel*>(QStringLiteral("lbHostLink"))->text();
            if (link.contains(QStringLiteral("…")))
                summaries << link;
        }
        std::printf("  walks: %s\n", qPrintable(walks.join(QStringLiteral(", "))));
        std::printf("  last answer walked and the loop idle at %.0f ms; popups exposed %.0f ms after that; "
                    "CPU %.0f ms\n",
            idleAt, settledAt - answerAt, cpuMs() - cpuBefore);
        std::printf("  popups open: %d host problems, %d service problems, %d host recoveries, %d service "
                    "recoveries; sounds: %d\n",
            open[HostProblem], open[ServiceProblem], open[HostRecovered], open[ServiceRecovered], *sounds);
        for (const QString& summary : std::as_const(summaries))
            std::printf("  summary: %s\n", qPrintable(summary));
        std::printf("  entries: %lld hosts, %lld services\n",
            static_cast<long long>(TarvixTestAccess::entryTexts(access.hostsMenu()).size()),
            static_cast<long long>(TarvixTestAccess::entryTexts(access.servicesMenu()).size()));
        std::printf("  peak memory (VmHWM) %.1f MB, of which %.1f MB before the main object\n",
            statusKb("VmHWM:") / 1024.0, baseKb / 1024.0);
    };

    std::printf("first start against %d server(s), each %s hosts (%s DOWN) with %s CRITICAL services\n",
        serverCount, qPrintable(parser.value(hostsOption)), qPrintable(parser.value(downOption)),
        qPrintable(parser.value(problemsOption)));
    pollAndSettle(false);
    {
        // Between polls nothing should run: the tray idles.
        const double before = cpuMs();
        QEventLoop idle;
        QTimer::singleShot(5000, &idle, &QEventLoop::quit);
        idle.exec();
        std::printf("CPU between polls: %.0f ms in 5 s\n", cpuMs() - before);
    }

    std::printf("services menu opens in %.1f ms\n",
        openMenuMs(access.servicesMenu(), [&] { access.servicesMenu().popup(QPoint(20, 40)); }));
    access.saveInWindow({{QStringLiteral("rbSrvcsOnLMK"), true}});
    std::printf("services menu from a left click opens in %.1f ms\n",
        openMenuMs(access.servicesMenu(), [&] { access.activate(QSystemTrayIcon::Trigger); }));
    access.saveInWindow({{QStringLiteral("rbHostsAndSrvcsOnLMK"), true}});
    std::printf("combined menu from a left click opens in %.1f ms\n",
        openMenuMs(access.combinedMenu(), [&] { access.activate(QSystemTrayIcon::Trigger); }));

    std::printf("the same site again\n");
    pollAndSettle(true);

    access.action("actionCloseAll")->trigger();
    // Balloons: a popup window would take the focus and close the menu itself.
    access.saveInWindow({{QStringLiteral("cbUseTrayMessages"), true}});
    for (const auto& simulator : simulators) {
        simulator->write("clear\n");
        simulator->waitForBytesWritten();
    }
    {
        // The simulator reads its commands as they come; give it a moment.
        QEventLoop wait;
        QTimer::singleShot(300, &wait, &QEventLoop::quit);
        wait.exec();
    }
    access.servicesMenu().popup(QPoint(20, 40));
    QCoreApplication::processEvents();
    std::printf("every problem recovers, announced by balloons, the services menu open (%s)\n",
        access.servicesMenu().isVisible() ? "visible" : "NOT VISIBLE");
    pollAndSettle(true);
    std::printf("  services menu %s\n", access.servicesMenu().isVisible() ? "still open" : "closed");

    for (const auto& simulator : simulators) {
        simulator->closeWriteChannel();
        simulator->terminate();
        simulator->waitForFinished(5000);
    }
    return 0;
}
