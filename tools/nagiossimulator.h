#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <memory>

class QSslCertificate;

// What the simulator saw of one request. Header names in `headers` are lower case.
struct RecordedRequest
{
    QString method;
    QString path; // decoded path, e.g. "/nagios/cgi-bin/status.cgi"
    QString query; // the raw text after '?', still URL-encoded
    QByteArray authorization; // the Authorization header as sent, empty when absent
    QByteArray acceptEncoding;
    QHash<QByteArray, QByteArray> headers;
    QByteArray body; // e.g. a POSTed form
    int connectionId = 0; // 1, 2, ... per accepted connection since start(): shows keep-alive reuse
};
Q_DECLARE_METATYPE(RecordedRequest)

// A command that the simulated cmd.cgi took, as it was posted.
struct TakenCommand
{
    // cmd_typ: 7 or 96 check a service or host, 33 or 34 acknowledge a host or service, 55 or 56
    // schedule a downtime for a host or service
    int type = 0;
    QString host;
    QString service; // empty for a host
    QString author;
    QString comment;
    bool sticky = false;
    bool notify = false;
    bool persistent = false;
    bool forceCheck = false;
    QString startTime; // a downtime's, as posted
    QString endTime;
    bool fixed = false;
    int durationMinutes = 0; // a flexible downtime's hours and minutes
};

// A fake Nagios 4.4.6 web server on 127.0.0.1 for tests and the demo. It serves status.cgi under
// its CGI directory with the HTML lines of a real Nagios status page, statusjson.cgi with the
// JSON of the real one (tools/nagiosjson.h), takes commands through
// cmd.cgi as Nagios' own form does, and can misbehave on demand
// (status codes, error pages, delays, silence, hanging connects, cut bodies, odd bytes).
// Everything runs on the thread that owns the object; changes apply to the next request.
class NagiosSimulator : public QObject
{
    Q_OBJECT

public:
    enum class HostState { Up, Down, Unreachable, Pending };
    enum class ServiceState { Ok, Warning, Critical, Unknown, Pending };
    enum class ErrorPage { None, NagiosStopped, NoRights };
    // None: the form, then "Sorry, but you are not authorized to commit the specified command."
    // (a user missing from cgi.cfg's authorized_for_all_*_commands); ReadOnly: "It appears as
    // though you do not have permission ..." already for the form (authorized_for_read_only).
    enum class CommandRights { All, None, ReadOnly };

    explicit NagiosSimulator(QObject* parent = nullptr);
    ~NagiosSimulator() override;

    // Listens on 127.0.0.1 only; port 0 picks a free port. HTTPS uses a self-signed certificate
    // for CN=127.0.0.1 made once per process with the openssl command.
    bool start(bool https = false, quint16 port = 0);
    void stop(); // closes the listener and every open connection
    bool isListening() const;
    quint16 port() const;
    bool isHttps() const;
    QString baseUrl() const; // "http://127.0.0.1:PORT" or "https://..."
    QString errorString() const; // why start() failed
    QSslCertificate certificate() const; // the HTTPS certificate; null before start(true)

    // Default "/nagios/cgi-bin/"; a missing leading or trailing '/' is added.
    void setCgiDirectory(const QString& dir);
    QString cgiDirectory() const;

    // The installation. Hosts and services are listed in byte order of their UTF-8 names, like
    // Nagios. setService creates its host (UP) when it does not exist. An empty address becomes
    // 127.0.x.y, an empty output a plugin text that fits the state.
    void setHost(
        const QString& name, HostState state, const QString& address = {}, const QString& output = {});
    void setService(
        const QString& host, const QString& description, ServiceState state, const QString& output = {});
    void setAcknowledged(
        const QString& host, const QString& description, bool on); // empty description: the host
    void setInDowntime(const QString& host, const QString& description, bool on);
    // The current check attempt of maxAttempts (statusjson.cgi's state_type): below maxAttempts a
    // soft state, Nagios yet to retry; at it a hard one. A recovery makes it hard again.
    void setAttempts(const QString& host, const QString& description, int attempt, int maxAttempts);
    void setFlapping(const QString& host, const QString& description, bool on);
    void setNotificationsEnabled(const QString& host, const QString& description, bool on);
    void removeHost(const QString& name);
    void removeService(const QString& host, const QString& description);
    void clear();
    int hostCount() const;
    int serviceCount() const;
    // A large installation: hosts "node-00001.gen.example.lan" ... each with services
    // "Service 001" ...; every service in `state`, every host UP.
    void addGeneratedServices(int hosts, int servicesPerHost, ServiceState state);
    void addGeneratedHosts(int hosts, HostState state);
    // A large site as tarvix-nagiossim --hosts/--problems/--down builds it: `hosts` generated hosts
    // with as many services each as it takes to hold `problems` CRITICAL ones, spread round the
    // hosts (the rest OK), and the first `downHosts` hosts DOWN.
    void addGeneratedSite(int hosts, int problems, int downHosts = 0);

    // The fixtures' scenario.tsv: "host\tNAME\tSTATE\tOUTPUT", "service\tHOST\tDESC\tSTATE\tOUTPUT",
    // "ack\thost\tNAME", "ack\tservice\tHOST\tDESC", "downtime\t..." the same; '#' lines are
    // comments. Replaces the installation; false (installation unchanged) when the file cannot be
    // read or a line is malformed.
    bool loadScenario(const QString& tsvPath);

    // One control command, as the program reads them from its control file and stdin, e.g.
    // "host NAME STATE [OUTPUT]" or "trickle MS"; commandUsage() lists them all. A word in
    // "double quotes" may hold blanks. Empty lines and '#' comments are accepted; false with a
    // reason for anything else.
    bool applyCommand(const QString& line, QString* error = nullptr);
    // One line per command: its word, its arguments and what it does.
    static QString commandUsage();

    // Empty user switches it off. Otherwise every request without these Basic credentials gets
    // Apache's 401 with WWW-Authenticate: Basic realm="Nagios Access".
    void requireBasicAuth(const QString& user, const QString& password);
    // The same with Digest (MD5, qop auth, one nonce per start), as Apache's mod_auth_digest.
    void requireDigestAuth(const QString& user, const QString& password);

    // 0 = normal. Otherwise every request is answered with this status and a small Apache-like
    // page (302 and 301 with a Location to the server's /nagios/ page).
    void setFixedStatus(int code);
    // Nagios' own errors that come with status 200 and no status table. statusjson.cgi answers a
    // stopped Nagios with a line end, a user without rights with empty lists and counts of 0.
    void setErrorPage(ErrorPage page);
    // Answer this body with status 200 instead of a status page; empty = off.
    void setRawBody(const QByteArray& body);

    // cmd.cgi beside status.cgi: GET cmd.cgi?cmd_typ=N&host=H[&service=S] answers the command
    // form, a POST of its fields with cmd_mod=2 takes the command: acknowledging sets the object's
    // acknowledged flag when it has a problem, a downtime its downtime flag (at once, whatever its
    // start), a check counts in checkCount(). Unknown hosts and
    // services are refused as by Nagios. With the CSRF check (default: Nagios 4.5.12 and later,
    // Debian's 4.4.6-4+deb12u1 and later) every answer sets the NagFormId cookie and the form
    // carries the nagFormId field; a command is taken only with a field that matches the cookie
    // sent, or without a cookie the server's value. Off: neither, like older Nagios.
    void setCsrfCheck(bool on);
    QByteArray csrfFormId() const;
    void setCommandRights(CommandRights rights);
    QList<TakenCommand> takenCommands() const;
    int checkCount(const QString& host, const QString& service = {}) const;

    void setResponseDelay(int milliseconds);
    // Accept and read each request, never answer, keep the socket open.
    void setNeverAnswer(bool on);
    // New connects hang in SYN-SENT: the port is taken over by a socket that never accepts and
    // whose backlog is full. Open connections stay. Off: the normal server listens again.
    void setNeverAccept(bool on);
    // Headers with the full Content-Length, then about half of the body, then close.
    void setCloseMidBody(bool on);
    // Default true: gzip the body when Accept-Encoding names gzip.
    void setGzipWhenAsked(bool on);
    // Transfer-Encoding: chunked instead of Content-Length, like the real Apache.
    void setChunked(bool on);
    // A NUL byte / invalid UTF-8 bytes in a comment line before the status table.
    void setInjectNul(bool on);
    void setInjectInvalidUtf8(bool on);
    // About this many bytes of filler comment lines before the status table.
    void setPadding(qint64 bytes);
    // Hostile servers. Each applies to the status pages (not to status codes or error pages); when
    // several body modes are on, the gzip bomb wins over the long line and that over the endless
    // body. 0 or false is off.
    // The headers at once, then the body (never compressed) one byte every `milliseconds`.
    void setTrickle(int milliseconds);
    // Accept TCP connections but never answer the TLS handshake (or, over HTTP, the request).
    // Open connections stay. Off: the stalled connections close, the normal server listens again.
    void setStallHandshake(bool on);
    // A gzip body, Content-Encoding: gzip whatever the client asked for, that inflates to this
    // many spaces; made piece by piece from one deflated block, never held inflated.
    void setGzipBomb(qint64 inflatedBytes);
    // A plain body of this many bytes without a single line end.
    void setLongLine(qint64 bytes);
    // A chunked body that never ends: filler comment lines, as fast as the client reads.
    void setEndlessBody(bool on);
    // This many extra header lines before the page.
    void setHeaderLines(int count);
    // The page cut in the middle of its status table, without the totals line, sent chunked with
    // a proper end: nothing at the HTTP level shows that it is incomplete.
    void setCutPage(bool on);

    // The time the pages show (last update, check times, durations); invalid (default) = now.
    // Freeze it to compare a served page with hostsPage()/servicesPage() byte for byte.
    void setPageTime(const QDateTime& time);

    QList<RecordedRequest> requests() const;
    int requestCount() const;
    int connectionCount() const; // connections accepted since start()
    int openConnectionCount() const;
    // Bytes of answers handed to the sockets since start() or clearRequests(): shows whether a
    // client went on reading.
    qint64 bytesSent() const;
    void clearRequests();

    // Nagios' url_encode(): [A-Za-z0-9._-] stay, space becomes '+', every other byte %XX.
    static QByteArray urlEncode(const QString& text);
    // Nagios' html_encode() for names and plugin output.
    static QByteArray htmlEncode(const QString& text);
    // The status pages as the server would send them for `query`, without HTTP.
    QByteArray hostsPage(const QString& query = {}) const;
    QByteArray servicesPage(const QString& query = {}) const;
    // statusjson.cgi's answer to `query`, e.g. "query=hostlist&details=true", without HTTP.
    QByteArray statusJson(const QString& query) const;

signals:
    void requestReceived(const RecordedRequest& request);

private:
    struct Private;
    std::unique_ptr<Private> d;
    friend struct Private;
};
