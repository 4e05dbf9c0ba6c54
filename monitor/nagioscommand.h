#pragma once

#include "monitor/transportoptions.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>

struct MonitorSettings;
class HttpClient;
class HttpTransfer;

// Sends one command to Nagios' cmd.cgi the way its web form does: GET the form, then POST the
// form's fields. Nagios' CSRF protection (4.5.12 and later, Debian 12's nagios4 since
// 4.4.6-4+deb12u1) puts a NagFormId cookie and a hidden nagFormId field into the form and checks
// them in the POST; older servers have neither, and the POST works without them.
//
// cmd.cgi answers 200 whether it took the command or not, so the answer page decides. One object
// sends one command, asynchronously, through the polls' HttpClient (its connections, bounds and
// TLS sessions) but beside its page requests, never holding them up; curl's cookie engine takes the
// form's cookie back to the POST. finished() comes exactly once and never from inside the call
// that started the command. Destroying the object aborts the command without a signal.
class NagiosCommand : public QObject
{
    Q_OBJECT

public:
    // Where cmd.cgi lives and as whom to call it: the same as the status polls.
    struct Server
    {
        QString host;
        quint16 port = 80;
        bool useHttps = false;
        QString cgiDirectory; // begins and ends with "/", e.g. "/cgi-bin/nagios4/"
        QString user; // empty: no HTTP authentication
        QString password;
        TransportOptions transport; // proxy, authentication method, certificate policy
    };

    struct Acknowledgement
    {
        QString author;
        QString comment;
        bool sticky = true;
        bool sendNotification = true;
        bool persistentComment = false;
    };

    // A downtime in Nagios' terms. A fixed one lasts from its start for its duration; a flexible one
    // starts when the object goes into a problem state within that window.
    struct Downtime
    {
        QString author;
        QString comment;
        QDateTime start; // invalid: now, by the server's clock
        int durationMinutes = 120;
        bool fixed = true;
    };

    enum class Outcome {
        Submitted, // Nagios confirmed the command
        Refused, // Nagios answered, but did not take the command
        Failed, // no usable answer: network, TLS, HTTP status, time-out
    };

    struct Result
    {
        Outcome outcome = Outcome::Failed;
        QString reason; // Nagios' own sentence where it gave one
        int statusCode = 0; // of the last answer, 0 without one
    };

    // Nagios' external command numbers (cmd_typ).
    enum CommandType {
        ScheduleServiceCheck = 7,
        AcknowledgeHostProblem = 33,
        AcknowledgeServiceProblem = 34,
        ScheduleHostDowntime = 55,
        ScheduleServiceDowntime = 56,
        ScheduleHostCheck = 96,
    };

    static constexpr int defaultTimeoutMs = 30000;
    static constexpr qint64 maxBodyBytes = 1024 * 1024;

    // The server, port, CGI directory, credentials and certificate policy that the polls use.
    static Server serverFor(const MonitorSettings& settings);

    // The client lends its connections and bounds; a command keeps them when the client is
    // replaced while it runs.
    NagiosCommand(HttpClient* client, const Server& server, QObject* parent = nullptr);
    ~NagiosCommand() override;

    // An empty service means the host itself. Only the first call of an object sends anything.
    void acknowledge(const QString& host, const QString& service, const Acknowledgement& ack);
    // A forced check now, whatever the object's check settings.
    void recheck(const QString& host, const QString& service);
    // The start and end go in the form's own date format and by the server's clock, both read from
    // the form's default start time (commandpage.h).
    void scheduleDowntime(const QString& host, const QString& service, const Downtime& downtime);

    bool isRunning() const { return m_started && !m_done; }
    // Bounds each of the two requests; tests shorten it.
    void setTimeout(int milliseconds) { m_timeoutMs = qMax(1, milliseconds); }

    // What cmd.cgi's answer page says: Submitted with its confirmation, else Refused with its
    // error sentence (or a general one).
    static Result readAnswer(const QByteArray& page);

    // The form's fields (commandFormFields()).
    static QList<QPair<QString, QString>> formFields(const QByteArray& page);

signals:
    void finished(const NagiosCommand::Result& result);

private:
    enum class Step { Form, Post };
    using Fields = QList<QPair<QString, QString>>;

    void start(int commandType, const QString& host, const QString& service, const Fields& wanted);
    void send(Step step, const QByteArray& query, const QByteArray& form);
    void onFinished(bool error);
    void postForm(const QByteArray& page);
    void finish(const Result& result);
    QByteArray encode(const Fields& fields) const;

    QPointer<HttpClient> m_client;
    Server m_server;
    int m_commandType = 0;
    Fields m_wanted; // fields that the command sets whatever the form says
    // A downtime's start after the server's now, and its length; its times come from the form.
    qint64 m_downtimeOffsetSeconds = 0;
    int m_downtimeMinutes = 0;
    // Both requests of the command, so that the POST carries the cookies that the form's answer
    // set and answers a Digest challenge at once.
    HttpTransfer* m_transfer = nullptr;
    Step m_step = Step::Form;
    int m_timeoutMs = defaultTimeoutMs;
    bool m_started = false;
    bool m_done = false;
};
