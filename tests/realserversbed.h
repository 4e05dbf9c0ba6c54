#pragma once

// The squid, Kerberos and HTTPS servers that scripts/real-servers runs in front of the real Nagios:
// its environment file says where they are and with which files, users and passwords.

#include "realnagiosbed.h"

#include <QHash>
#include <QString>

class RealServersBed
{
public:
    // False with a message when there is none.
    bool load(QByteArray* whyNot)
    {
        const QString file
            = qEnvironmentVariable("TARVIX_REAL_SERVERS_ENV", QStringLiteral("/tmp/tarvix-real-servers/env"));
        m_env = RealNagiosBed::readEnvFile(file);
        if (!env("TARVIX_REAL_PROXY_URL").isEmpty() && !env("TARVIX_REAL_KERBEROS_URL").isEmpty()
            && !env("TARVIX_REAL_TLS_URL").isEmpty())
            return true;
        *whyNot = "No real servers test bed (no proxy, kerberos and tls in " + file.toUtf8()
            + "): start them with scripts/real-servers start, or run scripts/test.";
        return false;
    }

    QString env(const char* name) const { return m_env.value(QString::fromLatin1(name)); }

private:
    QHash<QString, QString> m_env;
};

// Skips the test without the servers, unless they are demanded: TARVIX_REQUIRE_REAL_SERVERS=true,
// or TARVIX_REQUIRE_REAL_NAGIOS=true where TARVIX_REQUIRE_REAL_SERVERS is not set.
#define REQUIRE_REAL_SERVERS(bed)                                                                            \
    do {                                                                                                     \
        QByteArray whyNot;                                                                                   \
        if (!(bed).load(&whyNot)) {                                                                          \
            const QString demanded = qEnvironmentVariable(                                                   \
                "TARVIX_REQUIRE_REAL_SERVERS", qEnvironmentVariable("TARVIX_REQUIRE_REAL_NAGIOS"));          \
            if (demanded == QLatin1String("true"))                                                           \
                QFAIL(whyNot.constData());                                                                   \
            QSKIP(whyNot.constData());                                                                       \
        }                                                                                                    \
    } while (false)
