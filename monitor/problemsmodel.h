#pragma once

#include "monitor/listhealth.h"
#include "monitor/problemlist.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>

class ServerLink;

// Every current problem of every server, a row each, for the problems window. The rows follow the
// links' problem lists incrementally: a row keeps its identity (server, list, name ignoring case)
// and its place while its problem lasts, so selections and persistent indexes survive the polls. A
// poll's changed rows are told with dataChanged, its new rows appended, its gone rows removed in
// ranges; nothing resets the model.
class ProblemsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        ServerColumn,
        HostColumn,
        ServiceColumn,
        StatusColumn,
        DurationColumn,
        AttemptColumn,
        OutputColumn,
        FlagsColumn,
        ColumnCount
    };

    enum Role {
        // What the column sorts by: the status by severity, the duration in seconds (-1 unknown),
        // the flags as bits, the attempt as a number, other columns their text.
        SortRole = Qt::UserRole + 1,
        StatusColorRole, // "#rrggbb": the colour Nagios gives the status
        NewRole, // bool: arrived since the rows were last marked seen
        UrlRole, // the object's page in the browser: scheme and address
        ServerIdRole,
        HostRole,
        ServiceRole, // empty for a host
        NameRole, // as the menus and popups name it: a host, or service + ":" + host
        FlagsRole, // Flags as an int
    };

    enum Flag {
        Acknowledged = 0x01,
        InDowntime = 0x02,
        SoftState = 0x04,
        Flapping = 0x08,
        NotificationsOff = 0x10,
    };
    Q_DECLARE_FLAGS(Flags, Flag)

    explicit ProblemsModel(QObject* parent = nullptr);
    ~ProblemsModel() override;

    // Follows the link's two lists from now on. For a link already followed: takes its name and
    // scheme anew, and its lists as they are.
    void addLink(ServerLink* link);
    // Its rows go.
    void removeLink(ServerLink* link);

    // One list of one server as it is now: the seam the links' wiring and the tests feed.
    void setServerProblems(const QString& serverId, const QString& serverName, const QString& scheme,
        StatusList list, const ProblemList& problems);
    void removeServer(const QString& serverId);
    // The servers fed or followed, with or without problems.
    int serverCount() const { return int(m_servers.size()); }

    // Rows stop being new.
    void markAllSeen();
    int newCount() const { return m_newCount; }

    // What durations are counted to; invalid (the default): the clock.
    void setReferenceTime(const QDateTime& time) { m_referenceTime = time; }

    // The proxy sorts and filters on the rows themselves, without a QVariant per comparison.
    bool lessThan(int leftRow, int rightRow, int column) const;
    // The text, case-folded, in the host, the service or the output.
    bool matches(int row, const QString& foldedText) const;

    // "2 h 5 min"
    static QString durationText(qint64 seconds);
    // DOWN above UNREACHABLE above CRITICAL, UNKNOWN, WARNING, PENDING; anything else 0.
    static int severity(const QString& status);
    static QString statusColor(const QString& status);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // A server came or went: with one server the window hides the server column.
    void serversChanged();
    // Around a poll that adds or removes many rows at scattered places: a sorted proxy
    // keeps the source's order meanwhile, so that they come and go in few ranges, and sorts after.
    void bulkChangeStarting();
    void bulkChangeFinished();

private:
    struct Server
    {
        QString name;
        QString scheme;
        QPointer<ServerLink> link;
    };
    struct Row
    {
        QString key; // server, list and the name case-folded
        QString serverId;
        StatusList list = StatusList::Hosts;
        QString name;
        QString host;
        QString service;
        QString status; // as the server gave it ("HOSTDOWN", "CRITICAL")
        QString address; // page address without scheme
        ProblemDetails details;
        bool isNew = true;
        // What sorting and filtering compare, made once per change: texts case-folded (shared with
        // the text when it has no capitals), the rest as numbers.
        QString hostKey;
        QString serviceKey;
        QString outputKey;
        int severity = 0;
        int flags = 0;
        int attemptKey = 0;
        qint64 changedMs = 0; // the last state change; the latest possible when unknown
    };

    static QString rowKey(const QString& serverId, StatusList list, const QString& name);
    static Row rowFor(QString key, const QString& serverId, StatusList list, const ProblemList::Entry& entry);
    static const QString& hostOf(const ProblemList::Entry& entry);
    static QString serviceOf(StatusList list, const ProblemList::Entry& entry);
    void followList(ServerLink* link, StatusList list);
    void removeRows(QList<int> rows);
    void rebuildIndex();
    // Puts the poll's changed rows in place and tells of them and of these other rows.
    void applyUpdates(QList<std::pair<int, Row>> updates, const QList<int>& alsoChanged);
    // dataChanged for these rows (ascending), in few signals; only these roles when any are given.
    void emitRowsChanged(const QList<int>& rows, const QList<int>& roles = {});
    qint64 secondsSince(const Row& row) const;
    QString serverName(const QString& serverId) const;
    QString displayText(const Row& row, int column) const;
    QVariant sortValue(const Row& row, int column) const;
    static Flags flagsOf(const ProblemDetails& details);
    static QString flagsText(Flags flags);

    QList<Row> m_rows;
    QHash<QString, int> m_index; // key to row
    QHash<QString, Server> m_servers;
    int m_newCount = 0;
    QDateTime m_referenceTime;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(ProblemsModel::Flags)
