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
QVariant otherValue(const SettingEntry& entry)
{
    switch (entry.type) {
    case StoredType::Flag:
        return !entry.defaultValue.toBool();
    case StoredType::Number: // the bounds themselves are valid
        return entry.defaultValue.toInt() == entry.minimum ? entry.maximum : entry.minimum;
    case StoredType::PortText:
        return QStringLiteral("8081");
    case StoredType::DigitText:
        return QStringLiteral("7");
    case StoredType::Text:
        return QStringLiteral("value of %1 | with: marks").arg(entry.name);
    case StoredType::List:
        return QStringList {QStringLiteral("zeta"), QStringLiteral("HTTP Check:web 1")};
    case StoredType::Choice:
        return entry.choices.last();
    }
    return {};
}

} // namespace

// The settings file: what is written, what is read back and what a hand-edited file makes of it.
class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void everyKeyRoundTrips();
    void missingKeysReadTheirDefaults();
    void inForce_data();
    void inForce();
    void fileIsPrivate();
    void serversRoundTrip();
    void removingAServerKeepsTheOthers_data();
    void removingAServerKeepsTheOthers();
    void serverOrderIsChecked_data();
    void serverOrderIsChecked();

private:
    QString storePath() const { return m_dir->filePath(QStringLiteral("Tarvix.conf")); }
    // Three servers as the window saves them: each with its own values of every per-server key.
    QList<std::pair<QString, StoredSettings>> writeThreeServers();
    // Written as raw text, as a hand-edited or damaged file holds it.
    void writeRaw(const QByteArray& lines);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QSettings> m_store;
};

void TestSettingsStore::init()
{
    // The last case's store first: it writes what it holds when it goes, and would make its removed
    // folder again.
    m_store.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    m_store = std::make_unique<QSettings>(storePath(), QSettings::IniFormat);
}

void TestSettingsStore::writeRaw(const QByteArray& lines)
{
    m_store.reset();
    QFile file(storePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[General]\n" + lines + '\n');
    file.close();
    m_store = std::make_unique<QSettings>(storePath(), QSettings::IniFormat);
}

void TestSettingsStore::everyKeyRoundTrips()
{
    StoredSettings values = StoredSettings::defaults();
    for (const SettingEntry& entry : settingsTable())
        values.set(entry.key, otherValue(entry));

    SettingsStore::write(*m_store, values);
    m_store->sync();

    QSettings reread(storePath(), QSettings::IniFormat);
    QCOMPARE(reread.allKeys().size(), settingKeyCount);
    QCOMPARE(
        reread.value(QStringLiteral("ServicesList")).toString(), QStringLiteral("zeta|HTTP Check:web 1|"));
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    const StoredSettings read = SettingsStore::read(reread);
    for (const SettingEntry& entry : settingsTable())
        QVERIFY2(read.value(entry.key) == values.value(entry.key), entry.name.data());
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

void TestSettingsStore::inForce_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QStringList>("expected"); // "field=value" of the fields the row is about
    QTest::addColumn<QString>("unusable"); // the key whose value is refused with a warning

    const QString dir = QStringLiteral("dir=") + defaultNagiosExecDir;
    const QString request = QStringLiteral("hostsRequest=") + defaultHostsRequest;
    const QString basic = QStringLiteral("positions=1 2 3");
    auto row
        = [](const char* name, const char* stored, const QStringList& expected, const char* unusable = "") {
              QTest::newRow(name) << QByteArray(stored) << expected << QString::fromLatin1(unusable);
          };
    row("nothing stored", "", {"port=80", "authority=nagios.lan", dir, request, "autoClose=0", basic});
    row("https reads only its own port", "UseHTTPS=true\nHTTPPort=8080",
        {"port=443", "authority=nagios.lan"});
    row("http with both ports", "HTTPPort=8080\nHTTPSPort=8443", {"port=8080", "authority=nagios.lan:8080"});
    row("https on port 80", "UseHTTPS=true\nHTTPSPort=80", {"authority=nagios.lan:80"});
    row("own directory without slashes", "UseUserDefExecDir=true\nUserDefNagiosExecDir=cgi-bin/nagios4",
        {"dir=/cgi-bin/nagios4/"});
    row("own directory empty", "UseUserDefExecDir=true\nUserDefNagiosExecDir=", {"dir=/"});
    row("own directory switched off", "UserDefNagiosExecDir=cgi", {dir});
    row("own hosts request", "UseUserDefHostsRequest=true\nUserDefHostsRequest=status.cgi?hostgroup=web",
        {"hostsRequest=status.cgi?hostgroup=web"});
    row("own hosts request switched off", "UserDefHostsRequest=status.cgi?hostgroup=web", {request});
    row("auto-close time without auto-close", "AutoCloseTime=25", {"autoClose=0"});
    row("auto-close time with auto-close", "AutoClose=true\nAutoCloseTime=25", {"autoClose=25"});
    row("empty list entries are skipped", "HostsList=|web1||db2", {"hosts=web1,db2"});
    row("basic: down only, warning and unknown",
        "UseHostUnreachStat=false\nUseSrvCritStat=false\nUseSrvUnknStat=true\nHostStatRxPos=3",
        {"hostsRegExp=" + QString(hostsRegExpTemplate).replace("status_list", "statusHOSTDOWN"), basic,
            "srvcsRegExp="
                + QString(srvcsRegExpTemplate).replace("status_list", "statusBGWARNING|statusBGUNKNOWN")});
    row("advanced with the user's hosts expression",
        "UseBasicRegExpConfig=false\nUseUserDefHostsRegExp=true\nHostStatRxPos=3\nHostLinkRxPos=1\n"
        "HostNameRxPos=2\n"
        R"(HostsRegExp="<td class='(\\w+)'><a href='(\\S+)'>(.+)</a>")",
        {R"(hostsRegExp=<td class='(\w+)'><a href='(\S+)'>(.+)</a>)", "positions=3 1 2",
            "srvcsRegExp=" + defaultSrvcsRegExp});
    row("advanced without user expressions", "UseBasicRegExpConfig=false\nHostsRegExp=x\nHostStatRxPos=3",
        {"hostsRegExp=" + defaultHostsRegExp, basic});
    // A hand-edited file: each unusable value falls back to the default.
    row("period 0", "RequestPeriod=0", {"period=15"}, "RequestPeriod");
    row("period 3000000", "RequestPeriod=3000000", {"period=15"}, "RequestPeriod");
    row("period not a number", "RequestPeriod=often", {"period=15"}, "RequestPeriod");
    row("port 70000", "UseHTTPS=true\nHTTPSPort=70000", {"port=443"}, "HTTPSPort");
    row("position -1", "UseBasicRegExpConfig=false\nUseUserDefHostsRegExp=true\nHostNameRxPos=-1",
        {"positions=1 2 3"}, "HostNameRxPos");
    row("menu mode 4", "NumMenuOnLMK=4", {"menu=0"}, "NumMenuOnLMK");
    row("menu mode 3, the problems window", "NumMenuOnLMK=3", {"menu=3"});
    row("switch neither true nor false", "DenySSLCert=maybe", {"deny=true"}, "DenySSLCert");
}

void TestSettingsStore::inForce()
{
    QFETCH(QByteArray, stored);
    QFETCH(QStringList, expected);
    QFETCH(QString, unusable);
    writeRaw("ServerAddress=nagios.lan\n" + stored);

    if (!unusable.isEmpty())
        QTest::ignoreMessage(QtWarningMsg,
            QRegularExpression(QStringLiteral("^Settings: %1=.* is not a usable value").arg(unusable)));
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    MonitorSettings s;
    const StoredSettings values = SettingsStore::read(*m_store);
    assignStoredSettings(s, values);
    assignParsingRules(s, values);
    const QHash<QString, QString> fields {{"port", s.serverPort}, {"authority", s.serverAuthority()},
        {"dir", s.nagiosExecDir}, {"hostsRequest", s.hostsRequest},
        {"autoClose", QString::number(s.autoCloseTime)}, {"hosts", s.hostsList.join(QLatin1Char(','))},
        {"hostsRegExp", s.hostsRegExp},
        {"positions",
            QStringLiteral("%1 %2 %3").arg(s.hostStatRxPos).arg(s.hostLinkRxPos).arg(s.hostNameRxPos)},
        {"srvcsRegExp", s.srvcsRegExp}, {"period", QString::number(s.requestPeriod)},
        {"menu", QString::number(s.numMenuOnLMK)}, {"deny", s.denySslCert ? "true" : "false"}};
    for (const QString& item : expected) {
        const QString field = item.section(QLatin1Char('='), 0, 0);
        QCOMPARE(field + QLatin1Char('=') + fields.value(field), item);
    }
}

// It holds the password. Qt writes the settings into a new file that takes the permissions of the
// old one, so a new file is made private before the first write, and an old one narrowed.
void TestSettingsStore::fileIsPrivate()
{
    const QFile::Permissions others
        = QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther;
    const QString path = m_dir->filePath(QStringLiteral("Kelmora/Tarvix.conf"));
    QVERIFY(SettingsStore::createPrivately(path));
    QCOMPARE(QFile::permissions(path) & others, QFile::Permissions());
    {
        QSettings store(path, QSettings::IniFormat);
        store.setValue(QStringLiteral("Password"), QStringLiteral("secret"));
    }
    QCOMPARE(QFile::permissions(path) & others, QFile::Permissions());
    QVERIFY(SettingsStore::createPrivately(path)); // an existing file is left alone

    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    QVERIFY(SettingsStore::restrictToOwner(path));
    QCOMPARE(QFile::permissions(path) & others, QFile::Permissions());
    QVERIFY(SettingsStore::restrictToOwner(m_dir->filePath(QStringLiteral("missing.conf"))));
}

QList<std::pair<QString, StoredSettings>> TestSettingsStore::writeThreeServers()
{
    QList<std::pair<QString, StoredSettings>> servers;
    const QStringList ids {SettingsStore::firstServerId, QStringLiteral("lab7x"), QStringLiteral("k2")};
    StoredSettings global = StoredSettings::defaults();
    global.set(K::RequestPeriod, 42);
    global.set(K::ServersOrder, ids.join(QLatin1Char(',')));
    SettingsStore::writeGlobal(*m_store, global);
    for (int n = 0; n < ids.size(); ++n) {
        StoredSettings values = global;
        for (const SettingEntry& entry : settingsTable()) {
            if (entry.scope == SettingScope::PerServer && n > 0)
                values.set(entry.key, otherValue(entry));
        }
        values.set(K::ServerAddress, QStringLiteral("nagios-%1.lan").arg(n));
        values.set(K::ServerName, QStringLiteral("site %1").arg(n));
        SettingsStore::writeServer(*m_store, ids.at(n), values);
        servers.append({ids.at(n), values});
    }
    SettingsStore::writeServerOrder(*m_store, ids);
    m_store->sync();
    return servers;
}

// Each server reads back exactly what was written for it; the first one's keys are the flat ones
// an older Tarvix reads, the program's own keys exist once.
void TestSettingsStore::serversRoundTrip()
{
    const auto servers = writeThreeServers();
    QSettings reread(storePath(), QSettings::IniFormat);
    QCOMPARE(SettingsStore::serverIds(reread), (QStringList {"default", "lab7x", "k2"}));
    for (const auto& [id, values] : servers)
        QVERIFY2(SettingsStore::readServer(reread, id) == values, qPrintable(id));
    QCOMPARE(reread.value(QStringLiteral("ServerAddress")).toString(), QStringLiteral("nagios-0.lan"));
    QCOMPARE(
        reread.value(QStringLiteral("Servers/k2/ServerAddress")).toString(), QStringLiteral("nagios-2.lan"));
    QVERIFY(!reread.contains(QStringLiteral("Servers/k2/RequestPeriod")));
    QCOMPARE(SettingsStore::readServer(reread, QStringLiteral("k2")).number(K::RequestPeriod), 42);

    // A file of an older Tarvix: flat keys only, read as one server, unchanged.
    writeRaw("ServerAddress=old.lan\nHTTPPort=8080\nUseHTTPAuth=true\nLogin=ops");
    QCOMPARE(SettingsStore::serverIds(*m_store), QStringList {SettingsStore::firstServerId});
    const StoredSettings old = SettingsStore::readServer(*m_store, SettingsStore::firstServerId);
    QCOMPARE(old.text(K::ServerAddress), QStringLiteral("old.lan"));
    QCOMPARE(old.text(K::HttpPort), QStringLiteral("8080"));
    QCOMPARE(old.text(K::Login), QStringLiteral("ops"));
    QVERIFY(old.flag(K::ServerEnabled));
    QCOMPARE(old.text(K::StatusSource), statusSourceCgi);
}

void TestSettingsStore::removingAServerKeepsTheOthers_data()
{
    QTest::addColumn<int>("removed");
    QTest::newRow("the first, whose keys are flat") << 0;
    QTest::newRow("one in the middle") << 1;
    QTest::newRow("the last") << 2;
}

void TestSettingsStore::removingAServerKeepsTheOthers()
{
    QFETCH(int, removed);
    auto servers = writeThreeServers();
    const QString gone = servers.at(removed).first;
    SettingsStore::removeServer(*m_store, gone);
    servers.removeAt(removed);
    QStringList ids;
    for (const auto& server : servers)
        ids << server.first;
    for (auto& server : servers)
        server.second.set(K::ServersOrder, ids.join(QLatin1Char(',')));
    SettingsStore::writeServerOrder(*m_store, ids);
    m_store->sync();

    QSettings reread(storePath(), QSettings::IniFormat);
    QCOMPARE(SettingsStore::serverIds(reread), ids);
    for (const auto& [id, values] : servers)
        QVERIFY2(SettingsStore::readServer(reread, id) == values, qPrintable(id));
    QCOMPARE(reread.value(QStringLiteral("RequestPeriod")).toInt(), 42);
    if (gone == SettingsStore::firstServerId) {
        // An older Tarvix finds no server to poll rather than the removed one.
        QVERIFY(!reread.contains(QStringLiteral("ServerAddress")));
        QCOMPARE(reread.value(QStringLiteral("Enabled")).toString(), QStringLiteral("false"));
    } else {
        QVERIFY(reread.allKeys().filter(gone).isEmpty());
    }
}

void TestSettingsStore::serverOrderIsChecked_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QStringList>("ids");
    QTest::newRow("missing") << QByteArray() << QStringList {"default"};
    QTest::newRow("empty") << QByteArray("[Servers]\nOrder=") << QStringList {"default"};
    QTest::newRow("unquoted list, blanks")
        << QByteArray("[Servers]\nOrder=default, ab1 ,cd2") << QStringList {"default", "ab1", "cd2"};
    QTest::newRow("repeated and unusable ids dropped")
        << QByteArray("[Servers]\nOrder=\"ab1,ab1,../x,default\"") << QStringList {"ab1", "default"};
}

void TestSettingsStore::serverOrderIsChecked()
{
    QFETCH(QByteArray, stored);
    QFETCH(QStringList, ids);
    writeRaw(stored);
    QCOMPARE(SettingsStore::serverIds(*m_store), ids);
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
