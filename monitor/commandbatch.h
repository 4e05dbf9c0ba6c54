#pragma once

#include "monitor/nagioscommand.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class ServerLink;
struct MonitorSettings;

// One command for several problems, each sent to its own server through that server's link, a few
// at a time so that a large selection does not flood a server. A link whose server took a command
// hears commandTaken() once, when the last of its commands has ended.
class CommandBatch : public QObject
{
    Q_OBJECT

public:
    enum class Kind { Acknowledge, Recheck, Downtime };

    // A problem as a command names it.
    struct Target
    {
        QString serverId;
        QString name; // as the user knows it: a host, or service + ":" + host
        QString host;
        QString service; // empty for a host
    };

    struct Failure
    {
        Target target;
        QString reason;
    };

    // The author Nagios is to record, by the server the command goes to.
    using AuthorOf = std::function<QString(const MonitorSettings&)>;

    // The links of the servers; a target whose server has none fails.
    CommandBatch(
        Kind kind, const QList<Target>& targets, const QList<ServerLink*>& links, QObject* parent = nullptr);
    ~CommandBatch() override;

    void setAcknowledgement(const NagiosCommand::Acknowledgement& acknowledgement);
    void setDowntime(const NagiosCommand::Downtime& downtime);
    void setAuthor(AuthorOf author) { m_author = std::move(author); }
    // Sends from the event loop on; finished() comes once.
    void start();

    Kind kind() const { return m_kind; }
    int count() const { return int(m_targets.size()); }
    int submittedCount() const { return m_submitted; }
    const QList<Failure>& failures() const { return m_failures; }

    // Each command is two requests on its server's client.
    static constexpr int maxRunning = 4;

signals:
    void finished();

private:
    void sendNext();
    void ended(int index, const NagiosCommand::Result& result);
    void finishWhenDone();

    Kind m_kind;
    QList<Target> m_targets;
    QHash<QString, QPointer<ServerLink>> m_links;
    NagiosCommand::Acknowledgement m_acknowledgement;
    NagiosCommand::Downtime m_downtime;
    AuthorOf m_author;
    int m_next = 0;
    int m_running = 0;
    int m_submitted = 0;
    QList<Failure> m_failures;
    // Per server: its commands not yet ended, and whether it took one.
    QHash<QString, int> m_unfinished;
    QHash<QString, bool> m_took;
    bool m_done = false;
};
