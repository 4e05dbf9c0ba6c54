#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTimer>

struct MonitorSettings;
class QNetworkAccessManager;
class QNetworkReply;

// Sends one command to Nagios' cmd.cgi the way its web form does: GET the form, then POST the
// form's fields. Nagios' CSRF protection (4.5.12 and later, Debian 12's nagios4 since
// 4.4.6-4+deb12u1) puts a NagFormId cookie and a hidden nagFormId field into the form and checks
// them in the POST; older servers have neither, and the POST works without them.
//
// cmd.cgi answers 200 whether it took the command or not, so the answer page decides. One object
// sends one command, asynchronously; finished() comes exactly once and never from inside the call
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
        bool verifyPeer = true; // false: certificates with errors are accepted
    };

    struct Acknowledgement
    {
        QString author;
        QString comment;
        bool sticky = true;
        bool sendNotification = true;
        bool persistentComment = false;
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
        ScheduleHostCheck = 96,
    };

    static constexpr int defaultTimeoutMs = 30000;
    static constexpr qint64 maxBodyBytes = 1024 * 1024;

    // The server, port, CGI directory, credentials and certificate policy that the polls use.
    static Server serverFor(const MonitorSettings& settings);

    explicit NagiosCommand(const Server& server, QObject* parent = nullptr);
    ~NagiosCommand() override;

    // An empty service means the host itself. Only the first call of an object sends anything.
    void acknowledge(const QString& host, const QString& service, const Acknowledgement& ack);
    // A forced check now, whatever the object's check settings.
    void recheck(const QString& host, const QString& service);

    bool isRunning() const { return m_started && !m_done; }
    // Bounds each of the two requests; tests shorten it.
    void setTimeout(int milliseconds) { m_timer.setInterval(qMax(1, milliseconds)); }

    // What cmd.cgi's answer page says: Submitted with its confirmation, else Refused with its
    // error sentence (or a general one).
    static Result readAnswer(const QByteArray& page);

    // The named hidden and text inputs of the first form on the page, in page order, with their
    // values. Check boxes are left out: which are ticked is the command's choice. Empty when the
    // page has no form.
    static QList<QPair<QString, QString>> formFields(const QByteArray& page);

signals:
    void finished(const NagiosCommand::Result& result);

private:
    enum class Step { Form, Post };
    using Fields = QList<QPair<QString, QString>>;

    void start(int commandType, const QString& host, const QString& service, const Fields& wanted);
    void send(Step step, const QByteArray& query, const QByteArray& body);
    void onReadyRead();
    void onFinished();
    void onTimeout();
    void postForm(const QByteArray& page);
    void finish(const Result& result);
    void dropReply();
    QByteArray encode(const Fields& fields) const;

    Server m_server;
    int m_commandType = 0;
    Fields m_wanted; // fields that the command sets whatever the form says
    QNetworkAccessManager* m_manager = nullptr;
    QNetworkReply* m_reply = nullptr;
    Step m_step = Step::Form;
    QByteArray m_body;
    QByteArray m_cookies; // the Cookie header for the POST: what the form's answer set
    bool m_bodyTooLarge = false;
    bool m_timedOut = false;
    bool m_credentialsOffered = false;
    bool m_challenged = false; // the server asked for credentials (Digest) instead of taking Basic
    bool m_started = false;
    bool m_done = false;
    QTimer m_timer;
};
