#pragma once

// A real Nagios that scripts/real-nagios runs: its environment file says where, its script sets
// states, its statusjson.cgi tells what Nagios holds. scripts/test runs two, each in a folder and on
// a port of its own, for the tests that watch several servers.

#include "monitor/httpclient.h"

#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QVariantMap>

class RealNagiosBed
{
public:
    // The first test bed (TARVIX_REAL_NAGIOS_ENV) or the second (TARVIX_REAL_NAGIOS_ENV_2).
    explicit RealNagiosBed(int instance = 1) : m_instance(instance) { }

    // False with a message when there is none.
    bool load(QByteArray* whyNot)
    {
        const bool first = m_instance == 1;
        const QString file
            = qEnvironmentVariable(first ? "TARVIX_REAL_NAGIOS_ENV" : "TARVIX_REAL_NAGIOS_ENV_2",
                first ? QStringLiteral("/tmp/tarvix-real-nagios/env")
                      : QStringLiteral("/tmp/tarvix-real-nagios-2/env"));
        m_env = readEnvFile(file);
        if (!env("TARVIX_REAL_NAGIOS_URL").isEmpty() && !env("TARVIX_REAL_NAGIOS_SCRIPT").isEmpty())
            return true;
        *whyNot = "No real Nagios test bed " + QByteArray::number(m_instance) + " (no " + file.toUtf8()
            + "): start one with TARVIX_REAL_NAGIOS_DIR="
            + (first ? "/tmp/tarvix-real-nagios" : "/tmp/tarvix-real-nagios-2")
            + " TARVIX_REAL_NAGIOS_PORT=auto scripts/real-nagios start, or run scripts/test.";
        return false;
    }

    // KEY=VALUE lines, as the test beds' scripts write them.
    static QHash<QString, QString> readEnvFile(const QString& path)
    {
        QHash<QString, QString> entries;
        QFile envFile(path);
        if (envFile.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : envFile.readAll().split('\n')) {
                const qsizetype equals = line.indexOf('=');
                if (equals > 0)
                    entries.insert(
                        QString::fromUtf8(line.left(equals)), QString::fromUtf8(line.mid(equals + 1)));
            }
        }
        return entries;
    }

    QString env(const char* name) const { return m_env.value(QString::fromLatin1(name)); }
    QString host() const { return env("TARVIX_REAL_NAGIOS_HOST"); }
    quint16 port() const { return quint16(env("TARVIX_REAL_NAGIOS_PORT").toUInt()); }

    // The settings keys of a server that polls this Nagios as the user with command rights, under
    // `group` ("Servers/<id>/") or flat for the first server.
    QVariantMap serverSettings(const QString& group = {}) const
    {
        return {{group + "ServerAddress", host()}, {group + "HTTPPort", QString::number(port())},
            {group + "UseUserDefExecDir", true},
            {group + "UserDefNagiosExecDir", env("TARVIX_REAL_NAGIOS_CGI")}, {group + "UseHTTPAuth", true},
            {group + "Login", env("TARVIX_REAL_NAGIOS_USER")},
            {group + "Password", env("TARVIX_REAL_NAGIOS_PASSWORD")}};
    }

    // "set" and "reset" write passive results to Nagios' command file and wait until Nagios shows them.
    bool runScript(const QStringList& arguments) const
    {
        QProcess script;
        script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The test bed's folder tells the script which of possibly several test beds to talk to.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TARVIX_REAL_NAGIOS_DIR"), env("TARVIX_REAL_NAGIOS_DIR"));
        script.setProcessEnvironment(environment);
        script.start(env("TARVIX_REAL_NAGIOS_SCRIPT"), arguments);
        const bool done = script.waitForFinished(60000) && script.exitStatus() == QProcess::NormalExit
            && script.exitCode() == 0;
        if (!done)
            qWarning() << "Failed:" << arguments;
        return done;
    }

    // A page through the program's own client, as a poll gets it.
    QByteArray fetch(const QString& request, const QString& user, const QString& password) const
    {
        HttpClient client;
        QSignalSpy finished(&client, &HttpClient::requestFinished);
        client.setUser(user, password);
        client.setHost(host(), HttpClient::ConnectionModeHttp, port());
        const int id = client.get(env("TARVIX_REAL_NAGIOS_CGI") + request);
        if (!QTest::qWaitFor(
                [&] { return !finished.isEmpty() && finished.last().at(0).toInt() == id; }, 30000))
            return {};
        if (finished.last().at(1).toBool() || client.lastStatusCode() != 200)
            return {};
        return client.readAll();
    }

    QJsonObject statusJson(const QString& query) const
    {
        const QByteArray body = fetch(QStringLiteral("statusjson.cgi?") + query,
            env("TARVIX_REAL_NAGIOS_USER"), env("TARVIX_REAL_NAGIOS_PASSWORD"));
        return QJsonDocument::fromJson(body).object().value(QLatin1String("data")).toObject();
    }

    // A field of what Nagios holds about a host, or about its service when one is given.
    QJsonValue field(const QString& hostName, const QString& service, const char* name) const
    {
        QString query = QStringLiteral("query=%1&hostname=")
                            .arg(service.isEmpty() ? QLatin1String("host") : QLatin1String("service"))
            + QString::fromLatin1(QUrl::toPercentEncoding(hostName));
        if (!service.isEmpty())
            query += QStringLiteral("&servicedescription=")
                + QString::fromLatin1(QUrl::toPercentEncoding(service));
        return statusJson(query)
            .value(service.isEmpty() ? QLatin1String("host") : QLatin1String("service"))
            .toObject()
            .value(QLatin1String(name));
    }

private:
    int m_instance;
    QHash<QString, QString> m_env;
};

// Skips the test without a test bed, unless TARVIX_REQUIRE_REAL_NAGIOS=true demands one.
#define REQUIRE_REAL_NAGIOS(bed)                                                                             \
    do {                                                                                                     \
        QByteArray whyNot;                                                                                   \
        if (!(bed).load(&whyNot)) {                                                                          \
            if (qEnvironmentVariable("TARVIX_REQUIRE_REAL_NAGIOS") == QLatin1String("true"))                 \
                QFAIL(whyNot.constData());                                                                   \
            QSKIP(whyNot.constData());                                                                       \
        }                                                                                                    \
    } while (false)
