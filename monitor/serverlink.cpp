#include "monitor/serverlink.h"

#include "monitor/httpclient.h"
#include "monitor/nagioscommand.h"
#include "monitor/statusjson.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QPointer>
#include <QScopeGuard>

#include <iterator>

Q_LOGGING_CATEGORY(lcMonitor, "tarvix.monitor", QtWarningMsg)

namespace {

LinkMachine::Outcome outcomeOf(HttpClient::Error error)
{
    switch (error) {
    case HttpClient::HostNotFound:
    case HttpClient::ConnectionRefused:
    case HttpClient::UnexpectedClose:
    case HttpClient::InvalidResponseHeader:
    case HttpClient::WrongContentLength:
    case HttpClient::ProxyAuthenticationRequiredError:
        return LinkMachine::Outcome::NetworkError;
    case HttpClient::Aborted:
        return LinkMachine::Outcome::Aborted;
    case HttpClient::AuthenticationRequiredError:
        return LinkMachine::Outcome::AuthenticationFailure;
    default:
        return LinkMachine::Outcome::UnidentifiedError;
    }
}

const char* listName(StatusList list)
{
    return list == StatusList::Hosts ? "hosts" : "services";
}

} // namespace

ServerLink::ServerLink(const QString& id, QObject* parent) : QObject(parent), m_id(id)
{
    connect(&pollTimer, &QTimer::timeout, this, &ServerLink::processTimer);
    connect(&commandFollowUpTimer, &QTimer::timeout, this, &ServerLink::pollAfterCommand);
    commandFollowUpTimer.setSingleShot(true);
}

ServerLink::~ServerLink()
{
    pollTimer.stop();
    if (http) {
        http->abort();
        delete http;
        http = nullptr;
    }
}

void ServerLink::createHttpClient()
{
    http = new HttpClient(this);
    http->setTransport(settings.transportOptions());
    connect(http, &HttpClient::requestFinished, this, &ServerLink::processHttpFinished);
    connect(http, &HttpClient::sslErrors, this, &ServerLink::processSslErrors);
}

// The transport and certificate policy live in the client, so a change of either replaces it.
void ServerLink::recreateHttpClient(bool oldUsesHttps, bool newUsesHttps)
{
    Q_UNUSED(oldUsesHttps);
    Q_UNUSED(newUsesHttps);
    disconnect(http, nullptr, this, nullptr);
    skipNextFinished = true;
    pollTimer.stop();
    abandonRequests();
    http->close();
    http->deleteLater();
    createHttpClient();
    timerStart();
}

// Requests of the old settings are given up, so that the next poll asks with the new ones at once.
void ServerLink::abandonRequests()
{
    http->abort();
    hostsAnswerPending = false;
    servicesAnswerPending = false;
}

void ServerLink::applySettings(const StoredSettings& values)
{
    const MonitorSettings before = settings;
    assignStoredSettings(settings, values);
    if (!http) {
        createHttpClient();
    } else {
        abandonRequests();
        replaceClientForNewTransport(before);
    }

    // A late answer for a kind that is switched off must not be taken for a current one.
    if (!settings.enableHostsMonitoring)
        hostsRequestId = 0;
    if (!settings.enableSrvcsMonitoring)
        servicesRequestId = 0;

    assignParsingRules(settings, values);
    // New settings may be a new user: what it may see is asked again.
    m_visibilityChecked[0] = m_visibilityChecked[1] = false;
    machine.setServerAddress(settings.serverAddress);
    machine.setServerPort(settings.serverPort);
    machine.setRefusesBadCertificates(settings.denySslCert);
    execute(machine.monitoringChanged(settings.enableHostsMonitoring, settings.enableSrvcsMonitoring));
}

// A new certificate policy keeps the protocol; a new protocol follows it (both: two new clients).
void ServerLink::replaceClientForNewTransport(const MonitorSettings& before)
{
    if (settings.denySslCert != before.denySslCert)
        recreateHttpClient(before.useHttps, before.useHttps);
    if (settings.useHttps != before.useHttps)
        recreateHttpClient(before.useHttps, settings.useHttps);
    else if (settings.denySslCert == before.denySslCert
        && settings.transportOptions() != before.transportOptions())
        recreateHttpClient(settings.useHttps, settings.useHttps);
}

void ServerLink::startPolling()
{
    skipNextFinished = false;
    httpGetInfo();
    timerStart();
}

void ServerLink::stopPolling()
{
    pollTimer.stop();
    commandFollowUpTimer.stop();
}

void ServerLink::startInErrorState()
{
    machine.startInErrorState();
}

void ServerLink::restartAfterLanguageChange()
{
    pollTimer.stop();
    http->abort();
    machine.forgetErrorState();
    timerStart();
}

void ServerLink::timerStart()
{
    pollTimer.start(settings.requestPeriod * 1000);
    // A slow answer may span a few polls, but none may run without end.
    http->setTotalTimeout(
        qMax(minimumAnswerLimitSeconds, answerLimitPeriods * settings.requestPeriod) * 1000);
}

void ServerLink::processTimer()
{
    pollTimer.setInterval(settings.requestPeriod * 1000);
    httpGetInfo();
}

void ServerLink::httpGetInfo()
{
    if (settings.useHttpAuth)
        http->setUser(settings.login, settings.password);
    else
        http->setUser(QString(), QString());

    bool sendRequests = false;
    execute(machine.pollDue(http->state() == HttpClient::Connecting, settings.requestPeriod, &sendRequests));
    if (!sendRequests)
        return;

    http->setHost(settings.serverAddress,
        settings.useHttps ? HttpClient::ConnectionModeHttps : HttpClient::ConnectionModeHttp,
        settings.portNumber());
    // A list whose last answer is still coming is not asked for again: a newer request would make
    // that answer's failure (a server that trickles, a time limit) pass unnoticed.
    const bool json = settings.statusSource == StatusSource::StatusJson;
    if (settings.enableHostsMonitoring && !hostsAnswerPending) {
        hostsAnswerPending = true;
        const QString path
            = settings.nagiosExecDir + (json ? jsonHostsQuery(settings) : settings.hostsRequest);
        hostsRequestId = http->get(path);
        qCInfo(lcMonitor).noquote() << m_id << "request hosts id" << hostsRequestId << path;
    }
    if (settings.enableSrvcsMonitoring && !servicesAnswerPending) {
        servicesAnswerPending = true;
        const QString path
            = settings.nagiosExecDir + (json ? jsonServicesQuery(settings) : settings.servicesRequest);
        servicesRequestId = http->get(path);
        qCInfo(lcMonitor).noquote() << m_id << "request services id" << servicesRequestId << path;
    }
}

int ServerLink::pendingRequests() const
{
    return http->pendingRequestCount();
}

bool ServerLink::isMonitored(StatusList list) const
{
    return list == StatusList::Hosts ? settings.enableHostsMonitoring : settings.enableSrvcsMonitoring;
}

const ProblemList& ServerLink::problems(StatusList list) const
{
    return list == StatusList::Hosts ? hostProblems : serviceProblems;
}

ProblemList& ServerLink::problemList(StatusList list)
{
    return list == StatusList::Hosts ? hostProblems : serviceProblems;
}

QString& ServerLink::pageText(StatusList list)
{
    return list == StatusList::Hosts ? hostsPageText : servicesPageText;
}

void ServerLink::clearProblems(StatusList list)
{
    problemList(list).clear();
    emit problemsCleared(list);
}

// The request id decides the list once, here; everything after works on the list.
void ServerLink::processHttpFinished(int id, bool error)
{
    const std::optional<Request> request = takeRequest(id);
    if (skipNextFinished) {
        skipNextFinished = false;
        return;
    }
    if (!request || !isMonitored(request->list))
        return;
    const std::optional<LinkMachine::Answer> answer
        = request->counts ? countsAnswered(request->list, error) : pageAnswered(request->list, error);
    if (answer)
        execute(machine.answerArrived(*answer, QDateTime::currentDateTime()));
    m_walkedPlan = PagePlan();
}

std::optional<ServerLink::Request> ServerLink::takeRequest(int id)
{
    for (const StatusList list : {StatusList::Hosts, StatusList::Services}) {
        const int index = static_cast<int>(list);
        if (id == (list == StatusList::Hosts ? hostsRequestId : servicesRequestId)) {
            (list == StatusList::Hosts ? hostsAnswerPending : servicesAnswerPending) = false;
            return Request {list, false};
        }
        if (id != 0 && id == m_countRequestIds[index]) {
            m_countRequestIds[index] = 0;
            (list == StatusList::Hosts ? hostsAnswerPending : servicesAnswerPending) = false;
            return Request {list, true};
        }
    }
    return std::nullopt;
}

// A failure of the transport or an HTTP status other than 200, as the machine takes it; nothing when
// the answer came with 200.
std::optional<LinkMachine::Answer> ServerLink::failedAnswer(StatusList list, bool error) const
{
    LinkMachine::Answer answer;
    answer.list = list;
    if (error) {
        answer.outcome = outcomeOf(http->error());
        answer.reason = http->errorString();
        qCInfo(lcMonitor).noquote() << m_id << "answer" << listName(list) << "error" << int(http->error())
                                    << answer.reason;
        return answer;
    }
    if (http->lastStatusCode() != 200) {
        answer.outcome = LinkMachine::Outcome::StatusCode;
        answer.statusCode = http->lastStatusCode();
        qCInfo(lcMonitor).noquote() << m_id << "answer" << listName(list) << "status" << answer.statusCode;
        return answer;
    }
    return std::nullopt;
}

// A page: walked, judged, or held back while the server is asked whether the user may see anything.
std::optional<LinkMachine::Answer> ServerLink::pageAnswered(StatusList list, bool error)
{
    // The body is given up as soon as it is read: a large answer is held once at a time, never as
    // bytes and text and the previous page together.
    QByteArray body = http->readAll();
    if (std::optional<LinkMachine::Answer> failed = failedAnswer(list, error))
        return failed;
    qCInfo(lcMonitor).noquote() << m_id << "answer" << listName(list) << "status 200 bytes" << body.size()
                                << "ms" << http->lastDurationMs();
    const PageKind kind = list == StatusList::Hosts ? PageKind::Hosts : PageKind::Services;
    m_walkedEmpty = body.isEmpty();
    if (settings.statusSource == StatusSource::StatusJson) {
        m_walkedPlan = planJsonPage(kind, body, settings, problems(list));
    } else {
        QString& text = pageText(list);
        text = ::pageText(std::exchange(body, QByteArray()));
        const auto forgetText = qScopeGuard([&text] { text = QString(); });
        m_walkedPlan = walkPage(list);
    }
    LinkMachine::Answer answer;
    answer.list = list;
    answer.verdict = m_walkedPlan.verdict;
    answer.totals = m_walkedPlan.totals;
    answer.reason = m_walkedPlan.serverMessage;
    answer.outcome = answer.verdict == PageVerdict::Whole ? LinkMachine::Outcome::GoodPage
                                                          : LinkMachine::Outcome::UnreadablePage;
    if (answer.outcome == LinkMachine::Outcome::GoodPage && mayHideAUserWithoutRights(list)) {
        askWhatTheUserSees(list);
        return std::nullopt;
    }
    return answer;
}

// Nagios answers a user who may see nothing with empty lists, as if all were well. A JSON list that
// is or becomes empty is believed once the counts have shown that the user sees objects at all.
bool ServerLink::mayHideAUserWithoutRights(StatusList list) const
{
    if (settings.statusSource != StatusSource::StatusJson)
        return false;
    const int index = static_cast<int>(list);
    const bool emptyAfter = m_walkedPlan.added.isEmpty() && m_walkedPlan.gone.size() == problems(list).size();
    return emptyAfter && (!m_visibilityChecked[index] || !m_walkedPlan.gone.isEmpty());
}

void ServerLink::askWhatTheUserSees(StatusList list)
{
    const int index = static_cast<int>(list);
    m_deferredPlans[index] = std::exchange(m_walkedPlan, PagePlan());
    // The list counts as asked for until the counts are in: a newer request would be judged
    // against the entries before this plan.
    (list == StatusList::Hosts ? hostsAnswerPending : servicesAnswerPending) = true;
    m_countRequestIds[index] = http->get(settings.nagiosExecDir
        + (list == StatusList::Hosts ? jsonHostCountQuery() : jsonServiceCountQuery()));
    qCInfo(lcMonitor).noquote() << m_id << "request" << listName(list) << "count id"
                                << m_countRequestIds[index];
}

std::optional<LinkMachine::Answer> ServerLink::countsAnswered(StatusList list, bool error)
{
    const int index = static_cast<int>(list);
    const QByteArray body = http->readAll();
    PagePlan deferred = std::exchange(m_deferredPlans[index], PagePlan());
    if (std::optional<LinkMachine::Answer> failed = failedAnswer(list, error))
        return failed;
    const JsonStatusCounts counts = readJsonCounts(body);
    LinkMachine::Answer answer;
    answer.list = list;
    answer.outcome = LinkMachine::Outcome::UnreadablePage;
    if (counts.result.verdict != JsonVerdict::Whole) {
        answer.verdict = counts.result.verdict == JsonVerdict::Unreadable ? PageVerdict::Unreadable
                                                                          : PageVerdict::NotStatusPage;
        answer.reason = counts.result.message;
    } else if (counts.total == 0) {
        answer.verdict = PageVerdict::NothingVisible;
        answer.reason = counts.result.user;
    } else {
        m_visibilityChecked[index] = true;
        m_walkedEmpty = false;
        m_walkedPlan = std::move(deferred);
        answer.outcome = LinkMachine::Outcome::GoodPage;
    }
    qCInfo(lcMonitor).noquote() << m_id << "answer" << listName(list) << "count" << counts.total << "user"
                                << counts.result.user;
    return answer;
}

PagePlan ServerLink::walkPage(StatusList list) const
{
    if (list == StatusList::Hosts)
        return planPage(PageKind::Hosts, hostsPageText,
            {settings.hostsRegExp, settings.hostStatRxPos, settings.hostLinkRxPos, settings.hostNameRxPos},
            settings, hostProblems);
    return planPage(PageKind::Services, servicesPageText,
        {settings.srvcsRegExp, settings.srvStatRxPos, settings.srvLinkRxPos, settings.srvNameRxPos}, settings,
        serviceProblems);
}

// An empty answer is no page: the list stays as it is and nothing is told.
void ServerLink::applyPage(StatusList list)
{
    if (m_walkedEmpty)
        return;
    m_lastData = QDateTime::currentDateTime();
    PagePlan plan = std::exchange(m_walkedPlan, PagePlan());
    const QPointer<ServerLink> alive(this);
    emit pageWalked(list, plan);
    if (!alive)
        return;
    applyPlan(std::move(plan), problemList(list));
    emit problemsChanged(list);
}

void ServerLink::processSslErrors(const QList<QSslError>& errors)
{
    QStringList texts;
    for (const QSslError& sslError : errors)
        texts << sslError.errorString();
    const PeerCertificate peer = http->peerCertificate();
    m_offeredPin = peer.publicKeyPin;
    execute(machine.certificateErrors(texts, peer.sha256Fingerprint, peer.changed));
}

void ServerLink::answerQuestion(LinkQuestionKind kind, LinkAnswer answer)
{
    execute(machine.questionAnswered(kind, answer));
}

void ServerLink::trustCertificate()
{
    if (m_offeredPin.isEmpty())
        return;
    settings.pinnedPublicKey = std::exchange(m_offeredPin, QString());
    recreateHttpClient(settings.useHttps, settings.useHttps);
    emit certificateTrusted(settings.pinnedPublicKey);
}

// A receiver may open a modal question (a nested event loop) in which the link is removed.
void ServerLink::execute(const QList<LinkIntent>& intents)
{
    const QPointer<ServerLink> alive(this);
    for (const LinkIntent& intent : intents) {
        if (!alive)
            return;
        switch (intent.kind) {
        case LinkIntent::StopPolling:
            pollTimer.stop();
            break;
        case LinkIntent::StartPolling:
            timerStart();
            break;
        case LinkIntent::CloseConnection:
            http->close();
            break;
        case LinkIntent::ApplyPage:
            applyPage(intent.list);
            break;
        case LinkIntent::ShowErrorState:
            m_errorMessage = intent.text;
            qCInfo(lcMonitor).noquote()
                << m_id
                << "error state:" << QString(intent.text).replace(QLatin1Char('\n'), QLatin1Char(' '));
            emit errorStateEntered(intent.text);
            break;
        case LinkIntent::LeaveErrorState:
            m_errorMessage.clear();
            emit errorStateLeft();
            break;
        case LinkIntent::ShowBalloon:
            emit balloonRequested(intent.title, intent.text, intent.critical);
            break;
        case LinkIntent::AskQuestion:
            emit questionAsked(intent.question);
            break;
        case LinkIntent::OpenSettings:
            emit settingsRequested(intent.tab, intent.focusWidget);
            break;
        case LinkIntent::ExitProgram:
            QCoreApplication::exit(intent.exitCode);
            break;
        case LinkIntent::TrustCertificate:
            trustCertificate();
            break;
        }
    }
}

NagiosCommand* ServerLink::createCommand(QObject* parent)
{
    return new NagiosCommand(http, NagiosCommand::serverFor(settings), parent);
}

void ServerLink::commandTaken()
{
    pollForCommand();
    timerStart();
    commandFollowUps = 0;
    commandFollowUpTimer.start(commandFollowUpMs[0]);
}

void ServerLink::pollAfterCommand()
{
    pollForCommand();
    const int next = ++commandFollowUps;
    if (next < int(std::size(commandFollowUpMs)))
        commandFollowUpTimer.start(commandFollowUpMs[next] - commandFollowUpMs[next - 1]);
}

// A poll that finds the client still connecting counts a whole period towards the connect
// time-out: these extra polls would report one seconds after a slow connect began. A request not
// yet sent shows what the command changed anyway.
void ServerLink::pollForCommand()
{
    if (http->state() != HttpClient::Connecting)
        httpGetInfo();
}
