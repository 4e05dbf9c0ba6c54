#include "monitor/linkmachine.h"

#include <QTest>
#include <QTimeZone>

namespace {

// One event in a few words, and what the machine must do about it: its intents' kinds in order,
// with the question's kind, the balloon's text or the settings page where it matters.
struct Step
{
    QString event;
    QString intents;
};
using Steps = QList<Step>;

QString describe(const LinkIntent& intent)
{
    switch (intent.kind) {
    case LinkIntent::StopPolling:
        return QStringLiteral("stop");
    case LinkIntent::StartPolling:
        return QStringLiteral("start");
    case LinkIntent::CloseConnection:
        return QStringLiteral("close");
    case LinkIntent::ApplyPage:
        return intent.list == StatusList::Hosts ? QStringLiteral("apply hosts")
                                                : QStringLiteral("apply services");
    case LinkIntent::ShowErrorState:
        return QStringLiteral("error");
    case LinkIntent::LeaveErrorState:
        return QStringLiteral("fine");
    case LinkIntent::ShowBalloon:
        return QStringLiteral("balloon ") + intent.text.section(QLatin1Char('\n'), 0, 0);
    case LinkIntent::AskQuestion: {
        const char* kinds[] = {"network", "authentication", "status", "certificate"};
        return QStringLiteral("ask ") + QLatin1String(kinds[int(intent.question.kind)])
            + (intent.question.offersTrust ? QStringLiteral(" or trust") : QString());
    }
    case LinkIntent::OpenSettings:
        return QStringLiteral("settings %1 %2").arg(int(intent.tab)).arg(intent.focusWidget).trimmed();
    case LinkIntent::ExitProgram:
        return QStringLiteral("exit %1").arg(intent.exitCode);
    case LinkIntent::TrustCertificate:
        return QStringLiteral("trust");
    }
    return {};
}

StatusList listOf(const QString& word)
{
    return word == QLatin1String("hosts") ? StatusList::Hosts : StatusList::Services;
}

LinkAnswer answerOf(const QString& word)
{
    if (word == QLatin1String("yes"))
        return LinkAnswer::Yes;
    if (word == QLatin1String("cancel"))
        return LinkAnswer::Cancel;
    if (word == QLatin1String("trust"))
        return LinkAnswer::Trust;
    return LinkAnswer::No;
}

// "network hosts", "authentication services", "unidentified hosts", "status hosts 404",
// "incomplete services", "good hosts", "connecting 10", "connected", "certificate [fingerprint]",
// "answer network yes", "monitor hosts off services on".
QList<LinkIntent> run(LinkMachine& machine, const QString& event, const QDateTime& now)
{
    const QStringList words = event.split(QLatin1Char(' '));
    const QString& verb = words.at(0);
    LinkMachine::Answer answer;
    if (words.size() > 1)
        answer.list = listOf(words.at(1));
    if (verb == QLatin1String("network")) {
        answer.outcome = LinkMachine::Outcome::NetworkError;
        answer.reason = QStringLiteral("Connection refused");
    } else if (verb == QLatin1String("authentication")) {
        answer.outcome = LinkMachine::Outcome::AuthenticationFailure;
    } else if (verb == QLatin1String("unidentified")) {
        answer.outcome = LinkMachine::Outcome::UnidentifiedError;
    } else if (verb == QLatin1String("aborted")) {
        answer.outcome = LinkMachine::Outcome::Aborted;
    } else if (verb == QLatin1String("status")) {
        answer.outcome = LinkMachine::Outcome::StatusCode;
        answer.statusCode = words.at(2).toInt();
    } else if (verb == QLatin1String("incomplete")) {
        answer.outcome = LinkMachine::Outcome::UnreadablePage;
        answer.verdict = PageVerdict::Incomplete;
    } else if (verb == QLatin1String("good")) {
        answer.outcome = LinkMachine::Outcome::GoodPage;
    } else if (verb == QLatin1String("connecting") || verb == QLatin1String("connected")) {
        bool send = false;
        const QList<LinkIntent> intents
            = machine.pollDue(verb == QLatin1String("connecting"), words.value(1).toInt(), &send);
        return send == (verb == QLatin1String("connected")) ? intents : QList<LinkIntent> {};
    } else if (verb == QLatin1String("certificate")) {
        return machine.certificateErrors(
            {QStringLiteral("The certificate is self-signed, and untrusted")}, words.value(1), false);
    } else if (verb == QLatin1String("answer")) {
        const QStringList kinds {"network", "authentication", "status", "certificate"};
        return machine.questionAnswered(LinkQuestionKind(kinds.indexOf(words.at(1))), answerOf(words.at(2)));
    } else if (verb == QLatin1String("monitor")) {
        return machine.monitoringChanged(
            words.at(2) == QLatin1String("on"), words.at(4) == QLatin1String("on"));
    } else {
        qFatal("unknown event %s", qPrintable(event));
    }
    return machine.answerArrived(answer, now);
}

Steps repeat(const Step& step, int times)
{
    return Steps(times, step);
}

} // namespace

Q_DECLARE_METATYPE(Steps)

// The reactions of a server's link to its answers and failures, as a table of events and the
// intents each must give.
class TestLinkMachine : public QObject
{
    Q_OBJECT

private slots:
    void reactions_data();
    void reactions();
};

void TestLinkMachine::reactions_data()
{
    QTest::addColumn<Steps>("steps");
    const QString network = QStringLiteral("stop|error|ask network");
    const QString established = QStringLiteral("fine|balloon Connection with the server is established.");

    QTest::newRow("six network errors of a list are tolerated, the seventh asks; polling goes on after No")
        << repeat({"network hosts", ""}, 6)
            + Steps {{"network services", ""}, {"network hosts", network}, {"answer network no", "start"},
                {"network hosts", network}, {"answer network yes", "exit 1|start"}};
    QTest::newRow("a good answer counts again from zero") << repeat({"network hosts", ""}, 6)
            + Steps {{"good hosts", "apply hosts"}} + repeat({"network hosts", ""}, 6);
    QTest::newRow("a given-up request is no failure") << repeat({"aborted hosts", ""}, 8);
    QTest::newRow("one authentication question while it is open; No opens the settings at the user name")
        << Steps {{"authentication hosts", "stop|error|ask authentication"}, {"authentication services", ""},
               {"answer authentication no", "settings 0 edLogin"},
               {"authentication services", "stop|error|ask authentication"},
               {"answer authentication yes", "exit 2"}};
    QTest::newRow("an unidentified error: one balloon per error state, polling goes on")
        << repeat({"unidentified hosts", ""}, 6)
            + Steps {{"unidentified hosts", "error|balloon During query unidentified error occurred."},
                {"unidentified hosts", ""}, {"good hosts", established + "|apply hosts"}};
    QTest::newRow("a status code: No polls on, and the next good page ends the error state")
        << Steps {{"status services 404", "stop|error|ask status"}, {"answer status no", "start"},
               {"good services", established + "|apply services"}};
    QTest::newRow("a status code: Cancel opens the settings and polls no more; Yes ends with 0")
        << Steps {{"status hosts 500", "stop|error|ask status"}, {"answer status cancel", "settings 0"},
               {"status hosts 500", "stop|error|ask status"}, {"answer status yes", "exit 0"}};
    QTest::newRow("an unreadable list stays stale: the other list's answers neither end the error nor tell")
        << Steps {{"incomplete services", "error|balloon The server's status page arrived incomplete."},
               {"good hosts", "apply hosts"}, {"incomplete services", "error"}, {"good hosts", "apply hosts"},
               {"good services", established + "|apply services"}};
    QTest::newRow("one list back while the other is stale: that list is up to date again")
        << Steps {{"incomplete services", "error|balloon The server's status page arrived incomplete."},
               {"incomplete hosts", "error"},
               {"good hosts", "balloon The list of down hosts is up to date again.|apply hosts"},
               {"good services", established + "|apply services"}};
    QTest::newRow("connecting for 30 s of 10 s polls: the third poll reports it, once per error state")
        << Steps {{"connecting 10", ""}, {"connecting 10", ""},
               {"connecting 10", "error|balloon Timeout while connecting to server"}}
            + repeat({"connecting 10", ""}, 6)
            + Steps {{"connected", ""}, {"good hosts", established + "|apply hosts"}};
    QTest::newRow("connecting for 29 s, then connected: counting starts again")
        << Steps {{"connecting 29", ""}, {"connected", ""}, {"connecting 29", ""},
               {"connecting 1", "error|balloon Timeout while connecting to server"}};
    QTest::newRow("a stale list switched off no longer holds the error state")
        << repeat({"network hosts", ""}, 6)
            + Steps {{"network hosts", network}, {"answer network no", "start"},
                {"monitor hosts off services on", ""}, {"good services", established + "|apply services"},
                {"network hosts", ""}};
    QTest::newRow("both lists switched off: the error state ends at once")
        << Steps {{"incomplete hosts", "error|balloon The server's status page arrived incomplete."},
               {"monitor hosts off services off", "fine"}, {"monitor hosts on services on", ""}};
    QTest::newRow("a certificate question, one at a time; No opens the settings at Misc")
        << Steps {{"certificate", "stop|close|error|ask certificate"}, {"certificate", ""},
               {"answer certificate no", "settings 4"}, {"certificate", "stop|close|error|ask certificate"}};
    QTest::newRow("a certificate with its fingerprint may be trusted, and polling goes on")
        << Steps {{"certificate AB:CD", "stop|close|error|ask certificate or trust"},
               {"answer certificate trust", "trust|start"}, {"good hosts", established + "|apply hosts"}};
}

void TestLinkMachine::reactions()
{
    QFETCH(Steps, steps);
    LinkMachine machine;
    machine.setServerAddress(QStringLiteral("nagios.lan"));
    machine.setServerPort(QStringLiteral("443"));
    QDateTime now(QDate(2026, 12, 8), QTime(10, 0), QTimeZone::utc());
    int number = 0;
    for (const Step& step : steps) {
        QStringList done;
        for (const LinkIntent& intent : run(machine, step.event, now))
            done << describe(intent);
        const QString got = done.join(QLatin1Char('|'));
        QVERIFY2(got == step.intents,
            qPrintable(QStringLiteral("step %1 (%2): %3").arg(++number).arg(step.event, got)));
        now = now.addSecs(15);
    }
}

QTEST_GUILESS_MAIN(TestLinkMachine)
#include "tst_linkmachine.moc"
