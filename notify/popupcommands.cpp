#include "app/tarvix.h"

#include "config/settingsstore.h"
#include "monitor/serverlink.h"
#include "notify/acknowledgedialog.h"

#include <QLoggingCategory>
#include <QSettings>

#include <pwd.h>
#include <unistd.h>

Q_DECLARE_LOGGING_CATEGORY(lcNotify)

// Each command is an object of its own that belongs to the main object, so the polls never wait
// for it and a popup may close while it runs; the popup hears of the result only while it exists.
void Tarvix::offerPopupCommands(InformationWindow* popup, const Announcement& change)
{
    popup->offerCommands();
    const QPointer<InformationWindow> guarded(popup);
    connect(popup, &InformationWindow::acknowledgeRequested, this,
        [this, guarded, change] { askAcknowledgement(guarded, change); });
    connect(popup, &InformationWindow::recheckRequested, this,
        [this, guarded, change] { sendPopupCommand(guarded, change, InformationWindow::Command::Recheck); });
}

void Tarvix::askAcknowledgement(const QPointer<InformationWindow>& popup, const Announcement& change)
{
    if (!popup)
        return;
    // Without a parent: the popup's colour sheet would reach a child window too.
    auto* dialog = new AcknowledgeDialog(nullptr, change.name, change.status, settings.acknowledgeComment);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (settings.popupsStayOnTop)
        dialog->setWindowFlag(Qt::WindowStaysOnTopHint);
    popup->setCommandsEnabled(false);
    connect(popup, &QObject::destroyed, dialog, &QWidget::close);
    connect(dialog, &QDialog::rejected, popup, [popup] { popup->setCommandsEnabled(true); });
    connect(dialog, &QDialog::accepted, this, [this, popup, change, dialog] {
        NagiosCommand::Acknowledgement ack = dialog->acknowledgement();
        const ServerView* view = viewOf(change.serverId);
        ack.author = commandAuthor(view ? view->link->settingsInForce() : settings);
        rememberAcknowledgeComment(ack.comment);
        sendPopupCommand(popup, change, InformationWindow::Command::Acknowledge, ack);
    });
    dialog->show();
    dialog->activateWindow();
}

void Tarvix::sendPopupCommand(const QPointer<InformationWindow>& popup, const Announcement& change,
    InformationWindow::Command command, const NagiosCommand::Acknowledgement& ack)
{
    if (!popup)
        return;
    ServerView* view = viewOf(change.serverId);
    if (!view)
        return;
    const QPointer<ServerLink> link(view->link);
    NagiosCommand* nagios = link->createCommand(this);
    connect(nagios, &NagiosCommand::finished, this,
        [this, nagios, popup, change, command, link](const NagiosCommand::Result& result) {
            nagios->deleteLater();
            qCInfo(lcNotify).noquote() << "command" << int(command) << "for" << change.name << "ended"
                                       << int(result.outcome) << result.reason;
            if (result.outcome != NagiosCommand::Outcome::Submitted) {
                if (popup)
                    popup->showCommandFailed(result.reason);
                const QString title = command == InformationWindow::Command::Acknowledge
                    ? tr("Tarvix: acknowledgement not sent")
                    : tr("Tarvix: recheck not requested");
                trayIcon.showMessage(title, change.name + QLatin1Char('\n') + result.reason,
                    QSystemTrayIcon::Warning, balloonMs);
                lastMessageUrl.clear();
                return;
            }
            if (popup)
                popup->showCommandSubmitted(command);
            if (link)
                link->commandTaken();
        });
    popup->showCommandRunning(command);
    if (command == InformationWindow::Command::Acknowledge)
        nagios->acknowledge(change.host, change.service, ack);
    else
        nagios->recheck(change.host, change.service);
}

// Kept apart from the configuration window, which does not show it: its Save writes only what
// it shows and leaves this key as it is.
void Tarvix::rememberAcknowledgeComment(const QString& comment)
{
    if (comment == settings.acknowledgeComment)
        return;
    settings.acknowledgeComment = comment;
    storedSettings.set(SettingKey::AcknowledgeComment, comment);
    QSettings store(settingsOrganization, settingsApplication);
    const bool created = SettingsStore::createPrivately(store.fileName());
    StoredSettings values;
    values.set(SettingKey::AcknowledgeComment, comment);
    SettingsStore::write(store, values);
    store.sync();
    keepSettingsPrivate(store.fileName(), created && SettingsStore::restrictToOwner(store.fileName()));
}

// Nagios records who acknowledged: the login it knows the user by, else the desktop account.
QString Tarvix::commandAuthor(const MonitorSettings& server) const
{
    if (server.useHttpAuth && !server.login.isEmpty())
        return server.login;
    if (const passwd* account = getpwuid(geteuid()))
        return QString::fromLocal8Bit(account->pw_name);
    return qEnvironmentVariable("USER");
}
