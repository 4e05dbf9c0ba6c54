#include "monitor/nagioscommand.h"
#include "config/monitorsettings.h"
#include "monitor/commandpage.h"
#include "monitor/httpclient.h"
#include "monitor/httptransfer.h"

#include <QLoggingCategory>
#include <QMetaObject>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcCommand, "tarvix.command", QtWarningMsg)

} // namespace

NagiosCommand::Server NagiosCommand::serverFor(const MonitorSettings& settings)
{
    Server server;
    server.host = settings.serverAddress;
    server.port = settings.portNumber();
    server.useHttps = settings.useHttps;
    server.cgiDirectory = settings.nagiosExecDir;
    if (settings.useHttpAuth) {
        server.user = settings.login;
        server.password = settings.password;
    }
    server.transport = settings.transportOptions();
    return server;
}

NagiosCommand::NagiosCommand(HttpClient* client, const Server& server, QObject* parent)
    : QObject(parent), m_client(client), m_server(server)
{ }

// The transfer is a child: it goes with the command, and its request without a signal.
NagiosCommand::~NagiosCommand() = default;

void NagiosCommand::acknowledge(const QString& host, const QString& service, const Acknowledgement& ack)
{
    Fields wanted {{QStringLiteral("com_author"), ack.author}, {QStringLiteral("com_data"), ack.comment}};
    // A browser sends a ticked box as "on" and leaves an unticked one out.
    if (ack.sticky)
        wanted.append({QStringLiteral("sticky_ack"), QStringLiteral("on")});
    if (ack.sendNotification)
        wanted.append({QStringLiteral("send_notification"), QStringLiteral("on")});
    if (ack.persistentComment)
        wanted.append({QStringLiteral("persistent"), QStringLiteral("on")});
    start(service.isEmpty() ? AcknowledgeHostProblem : AcknowledgeServiceProblem, host, service, wanted);
}

void NagiosCommand::recheck(const QString& host, const QString& service)
{
    // The check time comes from the form: Nagios writes it in its own date format.
    start(service.isEmpty() ? ScheduleHostCheck : ScheduleServiceCheck, host, service,
        {{QStringLiteral("force_check"), QStringLiteral("on")}});
}

void NagiosCommand::scheduleDowntime(const QString& host, const QString& service, const Downtime& downtime)
{
    m_downtimeOffsetSeconds
        = downtime.start.isValid() ? QDateTime::currentDateTimeUtc().secsTo(downtime.start) : 0;
    m_downtimeMinutes = qMax(1, downtime.durationMinutes);
    // Nagios takes a fixed downtime's length from its start and end, a flexible one's from these.
    Fields wanted {{QStringLiteral("com_author"), downtime.author},
        {QStringLiteral("com_data"), downtime.comment}, {QStringLiteral("trigger"), QStringLiteral("0")},
        {QStringLiteral("fixed"), downtime.fixed ? QStringLiteral("1") : QStringLiteral("0")},
        {QStringLiteral("hours"), QString::number(m_downtimeMinutes / 60)},
        {QStringLiteral("minutes"), QString::number(m_downtimeMinutes % 60)}};
    // The host form's choice for child hosts: leave them alone, its first option.
    if (service.isEmpty())
        wanted.append({QStringLiteral("childoptions"), QStringLiteral("0")});
    start(service.isEmpty() ? ScheduleHostDowntime : ScheduleServiceDowntime, host, service, wanted);
}

void NagiosCommand::start(int commandType, const QString& host, const QString& service, const Fields& wanted)
{
    if (m_started)
        return;
    m_started = true;
    m_commandType = commandType;
    Fields target {{QStringLiteral("cmd_typ"), QString::number(commandType)}, {QStringLiteral("host"), host}};
    if (!service.isEmpty())
        target.append({QStringLiteral("service"), service});
    // What the form's Commit button sends, whatever the form was filled with.
    m_wanted = target + Fields {{QStringLiteral("cmd_mod"), QStringLiteral("2")}} + wanted
        + Fields {{QStringLiteral("btnSubmit"), QStringLiteral("Commit")}};

    if (m_server.host.isEmpty() || host.isEmpty() || !m_client) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                finish({Outcome::Failed, tr("No server or host to send the command to."), 0});
            },
            Qt::QueuedConnection);
        return;
    }
    send(Step::Form, encode(target), {});
}

QByteArray NagiosCommand::encode(const Fields& fields) const
{
    QByteArray out;
    for (const auto& [name, value] : fields) {
        if (!out.isEmpty())
            out += '&';
        out += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return out;
}

void NagiosCommand::send(Step step, const QByteArray& query, const QByteArray& form)
{
    m_step = step;
    if (!m_transfer) {
        const HttpClient::Target target {m_server.host,
            m_server.useHttps ? HttpClient::ConnectionModeHttps : HttpClient::ConnectionModeHttp,
            m_server.port, m_server.user, m_server.password, m_server.transport};
        m_transfer = m_client->newTransfer(target, this);
        connect(m_transfer, &HttpTransfer::finished, this, &NagiosCommand::onFinished);
    }
    HttpClient::Limits limits = m_transfer->limits();
    limits.totalTimeoutMs = m_timeoutMs;
    limits.maxBodyBytes = maxBodyBytes;
    m_transfer->setLimits(limits);
    QString path = m_server.cgiDirectory + QLatin1String("cmd.cgi");
    if (!query.isEmpty())
        path += QLatin1Char('?') + QString::fromLatin1(query);
    qCDebug(lcCommand) << (step == Step::Form ? "GET" : "POST") << m_server.host << path;
    if (step == Step::Form)
        m_transfer->get(path);
    else
        m_transfer->post(path, form);
}

void NagiosCommand::onFinished(bool error)
{
    const int status = m_transfer->statusCode();
    const QByteArray body = m_transfer->readAll();
    if (error) {
        qCInfo(lcCommand) << "Failed:" << m_transfer->error() << m_transfer->errorString();
        if (m_transfer->error() == HttpClient::AuthenticationRequiredError) {
            finish({Outcome::Failed, tr("The server refused the user name or password (HTTP status 401)."),
                status});
        } else if (m_transfer->failure() == HttpClient::Failure::TimedOut) {
            finish({Outcome::Failed,
                tr("The server did not answer within %1 s.").arg(qMax(1, (m_timeoutMs + 999) / 1000)),
                status});
        } else if (m_transfer->failure() == HttpClient::Failure::TooLarge) {
            finish({Outcome::Failed, tr("The server's answer is too large."), status});
        } else {
            finish({Outcome::Failed, tr("The command could not be sent: %1").arg(m_transfer->errorString()),
                status});
        }
    } else if (status != 200) {
        finish({Outcome::Failed, tr("The server answered with HTTP status %1.").arg(status), status});
    } else if (m_step == Step::Post) {
        Result result = readAnswer(body);
        result.statusCode = status;
        qCInfo(lcCommand) << "Command" << m_commandType << "answered:" << result.reason;
        finish(result);
    } else {
        postForm(body);
    }
}

void NagiosCommand::postForm(const QByteArray& page)
{
    Fields fields = formFields(page);
    const bool isCommandForm = std::any_of(fields.cbegin(), fields.cend(),
        [](const auto& field) { return field.first == QLatin1String("cmd_typ"); });
    if (!isCommandForm) {
        // Refused before the form, e.g. a user who may not run commands at all.
        const QString sentence = commandRefusal(page);
        finish({Outcome::Refused,
            sentence.isEmpty() ? tr("The server did not send Nagios' command form.") : sentence, 200});
        return;
    }
    Fields wanted = m_wanted;
    if (m_commandType == ScheduleHostDowntime || m_commandType == ScheduleServiceDowntime) {
        const auto formStart = std::find_if(fields.cbegin(), fields.cend(),
            [](const auto& field) { return field.first == QLatin1String("start_time"); });
        const DowntimeTimes times = downtimeTimes(formStart == fields.cend() ? QString() : formStart->second,
            m_downtimeOffsetSeconds, m_downtimeMinutes, QDateTime::currentDateTimeUtc());
        if (times.start.isEmpty()) {
            finish({Outcome::Failed, tr("The server's downtime form has no start time in a known format."),
                200});
            return;
        }
        wanted.append({QStringLiteral("start_time"), times.start});
        wanted.append({QStringLiteral("end_time"), times.end});
    }
    for (const auto& [name, value] : std::as_const(wanted)) {
        bool replaced = false;
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (fields.at(i).first != name)
                continue;
            if (replaced) {
                fields.removeAt(i--);
            } else {
                fields[i].second = value;
                replaced = true;
            }
        }
        if (!replaced)
            fields.append({name, value});
    }
    send(Step::Post, {}, encode(fields));
}

void NagiosCommand::finish(const Result& result)
{
    m_done = true;
    // The receiver may delete this object: nothing may follow the emit.
    emit finished(result);
}

NagiosCommand::Result NagiosCommand::readAnswer(const QByteArray& page)
{
    const CommandAnswer answer = readCommandAnswer(page);
    if (answer.confirmed)
        return {Outcome::Submitted, answer.reason, 0};
    return {Outcome::Refused,
        answer.reason.isEmpty() ? tr("Nagios did not confirm the command.") : answer.reason, 0};
}

NagiosCommand::Fields NagiosCommand::formFields(const QByteArray& page)
{
    return commandFormFields(page);
}
