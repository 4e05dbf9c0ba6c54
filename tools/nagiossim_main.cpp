#include "tools/nagiossimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using HostState = NagiosSimulator::HostState;
using ServiceState = NagiosSimulator::ServiceState;

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

struct DemoHost
{
    const char* name;
    const char* address;
    QList<const char*> services;
};

// A small installation whose names cover what the pages must carry: spaces, ':' '/' '+', Cyrillic.
const QList<DemoHost>& demoHosts()
{
    static const QList<DemoHost> hosts = {
        {"WEB-01", "127.0.1.1", {"HTTP Check", "Disk: /var", "PING"}},
        {"web-02", "127.0.1.2", {"HTTP Check", "PING"}},
        {"db.example.lan", "127.0.1.3", {"MySQL", "Replication Lag", "Disk: /var"}},
        {"сервер-1", "127.0.1.5", {"Проверка диска", "PING"}},
        {"core-router", "127.0.1.7", {"PING"}},
        {"branch-switch", "127.0.1.8", {"PING"}},
        {"mail-01", "127.0.1.9", {"SMTP", "IMAP"}},
        {"app-1", "127.0.1.10", {"C++ Build Agent"}},
        {"app-10", "127.0.1.11", {"App Health"}},
        {"lab printer", "127.0.1.12", {"Toner Level"}},
    };
    return hosts;
}

struct DemoProblem
{
    const char* host;
    const char* service; // nullptr: the host itself
    int state; // a HostState or ServiceState value
    const char* output;
};

// Each step lists the problems in force; everything else is UP or OK, so leaving a step recovers.
const QList<QList<DemoProblem>>& demoSteps()
{
    static const QList<QList<DemoProblem>> steps = {
        {},
        {{"WEB-01", nullptr, int(HostState::Down), "CRITICAL - Host Unreachable (127.0.1.1)"},
            {"web-02", "HTTP Check", int(ServiceState::Critical),
                "HTTP CRITICAL: HTTP/1.1 503 Service Unavailable"}},
        {{"WEB-01", nullptr, int(HostState::Down), "CRITICAL - Host Unreachable (127.0.1.1)"},
            {"core-router", nullptr, int(HostState::Down), "CRITICAL - Time to live exceeded (127.0.1.7)"},
            {"branch-switch", nullptr, int(HostState::Unreachable),
                "UNREACHABLE - parent core-router is DOWN"},
            {"db.example.lan", "Disk: /var", int(ServiceState::Warning),
                "DISK WARNING - free space: /var 812 MB"}},
        {{"сервер-1", nullptr, int(HostState::Down), "CRITICAL - 100% packet loss"},
            {"lab printer", "Toner Level", int(ServiceState::Warning), "WARNING - toner at 9%"},
            {"app-10", "App Health", int(ServiceState::Unknown),
                "UNKNOWN - health endpoint returned garbage"},
            {"db.example.lan", "Disk: /var", int(ServiceState::Warning),
                "DISK WARNING - free space: /var 812 MB"}},
        {{"app-1", "C++ Build Agent", int(ServiceState::Critical),
             "CRITICAL - agent <offline> & \"queue\" stuck"},
            {"сервер-1", "Проверка диска", int(ServiceState::Critical), "CRITICAL - диск заполнен на 99%"},
            {"mail-01", "SMTP", int(ServiceState::Critical), "CRITICAL - Connection refused"},
            {"db.example.lan", "Replication Lag", int(ServiceState::Unknown),
                "UNKNOWN - replication status unavailable"}},
        {{"lab printer", nullptr, int(HostState::Down), "CRITICAL - Host Unreachable (127.0.1.12)"},
            {"mail-01", "SMTP", int(ServiceState::Warning), "WARNING - slow greeting (5.2 s)"},
            {"db.example.lan", nullptr, int(HostState::Down), "CRITICAL - Host Unreachable (127.0.1.3)"},
            {"db.example.lan", "MySQL", int(ServiceState::Critical), "CRITICAL - MySQL: host is down"},
            {"db.example.lan", "Replication Lag", int(ServiceState::Critical),
                "CRITICAL - Replication Lag: host is down"},
            {"db.example.lan", "Disk: /var", int(ServiceState::Critical),
                "CRITICAL - Disk: /var: host is down"}},
    };
    return steps;
}

void applyDemoStep(NagiosSimulator& simulator, int step)
{
    for (const DemoHost& host : demoHosts()) {
        const QString name = QString::fromUtf8(host.name);
        simulator.setHost(name, HostState::Up, QString::fromUtf8(host.address));
        for (const char* service : host.services)
            simulator.setService(name, QString::fromUtf8(service), ServiceState::Ok);
    }
    const QList<QList<DemoProblem>>& steps = demoSteps();
    for (const DemoProblem& problem : steps.at(step % steps.size())) {
        const QString host = QString::fromUtf8(problem.host);
        const QString output = QString::fromUtf8(problem.output);
        if (problem.service)
            simulator.setService(
                host, QString::fromUtf8(problem.service), ServiceState(problem.state), output);
        else
            simulator.setHost(host, HostState(problem.state), {}, output);
    }
}

// Applies a control file's lines; complains on stderr about the ones it does not understand.
void applyControlFile(NagiosSimulator& simulator, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& line : lines) {
        QString error;
        if (!simulator.applyCommand(QString::fromUtf8(line), &error))
            std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(error));
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarvix-nagiossim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A simulated Nagios 4.4.6 web server on 127.0.0.1.\n\n"
                       "Commands, one a line, on stdin and in the control file:\n")
        + NagiosSimulator::commandUsage());
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port (0: any free port)."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption httpsOption(
        QStringLiteral("https"), QStringLiteral("Speak HTTPS (self-signed)."));
    const QCommandLineOption cgiOption(QStringLiteral("cgi-dir"), QStringLiteral("CGI directory."),
        QStringLiteral("DIR"), QStringLiteral("/nagios/cgi-bin/"));
    const QCommandLineOption userOption(
        QStringLiteral("user"), QStringLiteral("Require Basic auth as this user."), QStringLiteral("U"));
    const QCommandLineOption passwordOption(
        QStringLiteral("password"), QStringLiteral("Password for --user."), QStringLiteral("P"));
    const QCommandLineOption scenarioOption(QStringLiteral("scenario"),
        QStringLiteral("\"demo\" or a scenario.tsv file."), QStringLiteral("demo|FILE"));
    const QCommandLineOption controlOption(QStringLiteral("control"),
        QStringLiteral("Command file, re-read whenever it changes."), QStringLiteral("FILE"));
    const QCommandLineOption periodOption(QStringLiteral("period"), QStringLiteral("Seconds per demo step."),
        QStringLiteral("SECONDS"), QStringLiteral("20"));
    const QCommandLineOption hostsOption(QStringLiteral("hosts"),
        QStringLiteral("A generated site of N hosts (instead of a scenario)."), QStringLiteral("N"));
    const QCommandLineOption problemsOption(QStringLiteral("problems"),
        QStringLiteral("CRITICAL services of the generated site, spread round its hosts."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption downOption(QStringLiteral("down"),
        QStringLiteral("DOWN hosts of the generated site."), QStringLiteral("N"), QStringLiteral("0"));
    parser.addOptions({portOption, httpsOption, cgiOption, userOption, passwordOption, scenarioOption,
        controlOption, periodOption, hostsOption, problemsOption, downOption});
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "bad --port\n");
        return 2;
    }
    const double period = parser.value(periodOption).toDouble(&ok);
    if (!ok || period <= 0) {
        std::fprintf(stderr, "bad --period\n");
        return 2;
    }

    const int hosts = parser.value(hostsOption).toInt();
    const int problems = parser.value(problemsOption).toInt(&ok);
    const int down = ok ? parser.value(downOption).toInt(&ok) : 0;
    if (!ok || hosts < 0 || problems < 0 || down < 0) {
        std::fprintf(stderr, "bad --hosts, --problems or --down\n");
        return 2;
    }

    NagiosSimulator simulator;
    simulator.setCgiDirectory(parser.value(cgiOption));
    simulator.addGeneratedSite(hosts, problems, down);
    if (parser.isSet(userOption))
        simulator.requireBasicAuth(parser.value(userOption), parser.value(passwordOption));

    QTimer demoTimer;
    int demoStep = 0;
    const QString scenario = parser.value(scenarioOption);
    if (scenario == QLatin1String("demo")) {
        applyDemoStep(simulator, demoStep);
        QObject::connect(&demoTimer, &QTimer::timeout, &simulator, [&simulator, &demoStep] {
            applyDemoStep(simulator, ++demoStep);
            std::fprintf(stdout, "demo step %d\n", demoStep % int(demoSteps().size()));
            std::fflush(stdout);
        });
        demoTimer.start(int(period * 1000));
    } else if (!scenario.isEmpty() && !simulator.loadScenario(scenario)) {
        std::fprintf(stderr, "cannot load scenario %s\n", qPrintable(scenario));
        return 2;
    }

    // The control file: a watcher for prompt changes, a poll for editors that replace the file.
    QFileSystemWatcher watcher;
    QTimer controlPoll;
    QDateTime controlStamp;
    qint64 controlSize = -1;
    const QString controlPath = parser.value(controlOption);
    auto checkControl = [&] {
        const QFileInfo info(controlPath);
        if (!info.exists())
            return;
        if (!watcher.files().contains(controlPath))
            watcher.addPath(controlPath);
        if (info.lastModified() == controlStamp && info.size() == controlSize)
            return;
        controlStamp = info.lastModified();
        controlSize = info.size();
        applyControlFile(simulator, controlPath);
    };
    if (!controlPath.isEmpty()) {
        QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, &simulator, checkControl);
        QObject::connect(&controlPoll, &QTimer::timeout, &simulator, checkControl);
        controlPoll.start(1000);
        checkControl();
    }

    // The same commands on stdin, one a line (when there is a stdin at all).
    QByteArray stdinBuffer;
    QSocketNotifier* stdinNotifier = nullptr;
    if (::fcntl(STDIN_FILENO, F_GETFD) != -1) {
        stdinNotifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
        QObject::connect(stdinNotifier, &QSocketNotifier::activated, &simulator, [&] {
            char buffer[4096];
            const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (count <= 0) {
                stdinNotifier->setEnabled(false); // end of input: keep serving
                return;
            }
            stdinBuffer.append(buffer, count);
            for (qsizetype newline = stdinBuffer.indexOf('\n'); newline >= 0;
                 newline = stdinBuffer.indexOf('\n')) {
                const QString line = QString::fromUtf8(stdinBuffer.left(newline));
                stdinBuffer.remove(0, newline + 1);
                QString error;
                if (!simulator.applyCommand(line, &error))
                    std::fprintf(stderr, "%s\n", qPrintable(error));
            }
        });
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        std::perror("socketpair");
        return 1;
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    if (!simulator.start(parser.isSet(httpsOption), quint16(port))) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(simulator.errorString()));
        return 1;
    }
    std::fprintf(stdout, "listening on %s\n", qPrintable(simulator.baseUrl()));
    std::fflush(stdout);
    const int status = QCoreApplication::exec();
    simulator.stop();
    return status;
}
