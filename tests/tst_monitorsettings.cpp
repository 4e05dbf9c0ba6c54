#include "config/monitorsettings.h"
#include "config/settingsstore.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestMonitorSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void emptyStoreLoadsDefaults();
    void portFollowsProtocol_data();
    void portFollowsProtocol();
    void execDirIsNormalised_data();
    void execDirIsNormalised();
    void autoCloseTimeOnlyWithAutoClose();
    void listEncoding_data();
    void listEncoding();
    void storedKindsConvert_data();
    void storedKindsConvert();
    void portNumberAndAuthority_data();
    void portNumberAndAuthority();
    void restrictToOwnerNarrowsPermissions();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QSettings> m_store;
};

void TestMonitorSettings::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_store
        = std::make_unique<QSettings>(m_dir->filePath(QStringLiteral("Tarvix.conf")), QSettings::IniFormat);
}

void TestMonitorSettings::emptyStoreLoadsDefaults()
{
    MonitorSettings s;
    s.serverAddress = QStringLiteral("stale");
    s.hostsList = QStringList {QStringLiteral("stale")};
    SettingsStore::load(*m_store, s);

    QCOMPARE(s.serverAddress, QString());
    QCOMPARE(s.useHttps, false);
    QCOMPARE(s.serverPort, QStringLiteral("80"));
    QCOMPARE(s.denySslCert, true);
    QCOMPARE(s.requestPeriod, 15);
    QCOMPARE(s.autoClose, false);
    QCOMPARE(s.autoCloseTime, 0);
    QCOMPARE(s.nagiosExecDir, QStringLiteral("/nagios/cgi-bin/"));
    QCOMPARE(s.hostsRequest,
        QStringLiteral("status.cgi?hostgroup=all&style=hostdetail&hoststatustypes=12&limit=0"));
    QCOMPARE(s.servicesRequest, QStringLiteral("status.cgi?host=all&servicestatustypes=28&limit=0"));
    QCOMPARE(s.allExceptSpecifedHosts, true);
    QCOMPARE(s.onlyListedHosts, false);
    QCOMPARE(s.allExceptSpecifedSrvcs, true);
    QCOMPARE(s.onlyListedSrvcs, false);
    QCOMPARE(s.hostsList, QStringList());
    QCOMPARE(s.servicesList, QStringList());
    QCOMPARE(s.enableHostsMonitoring, true);
    QCOMPARE(s.enableSrvcsMonitoring, true);
    QCOMPARE(s.showHostsMessages, true);
    QCOMPARE(s.showSrvcsMessages, true);
    QCOMPARE(s.useTrayMessages, false);
    QCOMPARE(s.popupsStayOnTop, true);
    QCOMPARE(s.useHttpAuth, false);
    QCOMPARE(s.login, QString());
    QCOMPARE(s.password, QString());
    QCOMPARE(s.useBasicRegExpConfig, true);
    QCOMPARE(s.useUserDefHostsRegExp, false);
    QCOMPARE(s.useUserDefSrvcsRegExp, false);
    QCOMPARE(s.openUrlFromTray, true);
    QCOMPARE(s.flashesInTray, true);
    QCOMPARE(s.disableSounds, false);
    QCOMPARE(s.disableLocalization, false);
    QCOMPARE(s.numMenuOnLMK, 0);
    QVERIFY2(m_store->allKeys().isEmpty(), "loading must not write defaults back");
}

void TestMonitorSettings::portFollowsProtocol_data()
{
    QTest::addColumn<QVariant>("useHttps");
    QTest::addColumn<QVariant>("httpPort");
    QTest::addColumn<QVariant>("httpsPort");
    QTest::addColumn<QString>("expected");

    QTest::newRow("https with only the http port stored")
        << QVariant(true) << QVariant(QStringLiteral("8080")) << QVariant() << QStringLiteral("443");
    QTest::newRow("http with both stored") << QVariant(false) << QVariant(QStringLiteral("8080"))
                                           << QVariant(QStringLiteral("8443")) << QStringLiteral("8080");
    QTest::newRow("https with both stored") << QVariant(true) << QVariant(QStringLiteral("8080"))
                                            << QVariant(QStringLiteral("8443")) << QStringLiteral("8443");
    QTest::newRow("http with nothing stored")
        << QVariant(false) << QVariant() << QVariant() << QStringLiteral("80");
}

void TestMonitorSettings::portFollowsProtocol()
{
    QFETCH(QVariant, useHttps);
    QFETCH(QVariant, httpPort);
    QFETCH(QVariant, httpsPort);
    QFETCH(QString, expected);

    m_store->setValue(QStringLiteral("UseHTTPS"), useHttps);
    if (httpPort.isValid())
        m_store->setValue(QStringLiteral("HTTPPort"), httpPort);
    if (httpsPort.isValid())
        m_store->setValue(QStringLiteral("HTTPSPort"), httpsPort);
    MonitorSettings s;
    SettingsStore::load(*m_store, s);
    QCOMPARE(s.serverPort, expected);
    QCOMPARE(m_store->value(QStringLiteral("HTTPPort")), httpPort);
}

void TestMonitorSettings::execDirIsNormalised_data()
{
    QTest::addColumn<bool>("userDefined");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");

    QTest::newRow("without slashes") << true << QStringLiteral("nagios/cgi-bin")
                                     << QStringLiteral("/nagios/cgi-bin/");
    QTest::newRow("empty") << true << QString() << QStringLiteral("/");
    QTest::newRow("already normal") << true << QStringLiteral("/cgi-bin/nagios4/")
                                    << QStringLiteral("/cgi-bin/nagios4/");
    QTest::newRow("trailing only") << true << QStringLiteral("/cgi-bin/nagios4")
                                   << QStringLiteral("/cgi-bin/nagios4/");
    QTest::newRow("switched off") << false << QStringLiteral("cgi") << QStringLiteral("/nagios/cgi-bin/");
}

void TestMonitorSettings::execDirIsNormalised()
{
    QFETCH(bool, userDefined);
    QFETCH(QString, stored);
    QFETCH(QString, expected);

    m_store->setValue(QStringLiteral("UseUserDefExecDir"), userDefined);
    m_store->setValue(QStringLiteral("UserDefNagiosExecDir"), stored);
    MonitorSettings s;
    SettingsStore::load(*m_store, s);
    QCOMPARE(s.nagiosExecDir, expected);
    QCOMPARE(m_store->value(QStringLiteral("UserDefNagiosExecDir")).toString(), stored);
}

void TestMonitorSettings::autoCloseTimeOnlyWithAutoClose()
{
    m_store->setValue(QStringLiteral("AutoCloseTime"), 25);
    MonitorSettings s;
    SettingsStore::load(*m_store, s);
    QCOMPARE(s.autoCloseTime, 0);

    m_store->setValue(QStringLiteral("AutoClose"), true);
    SettingsStore::load(*m_store, s);
    QCOMPARE(s.autoCloseTime, 25);

    m_store->remove(QStringLiteral("AutoCloseTime"));
    SettingsStore::load(*m_store, s);
    QCOMPARE(s.autoCloseTime, 10);
}

void TestMonitorSettings::listEncoding_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("two entries") << QStringLiteral("web1|db2|") << QStringList {"web1", "db2"};
    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("doubled separator") << QStringLiteral("web1||db2") << QStringList {"web1", "db2"};
    QTest::newRow("leading separator") << QStringLiteral("|web1|db2") << QStringList {"web1", "db2"};
    QTest::newRow("entry with colon and space")
        << QStringLiteral("HTTP Check:web 1|") << QStringList {"HTTP Check:web 1"};
}

void TestMonitorSettings::listEncoding()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, entries);

    QCOMPARE(decodeList(stored), entries);
    QCOMPARE(decodeList(encodeList(entries)), entries);
    if (!entries.isEmpty())
        QVERIFY(encodeList(entries).endsWith(QLatin1Char('|')));
    QCOMPARE(encodeList({}), QString());

    m_store->setValue(QStringLiteral("HostsList"), stored);
    MonitorSettings s;
    SettingsStore::load(*m_store, s);
    QCOMPARE(s.hostsList, entries);
}

void TestMonitorSettings::storedKindsConvert_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("bool false text") << QStringLiteral("UseHTTPS") << QStringLiteral("false")
                                     << QVariant(false);
    QTest::newRow("bool FALSE text") << QStringLiteral("UseHTTPS") << QStringLiteral("FALSE")
                                     << QVariant(false);
    QTest::newRow("bool zero") << QStringLiteral("UseHTTPS") << QStringLiteral("0") << QVariant(false);
    QTest::newRow("bool empty") << QStringLiteral("UseHTTPS") << QString() << QVariant(false);
    QTest::newRow("bool other text") << QStringLiteral("UseHTTPS") << QStringLiteral("yes") << QVariant(true);
    QTest::newRow("int letter") << QStringLiteral("RequestPeriod") << QStringLiteral("x") << QVariant(0);
    QTest::newRow("int number text") << QStringLiteral("RequestPeriod") << QStringLiteral("30")
                                     << QVariant(30);
}

void TestMonitorSettings::storedKindsConvert()
{
    QFETCH(QString, key);
    QFETCH(QString, raw);
    QFETCH(QVariant, expected);

    // Written as raw text into the file, as a hand-edited or corrupted store holds it.
    m_store.reset();
    {
        QFile file(m_dir->filePath(QStringLiteral("Tarvix.conf")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\n" + key.toUtf8() + '=' + raw.toUtf8() + '\n');
    }
    m_store
        = std::make_unique<QSettings>(m_dir->filePath(QStringLiteral("Tarvix.conf")), QSettings::IniFormat);
    MonitorSettings s;
    SettingsStore::load(*m_store, s);
    if (key == QLatin1String("UseHTTPS"))
        QCOMPARE(QVariant(s.useHttps), expected);
    else
        QCOMPARE(QVariant(s.requestPeriod), expected);
    QCOMPARE(decimalOrZero(QStringLiteral("a")), 0);
}

void TestMonitorSettings::portNumberAndAuthority_data()
{
    QTest::addColumn<bool>("https");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("authority");

    QTest::newRow("http default") << false << QStringLiteral("80") << 80 << QStringLiteral("nagios.lan");
    QTest::newRow("https default") << true << QStringLiteral("443") << 443 << QStringLiteral("nagios.lan");
    QTest::newRow("http 8080") << false << QStringLiteral("8080") << 8080
                               << QStringLiteral("nagios.lan:8080");
    QTest::newRow("https on 80") << true << QStringLiteral("80") << 80 << QStringLiteral("nagios.lan:80");
    QTest::newRow("wraps modulo 65536")
        << false << QStringLiteral("70000") << 4464 << QStringLiteral("nagios.lan:4464");
    QTest::newRow("not a number") << false << QStringLiteral("abc") << 0 << QStringLiteral("nagios.lan:0");
}

void TestMonitorSettings::portNumberAndAuthority()
{
    QFETCH(bool, https);
    QFETCH(QString, port);
    QFETCH(int, number);
    QFETCH(QString, authority);

    MonitorSettings s;
    s.serverAddress = QStringLiteral("nagios.lan");
    s.useHttps = https;
    s.serverPort = port;
    QCOMPARE(int(s.portNumber()), number);
    QCOMPARE(s.serverAuthority(), authority);
    QCOMPARE(s.scheme(), https ? QStringLiteral("https://") : QStringLiteral("http://"));
}

void TestMonitorSettings::restrictToOwnerNarrowsPermissions()
{
    const QString path = m_dir->filePath(QStringLiteral("secret.conf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Password=x\n");
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));

    QVERIFY(SettingsStore::restrictToOwner(path));
    QCOMPARE(QFile::permissions(path)
            & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
        QFile::Permissions());
    QVERIFY(QFile::permissions(path) & QFile::ReadOwner);
    QVERIFY(SettingsStore::restrictToOwner(m_dir->filePath(QStringLiteral("missing.conf"))));
}

QTEST_GUILESS_MAIN(TestMonitorSettings)
#include "tst_monitorsettings.moc"
