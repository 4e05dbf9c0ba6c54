// One page request through Tarvix's HTTP client, with what it cost: how it ended, after how long,
// the peak memory (VmHWM) and the CPU time of the process, before and after the body is turned
// into page text as the response handler does. Used by scripts/hostile-figures.
//
//     tarvix-httpprobe URL [DEADLINE-SECONDS]      (http[s]://[USER:PASSWORD@]HOST:PORT/PATH?QUERY)
//
// Only the client's QHttp-like calls are used, so the same program measures older clients too.

#include "monitor/httpclient.h"
#include "monitor/statusrules.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QUrl>

#include <sys/resource.h>

#include <cstdio>

namespace {

double peakMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return -1;
}

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QUrl url(args.value(1));
    if (!url.isValid() || url.host().isEmpty()) {
        std::fprintf(stderr, "usage: tarvix-httpprobe URL [DEADLINE-SECONDS]\n");
        return 2;
    }
    const int deadlineSeconds = args.size() > 2 ? args.at(2).toInt() : 300;
    const bool https = url.scheme() == QLatin1String("https");

    HttpClient client;
    client.setVerifyPeer(false);
    client.setUser(url.userName(), url.password());
    client.setHost(url.host(), https ? HttpClient::ConnectionModeHttps : HttpClient::ConnectionModeHttp,
        quint16(url.port(https ? 443 : 80)));
    QElapsedTimer clock;
    clock.start();
    const int id = client.get(url.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::FullyEncoded));

    int status = 1;
    QObject::connect(&client, &HttpClient::requestFinished, &app, [&](int finished, bool error) {
        if (finished != id)
            return;
        const double seconds = double(clock.elapsed()) / 1000;
        const QByteArray body = client.readAll();
        const double clientPeak = peakMegabytes();
        const double clientCpu = cpuSeconds();
        const qsizetype textLength = pageText(body).size();
        std::printf("ended after %.1f s: %s; status %d, body %lld bytes, text %lld characters\n"
                    "peak %.0f MB, CPU %.2f s in the client; peak %.0f MB, CPU %.2f s with the page text\n",
            seconds,
            error
                ? qPrintable(QStringLiteral("error %1 \"%2\"").arg(client.error()).arg(client.errorString()))
                : "no error",
            client.lastStatusCode(), static_cast<long long>(body.size()), static_cast<long long>(textLength),
            clientPeak, clientCpu, peakMegabytes(), cpuSeconds());
        status = 0;
        QCoreApplication::quit();
    });
    QTimer::singleShot(deadlineSeconds * 1000, &app, [&] {
        std::printf("still running after %d s; peak %.0f MB, CPU %.2f s\n", deadlineSeconds, peakMegabytes(),
            cpuSeconds());
        status = 3;
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    std::fflush(stdout);
    return status;
}
