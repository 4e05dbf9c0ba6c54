#include "config/settingsstore.h"
#include "monitor/statusrules.h"

#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

using K = SettingKey;

// A valid value of the key's type that differs from its default.
QVariant otherValue(const SettingSpec& spec)
{
    switch (spec.type) {
    case StoredType::Flag:
        return !spec.defaultValue.toBool();
    case StoredType::Number: // the bounds themselves are valid
        return spec.defaultValue.toInt() == spec.minimum ? spec.maximum : spec.minimum;
    case StoredType::PortText:
        return QStringLiteral("8081");
    case StoredType::DigitText:
        return QStringLiteral("7");
    case StoredType::Text:
        return QStringLiteral("value of %1 | with: marks").arg(spec.name);
    case StoredType::List:
        return QStringList {QStringLiteral("zeta"), QStringLiteral("HTTP Check:web 1")};
    }
    return {};
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void everyKeyRoundTrips();
    void missingKeysReadTheirDefaults();
    void unusableValuesFallBack_data();
    void unusableValuesFallBack();
    void loadConditions_data();
    void loadConditions();
    void parsingRules_data();
    void parsingRules();
    void listEncoding_data();
    void listEncoding();
    void portNumberAndAuthority_data();
    void portNumberAndAuthority();
    void restrictToOwnerNarrowsPermissions();
    void newFileIsPrivateBeforeTheFirstWrite();

private:
    QString storePath() const { return m_dir->filePath(QStringLiteral("Tarvix.conf")); }
    // Written as raw text, as a hand-edited or damaged file holds it.
    void writeRaw(const QByteArray& lines);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QSettings> m_store;
};

void TestSettingsStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_store = std::make_unique<QSettings>(storePath(), QSettings::IniFormat);
}

void TestSettingsStore::writeRaw(const QByteArray& lines)
{
    m_store.reset();
    QFile file(storePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[General]\n" + lines);
    file.close();
    m_store = std::make_unique<QSettings>(storePath(), QSettings::IniFormat);
}

void TestSettingsStore::everyKeyRoundTrips()
{
    StoredSettings values = StoredSettings::defaults();
    for (const SettingSpec& spec : settingsTable())
        values.set(spec.key, otherValue(spec));

    SettingsStore::write(*m_store, values);
    m_store->sync();

    QSettings reread(storePath(), QSettings::IniFormat);
    QCOMPARE(reread.allKeys().size(), settingKeyCount);
    QCOMPARE(
        reread.value(QStringLiteral("ServicesList")).toString(), QStringLiteral("zeta|HTTP Check:web 1|"));
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    const StoredSettings read = SettingsStore::read(reread);
    for (const SettingSpec& spec : settingsTable())
        QVERIFY2(read.value(spec.key) == values.value(spec.key), spec.name.data());
}

void TestSettingsStore::missingKeysReadTheirDefaults()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    QVERIFY(SettingsStore::read(*m_store) == StoredSettings::defaults());
    QVERIFY2(m_store->allKeys().isEmpty(), "reading must not write defaults back");

    // Only the port of the protocol in use is written; the other keeps what the file holds.
    StoredSettings values = StoredSettings::defaults();
    values.unset(K::HttpsPort);
    values.set(K::HttpPort, QStringLiteral("8080"));
    m_store->setValue(QStringLiteral("HTTPSPort"), QStringLiteral("8443"));
    SettingsStore::write(*m_store, values);
    QCOMPARE(m_store->value(QStringLiteral("HTTPSPort")).toString(), QStringLiteral("8443"));
}

void TestSettingsStore::unusableValuesFallBack_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("key");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("period 0") << QByteArray("RequestPeriod=0") << int(K::RequestPeriod) << QVariant(15);
    QTest::newRow("period -5") << QByteArray("RequestPeriod=-5") << int(K::RequestPeriod) << QVariant(15);
    QTest::newRow("period 3000000") << QByteArray("RequestPeriod=3000000") << int(K::RequestPeriod)
                                    << QVariant(15);
    QTest::newRow("period not a number")
        << QByteArray("RequestPeriod=often") << int(K::RequestPeriod) << QVariant(15);
    QTest::newRow("port 0") << QByteArray("HTTPPort=0") << int(K::HttpPort) << QVariant(QStringLiteral("80"));
    QTest::newRow("port 70000") << QByteArray("HTTPSPort=70000") << int(K::HttpsPort)
                                << QVariant(QStringLiteral("443"));
    QTest::newRow("position -1") << QByteArray("HostNameRxPos=-1") << int(K::HostNameRxPos)
                                 << QVariant(QStringLiteral("3"));
    QTest::newRow("menu mode 7") << QByteArray("NumMenuOnLMK=7") << int(K::NumMenuOnLMK) << QVariant(0);
    QTest::newRow("auto-close 0 minutes")
        << QByteArray("AutoCloseTime=0") << int(K::AutoCloseTime) << QVariant(10);
    QTest::newRow("switch neither true nor false")
        << QByteArray("DenySSLCert=maybe") << int(K::DenySslCert) << QVariant(true);
}

void TestSettingsStore::unusableValuesFallBack()
{
    QFETCH(QByteArray, line);
    QFETCH(int, key);
    QFETCH(QVariant, expected);
    writeRaw(line + '\n');

    const QString name = settingSpec(SettingKey(key)).name;
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("^Settings: %1=.* is not a usable value").arg(name)));
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    const StoredSettings values = SettingsStore::read(*m_store);
    QCOMPARE(values.value(SettingKey(key)), expected);
}

void TestSettingsStore::loadConditions_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("execDir");
    QTest::addColumn<QString>("hostsRequest");
    QTest::addColumn<int>("autoCloseTime");

    const QString builtInDir = defaultNagiosExecDir;
    const QString builtInRequest = defaultHostsRequest;
    QTest::newRow("nothing stored") << QByteArray() << "80" << builtInDir << builtInRequest << 0;
    QTest::newRow("https reads only its own port")
        << QByteArray("UseHTTPS=true\nHTTPPort=8080") << "443" << builtInDir << builtInRequest << 0;
    QTest::newRow("http with both ports")
        << QByteArray("HTTPPort=8080\nHTTPSPort=8443") << "8080" << builtInDir << builtInRequest << 0;
    QTest::newRow("own directory without slashes")
        << QByteArray("UseUserDefExecDir=true\nUserDefNagiosExecDir=cgi-bin/nagios4") << "80"
        << "/cgi-bin/nagios4/" << builtInRequest << 0;
    QTest::newRow("own directory empty")
        << QByteArray("UseUserDefExecDir=true\nUserDefNagiosExecDir=") << "80"
        << "/" << builtInRequest << 0;
    QTest::newRow("own directory switched off")
        << QByteArray("UserDefNagiosExecDir=cgi") << "80" << builtInDir << builtInRequest << 0;
    QTest::newRow("own hosts request")
        << QByteArray("UseUserDefHostsRequest=true\nUserDefHostsRequest=status.cgi?hostgroup=web") << "80"
        << builtInDir << "status.cgi?hostgroup=web" << 0;
    QTest::newRow("own hosts request switched off")
        << QByteArray("UserDefHostsRequest=status.cgi?hostgroup=web") << "80" << builtInDir << builtInRequest
        << 0;
    QTest::newRow("auto-close time without auto-close")
        << QByteArray("AutoCloseTime=25") << "80" << builtInDir << builtInRequest << 0;
    QTest::newRow("auto-close time with auto-close")
        << QByteArray("AutoClose=true\nAutoCloseTime=25") << "80" << builtInDir << builtInRequest << 25;
    QTest::newRow("auto-close without a time")
        << QByteArray("AutoClose=true") << "80" << builtInDir << builtInRequest << 10;
}

void TestSettingsStore::loadConditions()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, port);
    QFETCH(QString, execDir);
    QFETCH(QString, hostsRequest);
    QFETCH(int, autoCloseTime);
    writeRaw(stored + '\n');

    MonitorSettings s;
    s.hostsRegExp = QStringLiteral("kept");
    SettingsStore::load(*m_store, s);
    QCOMPARE(s.serverPort, port);
    QCOMPARE(s.nagiosExecDir, execDir);
    QCOMPARE(s.hostsRequest, hostsRequest);
    QCOMPARE(s.autoCloseTime, autoCloseTime);
    QCOMPARE(s.hostsRegExp, QStringLiteral("kept")); // the parsing rules are not loading's business
}

void TestSettingsStore::parsingRules_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("hostsRegExp");
    QTest::addColumn<QList<int>>("hostPositions");
    QTest::addColumn<QString>("srvcsRegExp");

    const QString userHosts = QStringLiteral("<td class='(\\w+)'><a href='(\\S+)'>(.+)</a>");
    QTest::newRow("basic: down only, warning and unknown")
        << QByteArray("UseHostUnreachStat=false\nUseSrvCritStat=false\nUseSrvUnknStat=true\n"
                      "HostStatRxPos=3")
        << QString(hostsRegExpTemplate).replace(QLatin1String("status_list"), QLatin1String("statusHOSTDOWN"))
        << QList<int> {1, 2, 3}
        << QString(srvcsRegExpTemplate)
               .replace(QLatin1String("status_list"), QLatin1String("statusBGWARNING|statusBGUNKNOWN"));
    QTest::newRow("advanced with the user's hosts expression")
        << QByteArray("UseBasicRegExpConfig=false\nUseUserDefHostsRegExp=true\nHostStatRxPos=3\n"
                      "HostLinkRxPos=1\nHostNameRxPos=2\nHostsRegExp=\"")
            + userHosts.toUtf8().replace("\\", "\\\\") + '"'
        << userHosts << QList<int> {3, 1, 2} << defaultSrvcsRegExp;
    QTest::newRow("advanced without user expressions")
        << QByteArray("UseBasicRegExpConfig=false\nHostsRegExp=x\nHostStatRxPos=3") << defaultHostsRegExp
        << QList<int> {1, 2, 3} << defaultSrvcsRegExp;
}

void TestSettingsStore::parsingRules()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, hostsRegExp);
    QFETCH(QList<int>, hostPositions);
    QFETCH(QString, srvcsRegExp);
    writeRaw(stored + '\n');

    MonitorSettings s;
    const StoredSettings values = SettingsStore::read(*m_store);
    assignStoredSettings(s, values);
    assignParsingRules(s, values);
    QCOMPARE(s.hostsRegExp, hostsRegExp);
    QCOMPARE(QList<int>({s.hostStatRxPos, s.hostLinkRxPos, s.hostNameRxPos}), hostPositions);
    QCOMPARE(s.srvcsRegExp, srvcsRegExp);
}

void TestSettingsStore::listEncoding_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("two entries") << QStringLiteral("web1|db2|") << QStringList {"web1", "db2"};
    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("doubled separator") << QStringLiteral("web1||db2") << QStringList {"web1", "db2"};
    QTest::newRow("leading separator") << QStringLiteral("|web1|db2") << QStringList {"web1", "db2"};
}

void TestSettingsStore::listEncoding()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, entries);

    QCOMPARE(decodeList(stored), entries);
    QCOMPARE(decodeList(encodeList(entries)), entries);
    QCOMPARE(encodeList(entries).endsWith(QLatin1Char('|')), !entries.isEmpty());
}

void TestSettingsStore::portNumberAndAuthority_data()
{
    QTest::addColumn<bool>("https");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("authority");

    QTest::newRow("https default") << true << QStringLiteral("443") << 443 << QStringLiteral("nagios.lan");
    QTest::newRow("http 8080") << false << QStringLiteral("8080") << 8080
                               << QStringLiteral("nagios.lan:8080");
    QTest::newRow("https on 80") << true << QStringLiteral("80") << 80 << QStringLiteral("nagios.lan:80");
    QTest::newRow("wraps modulo 65536")
        << false << QStringLiteral("70000") << 4464 << QStringLiteral("nagios.lan:4464");
}

void TestSettingsStore::portNumberAndAuthority()
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
}

void TestSettingsStore::restrictToOwnerNarrowsPermissions()
{
    const QString path = m_dir->filePath(QStringLiteral("secret.conf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));

    QVERIFY(SettingsStore::restrictToOwner(path));
    QCOMPARE(QFile::permissions(path) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    QVERIFY(SettingsStore::restrictToOwner(m_dir->filePath(QStringLiteral("missing.conf"))));
}

// Qt writes the settings into a new file that takes the permissions of the old one.
void TestSettingsStore::newFileIsPrivateBeforeTheFirstWrite()
{
    const QString path = m_dir->filePath(QStringLiteral("Kelmora/Tarvix.conf"));
    QVERIFY(SettingsStore::createPrivately(path));
    const QFile::Permissions others
        = QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther;
    QCOMPARE(QFile::permissions(path) & others, QFile::Permissions());
    {
        QSettings store(path, QSettings::IniFormat);
        store.setValue(QStringLiteral("Password"), QStringLiteral("secret"));
    }
    QCOMPARE(QFile::permissions(path) & others, QFile::Permissions());
    QVERIFY(SettingsStore::createPrivately(path)); // an existing file is left alone
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
