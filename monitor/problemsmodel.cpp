#include "monitor/problemsmodel.h"

#include "monitor/serverlink.h"

#include <QLocale>
#include <QSet>

#include <algorithm>
#include <limits>

namespace {

// More rows coming or going than this are a bulk change: a sorted proxy would insert and remove
// them at as many places, each a signal that costs the view a pass over all its rows, so it is told
// before and after, and sorts once afterwards. (Many changed rows come as one layout change anyway.)
constexpr int bulkChangeRows = 64;
// More scattered ranges than this are not removed one by one: every range costs the proxy and the
// view a pass over all their rows. The gone rows are then moved behind the others first, in one
// layout change that keeps every persistent index, and leave as one range.
constexpr int maxRemovedRanges = 16;
// The same for changed rows: beyond this many ranges a poll's changes come as one layout change,
// and a change of the new marks alone as one dataChanged that spans them all.
constexpr int maxChangedRanges = 16;

// First and last row of each run of consecutive rows; the rows ascending.
QList<std::pair<int, int>> rangesOf(const QList<int>& rows)
{
    QList<std::pair<int, int>> ranges;
    for (const int row : rows) {
        if (!ranges.isEmpty() && ranges.last().second + 1 == row)
            ranges.last().second = row;
        else
            ranges.append({row, row});
    }
    return ranges;
}

// "HOSTDOWN" as status.cgi's classes name it, "DOWN" as the JSON status does.
QString statusWord(const QString& status)
{
    if (status.size() > 4 && status.startsWith(QLatin1String("HOST")))
        return status.mid(4);
    return status;
}

} // namespace

ProblemsModel::ProblemsModel(QObject* parent) : QAbstractTableModel(parent)
{ }

ProblemsModel::~ProblemsModel() = default;

void ProblemsModel::addLink(ServerLink* link)
{
    const QString id = link->id();
    const auto known = m_servers.find(id);
    const bool added = known == m_servers.end();
    if (added || known->link != link) {
        if (!added && known->link)
            known->link->disconnect(this);
        m_servers[id].link = link;
        connect(link, &ServerLink::problemsChanged, this,
            [this, link](StatusList list) { followList(link, list); });
        connect(link, &ServerLink::problemsCleared, this,
            [this, link](StatusList list) { followList(link, list); });
        connect(link, &QObject::destroyed, this, [this, id] { removeServer(id); });
    }
    followList(link, StatusList::Hosts);
    followList(link, StatusList::Services);
    if (added)
        emit serversChanged();
}

void ProblemsModel::removeLink(ServerLink* link)
{
    link->disconnect(this);
    removeServer(link->id());
}

void ProblemsModel::followList(ServerLink* link, StatusList list)
{
    const MonitorSettings& server = link->settingsInForce();
    setServerProblems(link->id(), server.displayName(), server.scheme(), list, link->problems(list));
}

QString ProblemsModel::rowKey(const QString& serverId, StatusList list, const QString& name)
{
    return serverId + QLatin1Char(list == StatusList::Hosts ? '\n' : '\t') + name.toCaseFolded();
}

// A host's own row carries its name only as the entry's name.
const QString& ProblemsModel::hostOf(const ProblemList::Entry& entry)
{
    return entry.hostName.isEmpty() ? entry.name : entry.hostName;
}

QString ProblemsModel::serviceOf(StatusList list, const ProblemList::Entry& entry)
{
    return list == StatusList::Services ? entry.serviceName : QString();
}

ProblemsModel::Row ProblemsModel::rowFor(
    QString key, const QString& serverId, StatusList list, const ProblemList::Entry& entry)
{
    Row row;
    row.key = std::move(key);
    row.serverId = serverId;
    row.list = list;
    row.name = entry.name;
    row.host = hostOf(entry);
    row.service = serviceOf(list, entry);
    row.status = entry.status;
    row.address = entry.data;
    row.details = entry.details;
    row.hostKey = row.host.toCaseFolded();
    row.serviceKey = row.service.toCaseFolded();
    row.outputKey = row.details.output.toCaseFolded();
    row.severity = severity(entry.status);
    row.flags = int(flagsOf(row.details));
    row.attemptKey = row.details.attempt * 1000 + row.details.maxAttempts;
    row.changedMs = row.details.lastStateChange.isValid() ? row.details.lastStateChange.toMSecsSinceEpoch()
                                                          : std::numeric_limits<qint64>::max();
    return row;
}

void ProblemsModel::setServerProblems(const QString& serverId, const QString& serverName,
    const QString& scheme, StatusList list, const ProblemList& problems)
{
    auto server = m_servers.find(serverId);
    const bool newServer = server == m_servers.end();
    if (newServer)
        server = m_servers.insert(serverId, Server());
    const bool renamed = !newServer && (server->name != serverName || server->scheme != scheme);
    server->name = serverName;
    server->scheme = scheme;

    QList<bool> seen(m_rows.size(), false);
    // Rows whose problem shows something new, with what it shows now.
    QList<std::pair<int, Row>> updates;
    QList<Row> added;
    QSet<QString> addedKeys;
    for (const ProblemList::Entry& entry : problems.entries()) {
        QString key = rowKey(serverId, list, entry.name);
        const auto known = m_index.constFind(key);
        if (known == m_index.cend()) {
            if (!addedKeys.contains(key)) {
                addedKeys.insert(key);
                added.append(rowFor(std::move(key), serverId, list, entry));
            }
            continue;
        }
        const int row = known.value();
        seen[row] = true;
        const Row& current = m_rows.at(row);
        // Most polls change nothing: the entry is compared as it is, and a row made only for a change.
        if (current.status != entry.status || current.details != entry.details
            || current.address != entry.data || current.host != hostOf(entry)
            || current.service != serviceOf(list, entry)) {
            Row fresh = rowFor(std::move(key), serverId, list, entry);
            fresh.isNew = current.isNew;
            fresh.name = current.name;
            updates.append({row, std::move(fresh)});
        }
    }
    QList<int> gone;
    QList<int> renamedRows;
    for (qsizetype row = 0; row < m_rows.size(); ++row) {
        const Row& current = m_rows.at(row);
        if (current.serverId != serverId)
            continue;
        if (!seen.at(row) && current.list == list)
            gone.append(int(row));
        else if (renamed)
            renamedRows.append(int(row));
    }

    const bool bulk = gone.size() + added.size() > bulkChangeRows;
    if (bulk)
        emit bulkChangeStarting();
    applyUpdates(std::move(updates), renamedRows);
    removeRows(gone);
    if (!added.isEmpty()) {
        const int first = int(m_rows.size());
        beginInsertRows(QModelIndex(), first, first + int(added.size()) - 1);
        for (Row& row : added) {
            m_index.insert(row.key, int(m_rows.size()));
            m_rows.append(std::move(row));
        }
        m_newCount += int(added.size());
        endInsertRows();
    }
    if (bulk)
        emit bulkChangeFinished();
    if (newServer)
        emit serversChanged();
}

void ProblemsModel::applyUpdates(QList<std::pair<int, Row>> updates, const QList<int>& alsoChanged)
{
    QList<int> rows = alsoChanged;
    for (const auto& update : std::as_const(updates))
        rows.append(update.first);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rangesOf(rows).size() <= maxChangedRanges) {
        for (auto& [row, fresh] : updates)
            m_rows[row] = std::move(fresh);
        emitRowsChanged(rows);
        return;
    }
    // A large poll: dataChanged over every row between would make the proxy take each of them out
    // and sort it in again; after a layout change it sorts and filters all rows once. No row moves,
    // so every persistent index stays where it is.
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    for (auto& [row, fresh] : updates)
        m_rows[row] = std::move(fresh);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ProblemsModel::removeServer(const QString& serverId)
{
    if (!m_servers.contains(serverId))
        return;
    QList<int> gone;
    for (qsizetype row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).serverId == serverId)
            gone.append(int(row));
    }
    const bool bulk = gone.size() > bulkChangeRows;
    if (bulk)
        emit bulkChangeStarting();
    removeRows(gone);
    if (bulk)
        emit bulkChangeFinished();
    m_servers.remove(serverId);
    emit serversChanged();
}

void ProblemsModel::removeRows(QList<int> rows)
{
    if (rows.isEmpty())
        return;
    for (const int row : rows) {
        if (m_rows.at(row).isNew)
            --m_newCount;
    }
    const QList<std::pair<int, int>> ranges = rangesOf(rows);
    if (ranges.size() <= maxRemovedRanges) {
        for (auto it = ranges.crbegin(); it != ranges.crend(); ++it) {
            beginRemoveRows(QModelIndex(), it->first, it->second);
            m_rows.remove(it->first, it->second - it->first + 1);
            endRemoveRows();
        }
        rebuildIndex();
        return;
    }

    emit layoutAboutToBeChanged();
    QList<int> moved(m_rows.size(), -1);
    QList<Row> reordered;
    reordered.reserve(m_rows.size());
    QList<bool> leaving(m_rows.size(), false);
    for (const int row : rows)
        leaving[row] = true;
    for (const bool gone : {false, true}) {
        for (qsizetype row = 0; row < m_rows.size(); ++row) {
            if (leaving.at(row) == gone) {
                moved[row] = int(reordered.size());
                reordered.append(std::move(m_rows[row]));
            }
        }
    }
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from)
        to.append(createIndex(moved.at(index.row()), index.column()));
    changePersistentIndexList(from, to);
    m_rows = std::move(reordered);
    emit layoutChanged();

    const int kept = int(m_rows.size() - rows.size());
    beginRemoveRows(QModelIndex(), kept, int(m_rows.size()) - 1);
    m_rows.resize(kept);
    endRemoveRows();
    rebuildIndex();
}

void ProblemsModel::rebuildIndex()
{
    m_index.clear();
    m_index.reserve(m_rows.size());
    for (qsizetype row = 0; row < m_rows.size(); ++row)
        m_index.insert(m_rows.at(row).key, int(row));
}

void ProblemsModel::emitRowsChanged(const QList<int>& rows, const QList<int>& roles)
{
    if (rows.isEmpty())
        return;
    const QList<std::pair<int, int>> ranges = rangesOf(rows);
    if (ranges.size() > maxChangedRanges) {
        emit dataChanged(index(ranges.first().first, 0), index(ranges.last().second, ColumnCount - 1), roles);
        return;
    }
    for (const auto& [first, last] : ranges)
        emit dataChanged(index(first, 0), index(last, ColumnCount - 1), roles);
}

void ProblemsModel::markAllSeen()
{
    if (m_newCount == 0)
        return;
    QList<int> changed;
    for (qsizetype row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).isNew) {
            m_rows[row].isNew = false;
            changed.append(int(row));
        }
    }
    m_newCount = 0;
    emitRowsChanged(changed, {NewRole});
}

int ProblemsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ProblemsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

qint64 ProblemsModel::secondsSince(const Row& row) const
{
    if (!row.details.lastStateChange.isValid())
        return -1;
    const QDateTime now = m_referenceTime.isValid() ? m_referenceTime : QDateTime::currentDateTimeUtc();
    return std::max<qint64>(0, row.details.lastStateChange.secsTo(now));
}

ProblemsModel::Flags ProblemsModel::flagsOf(const ProblemDetails& details)
{
    Flags flags;
    flags.setFlag(Acknowledged, details.acknowledged);
    flags.setFlag(InDowntime, details.inDowntime);
    flags.setFlag(SoftState, details.softState);
    flags.setFlag(Flapping, details.flapping);
    flags.setFlag(NotificationsOff, !details.notificationsEnabled);
    return flags;
}

QString ProblemsModel::flagsText(Flags flags)
{
    QStringList words;
    if (flags & Acknowledged)
        words << tr("acknowledged");
    if (flags & InDowntime)
        words << tr("in downtime");
    if (flags & SoftState)
        words << tr("soft state");
    if (flags & Flapping)
        words << tr("flapping");
    if (flags & NotificationsOff)
        words << tr("notifications off");
    return words.join(QLatin1String(", "));
}

QString ProblemsModel::durationText(qint64 seconds)
{
    if (seconds < 60)
        return tr("%1 s").arg(seconds);
    const qint64 minutes = seconds / 60;
    if (minutes < 60)
        return tr("%1 min").arg(minutes);
    if (minutes < 24 * 60)
        return tr("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
    return tr("%1 d %2 h").arg(minutes / (24 * 60)).arg(minutes / 60 % 24);
}

int ProblemsModel::severity(const QString& status)
{
    static const QLatin1String order[]
        = {QLatin1String("PENDING"), QLatin1String("WARNING"), QLatin1String("UNKNOWN"),
            QLatin1String("CRITICAL"), QLatin1String("UNREACHABLE"), QLatin1String("DOWN")};
    const QString word = statusWord(status);
    for (int i = 0; i < int(std::size(order)); ++i) {
        if (word.startsWith(order[i], Qt::CaseInsensitive))
            return i + 1;
    }
    return 0;
}

// The background colours of Nagios' own status pages.
QString ProblemsModel::statusColor(const QString& status)
{
    switch (severity(status)) {
    case 1:
        return QStringLiteral("#ACACAC");
    case 2:
        return QStringLiteral("#FFFF00");
    case 3:
        return QStringLiteral("#FF9900");
    case 4:
    case 5:
    case 6:
        return QStringLiteral("#F83838");
    default:
        return QStringLiteral("#88D066");
    }
}

QString ProblemsModel::serverName(const QString& serverId) const
{
    const auto server = m_servers.constFind(serverId);
    return server == m_servers.cend() ? QString() : server->name;
}

QString ProblemsModel::displayText(const Row& row, int column) const
{
    switch (column) {
    case ServerColumn:
        return serverName(row.serverId);
    case HostColumn:
        return row.host;
    case ServiceColumn:
        return row.service;
    case StatusColumn:
        return statusWord(row.status);
    case DurationColumn: {
        const qint64 seconds = secondsSince(row);
        return seconds < 0 ? QString() : durationText(seconds);
    }
    case AttemptColumn:
        if (row.details.maxAttempts <= 0)
            return QString();
        return QStringLiteral("%1/%2 ").arg(row.details.attempt).arg(row.details.maxAttempts)
            + (row.details.softState ? tr("soft") : tr("hard"));
    case OutputColumn:
        return row.details.output;
    case FlagsColumn:
        return flagsText(flagsOf(row.details));
    default:
        return QString();
    }
}

QVariant ProblemsModel::sortValue(const Row& row, int column) const
{
    switch (column) {
    case StatusColumn:
        return row.severity;
    case DurationColumn:
        return secondsSince(row);
    case AttemptColumn:
        return row.attemptKey;
    case FlagsColumn:
        return row.flags;
    default:
        return displayText(row, column);
    }
}

bool ProblemsModel::lessThan(int leftRow, int rightRow, int column) const
{
    const Row& a = m_rows.at(leftRow);
    const Row& b = m_rows.at(rightRow);
    const auto order = [](const auto& x, const auto& y) { return x < y ? -1 : (y < x ? 1 : 0); };
    int result = 0;
    switch (column) {
    case ServerColumn:
        result = a.serverId == b.serverId
            ? 0
            : serverName(a.serverId).compare(serverName(b.serverId), Qt::CaseInsensitive);
        break;
    case ServiceColumn:
        result = order(a.serviceKey, b.serviceKey);
        break;
    case StatusColumn:
        result = order(a.severity, b.severity);
        break;
    case DurationColumn:
        // The earlier the change, the longer the problem.
        result = order(b.changedMs, a.changedMs);
        break;
    case AttemptColumn:
        result = order(a.attemptKey, b.attemptKey);
        break;
    case OutputColumn:
        result = order(a.outputKey, b.outputKey);
        break;
    case FlagsColumn:
        result = order(a.flags, b.flags);
        break;
    default:
        break;
    }
    if (result == 0)
        result = order(a.hostKey, b.hostKey);
    if (result == 0)
        result = order(a.serviceKey, b.serviceKey);
    return result < 0;
}

bool ProblemsModel::matches(int row, const QString& foldedText) const
{
    if (foldedText.isEmpty())
        return true;
    const Row& r = m_rows.at(row);
    return r.hostKey.contains(foldedText) || r.serviceKey.contains(foldedText)
        || r.outputKey.contains(foldedText);
}

QVariant ProblemsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= ColumnCount)
        return {};
    const Row& row = m_rows.at(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return displayText(row, column);
    case Qt::ToolTipRole:
        if (column == DurationColumn && row.details.lastStateChange.isValid())
            return tr("Since %1")
                .arg(QLocale().toString(row.details.lastStateChange.toLocalTime(), QLocale::ShortFormat));
        return displayText(row, column);
    case SortRole:
        return sortValue(row, column);
    case StatusColorRole:
        return statusColor(row.status);
    case NewRole:
        return row.isNew;
    case UrlRole:
        return m_servers.value(row.serverId).scheme + row.address;
    case ServerIdRole:
        return row.serverId;
    case HostRole:
        return row.host;
    case ServiceRole:
        return row.service;
    case NameRole:
        return row.name;
    case FlagsRole:
        return row.flags;
    default:
        return {};
    }
}

QVariant ProblemsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case ServerColumn:
        return tr("Server");
    case HostColumn:
        return tr("Host");
    case ServiceColumn:
        return tr("Service");
    case StatusColumn:
        return tr("Status");
    case DurationColumn:
        return tr("Duration");
    case AttemptColumn:
        return tr("Attempt");
    case OutputColumn:
        return tr("Output");
    case FlagsColumn:
        return tr("Flags");
    default:
        return {};
    }
}
