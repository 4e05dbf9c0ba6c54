#include "monitor/nagioscommand.h"
#include "config/monitorsettings.h"
#include "tools/nagiossimulator.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <optional>

namespace {

// The command forms and answers of Debian 12's nagios4 4.4.6-4+deb12u2, cut to what matters;
// its nagFormId input really lacks its closing ">".
const QByteArray formStart = "<form method='post' action='cmd.cgi'>\n";
const QByteArray csrfField = "<INPUT TYPE='hidden' NAME='nagFormId' VALUE='216231b1f16e9e8'\n";
const QByteArray ackForm = "<TABLE CELLSPACING=0 CELLPADDING=0 CLASS='optBox'>\n"
                           "<tr><td><INPUT TYPE='HIDDEN' NAME='cmd_typ' VALUE='34'><INPUT TYPE='HIDDEN' "
                           "NAME='cmd_mod' VALUE='2'></td></tr>\n"
                           "<tr><td><b><INPUT TYPE='TEXT' NAME='host' VALUE='web01'></b></td></tr>\n"
                           "<tr><td><b><INPUT TYPE='checkbox' NAME='sticky_ack' CHECKED></b></td></tr>\n"
                           "<tr><td><b><INPUT TYPE='TEXT' NAME='com_author' VALUE='tarvix' ></b></td></tr>\n"
                           "<INPUT TYPE='submit' NAME='btnSubmit' VALUE='Commit'></table>\n</form>\n";
const QByteArray checkForm
    = "<form method='post' action='cmd.cgi'>\n"
      "<tr><td><INPUT TYPE='HIDDEN' NAME='cmd_typ' VALUE='7'><INPUT TYPE='HIDDEN' "
      "NAME='cmd_mod' VALUE='2'></td></tr>\n"
      "<tr><td><b><INPUT TYPE='TEXT' NAME='start_time' VALUE='12-07-2026 "
      "18:40:46'></b></td></tr>\n"
      "<tr><td><b><INPUT TYPE='checkbox' NAME='force_check' ></b></td></tr>\n</form>\n";
const QByteArray submitted = "<P><DIV CLASS='infoMessage'>Your command request was successfully submitted to "
                             "Nagios for processing.<BR><BR>\nNote: It may take a while before the command "
                             "is actually processed.<BR><BR>\n";
const QByteArray notAuthorized
    = "<P><DIV CLASS='errorMessage'>Sorry, but you are not authorized to commit the specified "
      "command.</DIV></P>\n<P><DIV CLASS='errorDescription'>Read the section of the documentation that "
      "deals with authentication and authorization in the CGIs for more information.<BR><BR>\n";
const QByteArray csrfError
    = "</table>\n<p>Error: Invalid or missing CSRF cookie!</p>\n\n<!-- Produced by Nagios";
const QByteArray noPermission
    = "<P><DIV CLASS='errorMessage'>It appears as though you do not have permission "
      "to submit the command you requested...</DIV></P>";

struct Answer
{
    int status = 200;
    QByteArray headers;
    QByteArray body;
};

struct Seen
{
    QByteArray method;
    QByteArray target;
    QByteArray cookie;
    QByteArray body;
};

// A cmd.cgi on loopback: GET gets the form answer, POST the command answer; one request per
// connection. Silent: reads requests and never answers.
class FakeCmdCgi : public QObject
{
public:
    Answer form;
    Answer post;
    bool silent = false;
    QList<Seen> seen;

    FakeCmdCgi()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onData(socket); });
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }
    quint16 port() const { return m_server.serverPort(); }
    qsizetype posts() const
    {
        return std::count_if(seen.cbegin(), seen.cend(), [](const Seen& s) { return s.method == "POST"; });
    }

private:
    void onData(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        Seen request;
        const QList<QByteArray> first = lines.first().trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        qsizetype length = 0;
        for (const QByteArray& line : lines) {
            const qsizetype colon = line.indexOf(':');
            const QByteArray name = line.left(colon).trimmed().toLower();
            if (name == "content-length")
                length = line.mid(colon + 1).trimmed().toLongLong();
            else if (name == "cookie")
                request.cookie = line.mid(colon + 1).trimmed();
        }
        if (buffer.size() < end + 4 + length)
            return;
        request.body = buffer.mid(end + 4, length);
        m_buffers.remove(socket);
        seen.append(request);
        if (silent)
            return;
        const Answer& a = request.method == "POST" ? post : form;
        socket->write("HTTP/1.1 " + QByteArray::number(a.status) + " X\r\nContent-Type: text/html\r\n"
            + a.headers + "Content-Length: " + QByteArray::number(a.body.size())
            + "\r\nConnection: close\r\n\r\n" + a.body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

} // namespace

class TestNagiosCommand : public QObject
{
    Q_OBJECT

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect"))); }
    void command_data();
    void command();
    void answerPage_data();
    void answerPage();
    void silentServerTimesOut();
    void certificatePolicy_data();
    void certificatePolicy();
    void serverAsThePollsUseIt();
};

void TestNagiosCommand::command_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<Answer>("form");
    QTest::addColumn<QByteArray>("postPage");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QByteArray>("get"); // the form request's target
    QTest::addColumn<QByteArrayList>("fields"); // expected in the POST body, encoded
    QTest::addColumn<QByteArrayList>("absent"); // field names that must not be sent
    QTest::addColumn<QByteArray>("cookie"); // expected with the POST

    const Answer csrfForm {200, "Set-Cookie: NagFormId=216231b1f16e9e8; SameSite=Strict; HttpOnly\r\n",
        formStart + csrfField + ackForm};
    const int submittedOutcome = int(NagiosCommand::Outcome::Submitted);
    const int refusedOutcome = int(NagiosCommand::Outcome::Refused);
    const int failedOutcome = int(NagiosCommand::Outcome::Failed);
    const QString confirmation
        = QStringLiteral("Your command request was successfully submitted to Nagios for processing.");
    const QByteArray ackGet
        = "/cgi-bin/nagios4/cmd.cgi?cmd_typ=34&host=lab%20printer&service=Disk%3A%20%2Fvar%2B";

    QTest::newRow("CSRF form: the POST carries its cookie and field")
        << "ack-service" << csrfForm << submitted << submittedOutcome << confirmation << ackGet
        << QByteArrayList {"cmd_typ=34", "cmd_mod=2", "host=lab%20printer", "service=Disk%3A%20%2Fvar%2B",
               "com_author=Ann%20Smith", "com_data=On%20it%20%26%20more", "sticky_ack=on",
               "send_notification=on", "nagFormId=216231b1f16e9e8", "btnSubmit=Commit"}
        << QByteArrayList {"persistent"} << QByteArray("NagFormId=216231b1f16e9e8");
    QTest::newRow("form without CSRF field: neither is sent; check time from the form")
        << "recheck-service" << Answer {200, {}, formStart + checkForm} << submitted << submittedOutcome
        << confirmation
        << QByteArray("/cgi-bin/nagios4/cmd.cgi?cmd_typ=7&host=lab%20printer&service=Disk%3A%20%2Fvar%2B")
        << QByteArrayList {"cmd_typ=7", "start_time=12-07-2026%2018%3A40%3A46", "force_check=on"}
        << QByteArrayList {"nagFormId", "com_author"} << QByteArray();
    QTest::newRow("host acknowledgement: only the ticked boxes")
        << "ack-host" << csrfForm << submitted << submittedOutcome << confirmation
        << QByteArray("/cgi-bin/nagios4/cmd.cgi?cmd_typ=33&host=lab%20printer")
        << QByteArrayList {"cmd_typ=33", "persistent=on"}
        << QByteArrayList {"service", "sticky_ack", "send_notification"}
        << QByteArray("NagFormId=216231b1f16e9e8");
    QTest::newRow("not authorized: refused with Nagios' sentence")
        << "ack-service" << csrfForm << notAuthorized << refusedOutcome
        << "Sorry, but you are not authorized to commit the specified command." << ackGet << QByteArrayList()
        << QByteArrayList() << QByteArray("NagFormId=216231b1f16e9e8");
    QTest::newRow("CSRF check failed: refused")
        << "ack-service" << csrfForm << csrfError << refusedOutcome
        << "Error: Invalid or missing CSRF cookie!" << ackGet << QByteArrayList() << QByteArrayList()
        << QByteArray("NagFormId=216231b1f16e9e8");
    QTest::newRow("no form but an error page: refused, nothing posted")
        << "ack-service" << Answer {200, {}, noPermission} << QByteArray() << refusedOutcome
        << "It appears as though you do not have permission to submit the command you requested..." << ackGet
        << QByteArrayList() << QByteArrayList() << QByteArray();
    QTest::newRow("401: failed, nothing posted")
        << "ack-service" << Answer {401, "WWW-Authenticate: Basic realm=\"Nagios\"\r\n", "no"} << QByteArray()
        << failedOutcome << "HTTP status 401" << ackGet << QByteArrayList() << QByteArrayList()
        << QByteArray();
    QTest::newRow("404: failed, nothing posted")
        << "recheck-host" << Answer {404, {}, "Not Found"} << QByteArray() << failedOutcome
        << "HTTP status 404" << QByteArray("/cgi-bin/nagios4/cmd.cgi?cmd_typ=96&host=lab%20printer")
        << QByteArrayList() << QByteArrayList() << QByteArray();
}

void TestNagiosCommand::command()
{
    QFETCH(QString, action);
    QFETCH(Answer, form);
    QFETCH(QByteArray, postPage);
    QFETCH(int, outcome);
    QFETCH(QString, reason);
    QFETCH(QByteArray, get);
    QFETCH(QByteArrayList, fields);
    QFETCH(QByteArrayList, absent);
    QFETCH(QByteArray, cookie);

    FakeCmdCgi cgi;
    cgi.form = form;
    cgi.post = {200, {}, postPage};
    NagiosCommand command({QStringLiteral("127.0.0.1"), cgi.port(), false,
        QStringLiteral("/cgi-bin/nagios4/"), QStringLiteral("tarvix"), QStringLiteral("pw")});
    std::optional<NagiosCommand::Result> result;
    int results = 0;
    connect(&command, &NagiosCommand::finished, this, [&](const NagiosCommand::Result& r) {
        result = r;
        ++results;
    });
    const QString host = QStringLiteral("lab printer");
    const QString service = QStringLiteral("Disk: /var+");
    if (action.startsWith(QLatin1String("ack"))) {
        NagiosCommand::Acknowledgement ack {QStringLiteral("Ann Smith"), QStringLiteral("On it & more")};
        if (action == QLatin1String("ack-host"))
            ack = {QStringLiteral("Ann"), QStringLiteral("x"), false, false, true};
        command.acknowledge(host, action == QLatin1String("ack-host") ? QString() : service, ack);
    } else {
        command.recheck(host, action == QLatin1String("recheck-host") ? QString() : service);
    }
    QVERIFY(!result); // never from inside the call
    QTRY_VERIFY(result);
    QCOMPARE(int(result->outcome), outcome);
    QVERIFY2(result->reason.contains(reason), qPrintable(result->reason));
    QCOMPARE(cgi.seen.first().target, get);
    QCOMPARE(cgi.posts(), postPage.isEmpty() ? 0 : 1);
    if (!postPage.isEmpty()) {
        const Seen& post = cgi.seen.last();
        QCOMPARE(post.target, QByteArray("/cgi-bin/nagios4/cmd.cgi"));
        QCOMPARE(post.cookie, cookie);
        const QByteArrayList sent = post.body.split('&');
        for (const QByteArray& field : fields)
            QVERIFY2(sent.contains(field), field + " not in " + post.body);
        for (const QByteArray& name : absent)
            QVERIFY2(!post.body.contains(name + '='), name + " in " + post.body);
    }
    QTest::qWait(50);
    QCOMPARE(results, 1);
}

void TestNagiosCommand::answerPage_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("reason");
    QTest::newRow("error box: its text only, markup and entities undone")
        << QByteArray("<DIV CLASS='errorMessage'>Author <b>was</b> not entered &amp; &#1044;</DIV>\n"
               + notAuthorized)
        << int(NagiosCommand::Outcome::Refused) << QStringLiteral("Author was not entered & \u0414");
    QTest::newRow("an error beside a confirmation wins")
        << QByteArray(submitted + "<p>Error: Could not open command file for update!</p>")
        << int(NagiosCommand::Outcome::Refused)
        << QStringLiteral("Error: Could not open command file for update!");
    QTest::newRow("a page that says nothing is no confirmation")
        << QByteArray("<html><body>Results 1 - 0 of 0 Matching Services</body></html>")
        << int(NagiosCommand::Outcome::Refused) << QStringLiteral("Nagios did not confirm the command.");
}

void TestNagiosCommand::answerPage()
{
    QFETCH(QByteArray, page);
    QFETCH(int, outcome);
    QFETCH(QString, reason);
    const NagiosCommand::Result result = NagiosCommand::readAnswer(page);
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(result.reason, reason);
}

// Destroying a command in flight ends it without a signal.
void TestNagiosCommand::silentServerTimesOut()
{
    FakeCmdCgi cgi;
    cgi.silent = true;
    NagiosCommand::Server server;
    server.host = QStringLiteral("127.0.0.1");
    server.port = cgi.port();
    server.cgiDirectory = QStringLiteral("/nagios/cgi-bin/");
    NagiosCommand command(server);
    command.setTimeout(300);
    std::optional<NagiosCommand::Result> result;
    connect(&command, &NagiosCommand::finished, this, [&](const NagiosCommand::Result& r) { result = r; });
    command.recheck(QStringLiteral("web01"), {});
    auto destroyed = std::make_unique<NagiosCommand>(server);
    bool destroyedFinished = false;
    connect(destroyed.get(), &NagiosCommand::finished, this, [&] { destroyedFinished = true; });
    destroyed->recheck(QStringLiteral("web01"), {});
    QTRY_COMPARE(cgi.seen.size(), 2);
    destroyed.reset();
    QTRY_VERIFY(result);
    QCOMPARE(int(result->outcome), int(NagiosCommand::Outcome::Failed));
    QVERIFY2(result->reason.contains(QLatin1String("did not answer")), qPrintable(result->reason));
    QVERIFY(!destroyedFinished);
}

void TestNagiosCommand::certificatePolicy_data()
{
    QTest::addColumn<bool>("verify");
    QTest::newRow("accepting errors reaches the server (which has no cmd.cgi)") << false;
    QTest::newRow("verifying refuses the self-signed certificate") << true;
}

void TestNagiosCommand::certificatePolicy()
{
    QFETCH(bool, verify);
    NagiosSimulator secure;
    QVERIFY2(secure.start(true), qPrintable(secure.errorString()));
    NagiosCommand::Server server;
    server.host = QStringLiteral("127.0.0.1");
    server.port = secure.port();
    server.useHttps = true;
    server.cgiDirectory = QStringLiteral("/nagios/cgi-bin/");
    server.verifyPeer = verify;
    NagiosCommand command(server);
    std::optional<NagiosCommand::Result> result;
    connect(&command, &NagiosCommand::finished, this, [&](const NagiosCommand::Result& r) { result = r; });
    command.recheck(QStringLiteral("web01"), {});
    QTRY_VERIFY(result);
    QCOMPARE(result->outcome, NagiosCommand::Outcome::Failed);
    QCOMPARE(result->statusCode, verify ? 0 : 404);
    QCOMPARE(secure.requestCount(), verify ? 0 : 1);
}

// Credentials only with HTTP authentication on; "DenySSLCert" off accepts any certificate.
void TestNagiosCommand::serverAsThePollsUseIt()
{
    MonitorSettings settings;
    settings.serverAddress = QStringLiteral("nagios.example");
    settings.serverPort = QStringLiteral("70443");
    settings.useHttps = true;
    settings.nagiosExecDir = QStringLiteral("/cgi-bin/nagios4/");
    settings.login = QStringLiteral("ann");
    settings.password = QStringLiteral("pw");
    settings.denySslCert = false;
    NagiosCommand::Server server = NagiosCommand::serverFor(settings);
    QCOMPARE(server.port, quint16(70443 % 65536));
    QVERIFY(server.useHttps && !server.verifyPeer);
    QCOMPARE(server.cgiDirectory, settings.nagiosExecDir);
    QVERIFY(server.user.isEmpty() && server.password.isEmpty());
    settings.useHttpAuth = true;
    server = NagiosCommand::serverFor(settings);
    QCOMPARE(server.user + server.password, QStringLiteral("annpw"));
}

QTEST_GUILESS_MAIN(TestNagiosCommand)
#include "tst_nagioscommand.moc"
