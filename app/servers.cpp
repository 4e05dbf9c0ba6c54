#include "app/tarvix.h"

#include "app/resourcepaths.h"
#include "app/tooltiptext.h"
#include "config/serverlistpanel.h"
#include "config/settingsstore.h"
#include "config/validation.h"
#include "monitor/problemsmodel.h"
#include "monitor/serverlink.h"

#include <QLoggingCategory>
#include <QMessageBox>
#include <QSettings>
#include <QSslSocket>

Q_DECLARE_LOGGING_CATEGORY(lcTray)

namespace {

// An open menu lays itself out anew for every action added or removed: a flood of changes would
// hold the program for minutes. A walk that changes more entries than this closes it first.
constexpr int changesAnOpenMenuTakes = 20;

// Qt looks each removed action up in the menu's list and closes the gap behind it: taken from
// the end, the gaps stay short (none at all when every entry goes).
void deleteEntries(QMenu& menu, const QList<QAction*>& entries)
{
    for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
        menu.removeAction(*it);
        delete *it;
    }
}

// The entries without those at the given indices (as a plan gives them), which go into `removed`.
QList<QAction*> withoutIndices(const QList<QAction*>& entries, QList<int> indices, QList<QAction*>* removed)
{
    std::sort(indices.begin(), indices.end());
    QList<QAction*> kept;
    kept.reserve(entries.size());
    for (qsizetype i = 0, g = 0; i < entries.size(); ++i) {
        if (g < indices.size() && indices.at(g) == i) {
            removed->append(entries.at(i));
            while (g < indices.size() && indices.at(g) == i)
                ++g;
        } else {
            kept.append(entries.at(i));
        }
    }
    return kept;
}

int listIndex(StatusList list)
{
    return static_cast<int>(list);
}

} // namespace

QList<ServerLink*> Tarvix::serverLinks() const
{
    QList<ServerLink*> links;
    for (const auto& view : servers)
        links.append(view->link);
    return links;
}

// Every enabled server of the store gets a link.
void Tarvix::createServerLinks()
{
    QSettings store(settingsOrganization, settingsApplication);
    for (const QString& id : SettingsStore::serverIds(store)) {
        const StoredSettings values = SettingsStore::readServer(store, id);
        if (!values.flag(SettingKey::ServerEnabled))
            continue;
        auto view = std::make_unique<ServerView>();
        view->link = new ServerLink(id, this);
        view->link->applySettings(values);
        connectServerLink(view->link);
        servers.push_back(std::move(view));
    }
}

// The saved list: servers kept keep their links and problems, new ones get a link, removed and
// switched-off ones lose theirs; the menus follow a changed list.
void Tarvix::applyServers(const ServerListEdit& edit, const StoredSettings& window)
{
    const QStringList layoutBefore = menuLayout();
    std::vector<std::unique_ptr<ServerView>> next;
    for (int i = 0; i < edit.count(); ++i) {
        const StoredSettings values = edit.forWindow(i, window);
        if (!values.flag(SettingKey::ServerEnabled))
            continue;
        auto kept = std::find_if(servers.begin(), servers.end(),
            [&](const std::unique_ptr<ServerView>& view) { return view->link->id() == edit.at(i).id; });
        if (kept != servers.end()) {
            next.push_back(std::move(*kept));
            servers.erase(kept);
        } else {
            next.push_back(std::make_unique<ServerView>());
            next.back()->link = new ServerLink(edit.at(i).id, this);
            connectServerLink(next.back()->link);
        }
        next.back()->link->applySettings(values);
    }
    for (const auto& gone : servers) {
        problemsModel->removeLink(gone->link);
        gone->link->stopPolling();
        // A question of it may still be open: it goes when the event loop comes back.
        gone->link->disconnect(this);
        gone->link->deleteLater();
        for (const QList<QAction*>& entries : gone->entries)
            qDeleteAll(entries);
        for (int list = 0; list < 2; ++list) {
            delete gone->header[list];
            delete gone->placeholder[list];
        }
    }
    servers = std::move(next);
    // Names and schemes may have changed.
    for (const auto& view : servers)
        problemsModel->addLink(view->link);
    if (menuLayout() != layoutBefore)
        rebuildProblemMenus();
}

// What the menus' sections depend on: the servers, their order and names.
QStringList Tarvix::menuLayout() const
{
    QStringList layout;
    for (const auto& view : servers)
        layout << view->link->id() + QLatin1Char(' ') + view->link->settingsInForce().displayName();
    return layout;
}

void Tarvix::connectServerLink(ServerLink* link)
{
    problemsModel->addLink(link);
    connect(link, &ServerLink::pageWalked, this,
        [this, link](StatusList list, const PagePlan& plan) { showPageChanges(link, list, plan); });
    connect(link, &ServerLink::problemsChanged, this, [this] { updateTrayToolTip(false, QString()); });
    connect(link, &ServerLink::problemsCleared, this, [this, link](StatusList list) {
        if (ServerView* view = viewOf(link)) {
            deleteEntries(problemsMenu(list), std::exchange(view->entries[listIndex(list)], {}));
            updatePlaceholder(*view, list);
        }
    });
    connect(link, &ServerLink::errorStateEntered, this, [this, link](const QString& message) {
        showPlaceholders(link);
        if (severalServers()) {
            // The server's own tooltip line tells why.
            trayIcon.setIcon(QIcon(ResourcePaths::problemIcon));
            updateTrayToolTip(false, QString());
        } else {
            showErrorState(message);
        }
    });
    connect(link, &ServerLink::errorStateLeft, this, [this, link] {
        showPlaceholders(link);
        if (!anyServerFailing())
            trayIcon.setIcon(QIcon(ResourcePaths::normalIcon));
    });
    connect(link, &ServerLink::balloonRequested, this,
        [this, link](const QString& title, const QString& text, bool critical) {
            trayIcon.showMessage(title, aboutServer(link, text),
                critical ? QSystemTrayIcon::Critical : QSystemTrayIcon::Information, balloonMs);
            lastMessageUrl.clear();
        });
    connect(link, &ServerLink::questionAsked, this,
        [this, link](const LinkQuestion& question) { askQuestion(link, question); });
    connect(link, &ServerLink::settingsRequested, this,
        [this, link](ConfigTab tab, const QString& focus) { openSettingsFor(link, tab, focus); });
    connect(link, &ServerLink::certificateTrusted, this,
        [this, link](const QString& pin) { storeTrustedKey(link, pin); });
}

// Not reachable, or empty again: what a server without entries shows follows its error state.
void Tarvix::showPlaceholders(const ServerLink* link)
{
    if (ServerView* view = viewOf(link)) {
        updatePlaceholder(*view, StatusList::Hosts);
        updatePlaceholder(*view, StatusList::Services);
    }
}

Tarvix::ServerView* Tarvix::viewOf(const ServerLink* link)
{
    for (const auto& view : servers) {
        if (view->link == link)
            return view.get();
    }
    return nullptr;
}

Tarvix::ServerView* Tarvix::viewOf(const QString& serverId)
{
    for (const auto& view : servers) {
        if (view->link->id() == serverId)
            return view.get();
    }
    return nullptr;
}

QString Tarvix::aboutServer(const ServerLink* link, const QString& text) const
{
    if (!severalServers())
        return text;
    return link->settingsInForce().displayName() + QStringLiteral(": ") + text;
}

bool Tarvix::anyServerFailing() const
{
    for (const auto& view : servers) {
        if (view->link->errorReported())
            return true;
    }
    return false;
}

// The menu follows the plan, then its changes are announced in the plan's order (a flood
// summarised); the link then takes the plan into its list, and the tooltip follows.
void Tarvix::showPageChanges(ServerLink* link, StatusList list, const PagePlan& plan)
{
    ServerView* view = viewOf(link);
    if (!view)
        return;
    if (plan.added.size() + plan.gone.size() > changesAnOpenMenuTakes) {
        problemsMenu(list).hide();
        combinedMenu.hide();
    }
    mirrorEntries(*view, list, plan);
    const MonitorSettings& server = link->settingsInForce();
    const bool hosts = list == StatusList::Hosts;
    announceChanges(announcementsOf(plan, link->problems(list), hosts, server.scheme(), link->id(),
                        aboutServer(link, QString())),
        hosts ? server.showHostsMessages : server.showSrvcsMessages,
        pageAddress(server, hosts ? server.hostsRequest : server.servicesRequest),
        aboutServer(link, QString()));
}

// The server's section of the menu as the link's list will be once the plan is in: gone entries
// out, new ones at the end of the section, what known ones tell updated.
void Tarvix::mirrorEntries(ServerView& view, StatusList list, const PagePlan& plan)
{
    QList<QAction*>& entries = view.entries[listIndex(list)];
    const QDateTime now = QDateTime::currentDateTime();
    // A known problem is not announced again; what its entry tells follows the poll.
    for (const UpdatedProblem& problem : plan.updated) {
        if (problem.entry >= 0 && problem.entry < entries.size())
            entries.at(problem.entry)->setToolTip(problemSummary(problem.status, problem.details, now));
    }
    QList<int> goneIndices;
    goneIndices.reserve(plan.gone.size());
    for (const GoneProblem& problem : plan.gone) {
        qCInfo(lcTray).noquote() << view.link->id() << "entry removed" << problem.name;
        goneIndices.append(problem.entry);
    }
    QList<QAction*> gone;
    QList<QAction*> kept = withoutIndices(entries, goneIndices, &gone);
    QMenu& menu = problemsMenu(list);
    deleteEntries(menu, gone);

    QList<QAction*> added;
    added.reserve(plan.added.size());
    for (const NewProblem& problem : plan.added) {
        auto* entry = new QAction(menuEntryText(problem.name), this);
        entry->setData(problem.address);
        entry->setProperty("serverId", view.link->id());
        entry->setToolTip(problemSummary(problem.status, problem.details, now));
        added.append(entry);
        qCInfo(lcTray).noquote() << view.link->id() << "entry added" << problem.name << problem.status
                                 << problem.address;
    }
    if (!added.isEmpty()) {
        menu.removeAction(severalServers() ? view.placeholder[listIndex(list)] : ui.actionEmpty);
        menu.insertActions(sectionEnd(view, list), added);
    }
    kept.append(added);
    entries = std::move(kept);
    updatePlaceholder(view, list);
}

// Where the section after a server's begins, or nullptr for the last one.
QAction* Tarvix::sectionEnd(const ServerView& view, StatusList list) const
{
    for (auto it = servers.cbegin(); it != servers.cend(); ++it) {
        if (it->get() == &view && it + 1 != servers.cend())
            return (*(it + 1))->header[listIndex(list)];
    }
    return nullptr;
}

void Tarvix::askQuestion(ServerLink* link, const LinkQuestion& question)
{
    const QPointer<ServerLink> guarded(link);
    const QString text = severalServers()
        ? tr("Server %1:").arg(link->settingsInForce().displayName()) + QLatin1Char('\n') + question.text
        : question.text;
    LinkAnswer answer = LinkAnswer::No;
    switch (question.kind) {
    case LinkQuestionKind::NetworkError:
    case LinkQuestionKind::Authentication: {
        const auto button = QMessageBox::critical(
            this, question.title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        answer = button == QMessageBox::Yes ? LinkAnswer::Yes : LinkAnswer::No;
        break;
    }
    case LinkQuestionKind::StatusCode: {
        const auto button = QMessageBox::warning(this, question.title, text,
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
        answer = button == QMessageBox::Yes ? LinkAnswer::Yes
            : button == QMessageBox::No     ? LinkAnswer::No
                                            : LinkAnswer::Cancel;
        break;
    }
    case LinkQuestionKind::Certificate: {
        QMessageBox box(
            QMessageBox::Critical, question.title, text, QMessageBox::Yes | QMessageBox::No, this);
        box.setDefaultButton(QMessageBox::No);
        QPushButton* trust = question.offersTrust
            ? box.addButton(tr("Trust this certificate"), QMessageBox::AcceptRole)
            : nullptr;
        box.exec();
        answer = trust && box.clickedButton() == trust            ? LinkAnswer::Trust
            : box.clickedButton() == box.button(QMessageBox::Yes) ? LinkAnswer::Yes
                                                                  : LinkAnswer::No;
        break;
    }
    }
    // The server may have gone while the question was open (a new configuration saved meanwhile).
    if (guarded)
        guarded->answerQuestion(question.kind, answer);
}

void Tarvix::openSettingsFor(ServerLink* link, ConfigTab tab, const QString& focusWidget)
{
    configServerId = link->id();
    if (isVisible()) {
        serverPanel->select(serverPanel->servers().indexOf(std::exchange(configServerId, QString())));
    }
    showAndReadConfig();
    ui.tabConfig->setCurrentIndex(tab);
    if (!focusWidget.isEmpty()) {
        if (auto* focus = findChild<QWidget*>(focusWidget))
            focus->setFocus(Qt::OtherFocusReason);
    }
}

// The key goes where the server's other settings are, so that it is trusted again at the next start.
void Tarvix::storeTrustedKey(ServerLink* link, const QString& pinnedPublicKey)
{
    QSettings store(settingsOrganization, settingsApplication);
    const bool created = SettingsStore::createPrivately(store.fileName());
    StoredSettings values;
    values.set(SettingKey::PinnedPublicKey, pinnedPublicKey);
    SettingsStore::writeServer(store, link->id(), values);
    store.sync();
    keepSettingsPrivate(store.fileName(), created && SettingsStore::restrictToOwner(store.fileName()));
    if (link->id() == SettingsStore::firstServerId)
        storedSettings.set(SettingKey::PinnedPublicKey, pinnedPublicKey);
}
