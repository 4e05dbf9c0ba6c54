#include "app/tarvix.h"

#include "app/problemswindow.h"
#include "monitor/problemsmodel.h"
#include "notify/acknowledgedialog.h"
#include "notify/downtimedialog.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcNotify)

namespace {

QStringList namesOf(const QList<CommandBatch::Target>& targets)
{
    QStringList names;
    for (const CommandBatch::Target& target : targets)
        names << target.name;
    return names;
}

} // namespace

void Tarvix::showProblemsWindow()
{
    if (!problemsWindow) {
        problemsWindow = new ProblemsWindow(problemsModel, this);
        connect(
            problemsWindow, &ProblemsWindow::acknowledgeRequested, this, &Tarvix::askProblemsAcknowledgement);
        connect(problemsWindow, &ProblemsWindow::recheckRequested, this,
            [this] { sendProblemCommands(CommandBatch::Kind::Recheck, problemsWindow->selectedProblems()); });
        connect(problemsWindow, &ProblemsWindow::downtimeRequested, this, &Tarvix::askProblemsDowntime);
    }
    problemsWindow->show();
    problemsWindow->raise();
    problemsWindow->activateWindow();
}

// The popup's dialog and choices, for all the selected rows at once; the comment is remembered as
// the popup remembers it.
void Tarvix::askProblemsAcknowledgement()
{
    const QList<CommandBatch::Target> targets = problemsWindow->selectedProblems();
    if (targets.isEmpty())
        return;
    auto* dialog = new AcknowledgeDialog(
        problemsWindow, namesOf(targets), problemsWindow->selectedStatuses(), settings.acknowledgeComment);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QDialog::accepted, this, [this, dialog, targets] {
        const NagiosCommand::Acknowledgement ack = dialog->acknowledgement();
        rememberAcknowledgeComment(ack.comment);
        sendProblemCommands(CommandBatch::Kind::Acknowledge, targets, ack);
    });
    dialog->show();
}

void Tarvix::askProblemsDowntime()
{
    const QList<CommandBatch::Target> targets = problemsWindow->selectedProblems();
    if (targets.isEmpty())
        return;
    auto* dialog = new DowntimeDialog(problemsWindow, namesOf(targets));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QDialog::accepted, this, [this, dialog, targets] {
        sendProblemCommands(CommandBatch::Kind::Downtime, targets, {}, dialog->downtime());
    });
    dialog->show();
}

// Each problem's command goes to its own server; the batch belongs to the main object, so it goes
// on when the window closes.
void Tarvix::sendProblemCommands(CommandBatch::Kind kind, const QList<CommandBatch::Target>& targets,
    const NagiosCommand::Acknowledgement& ack, const NagiosCommand::Downtime& downtime)
{
    if (targets.isEmpty())
        return;
    auto* batch = new CommandBatch(kind, targets, serverLinks(), this);
    batch->setAcknowledgement(ack);
    batch->setDowntime(downtime);
    batch->setAuthor([this](const MonitorSettings& server) { return commandAuthor(server); });
    connect(batch, &CommandBatch::finished, this, [this, batch] {
        batch->deleteLater();
        reportProblemCommands(*batch);
    });
    if (problemsWindow)
        problemsWindow->showCommandResult(tr("Commands being sent: %1…").arg(targets.size()));
    batch->start();
}

// Failures as the popups tell them: a balloon, and here the window's status line too.
void Tarvix::reportProblemCommands(const CommandBatch& batch)
{
    const int done = batch.submittedCount();
    QString text;
    switch (batch.kind()) {
    case CommandBatch::Kind::Acknowledge:
        text = tr("Acknowledged: %1.").arg(done);
        break;
    case CommandBatch::Kind::Recheck:
        text = tr("Recheck requested: %1.").arg(done);
        break;
    case CommandBatch::Kind::Downtime:
        text = tr("Downtime scheduled: %1.").arg(done);
        break;
    }
    const QList<CommandBatch::Failure>& failures = batch.failures();
    if (!failures.isEmpty()) {
        const CommandBatch::Failure& first = failures.first();
        const ServerView* view = viewOf(first.target.serverId);
        const QString name = view ? aboutServer(view->link, first.target.name) : first.target.name;
        const QString failed = tr("%1 of %2 failed: %3")
                                   .arg(failures.size())
                                   .arg(batch.count())
                                   .arg(name + QStringLiteral(": ") + first.reason);
        text = done > 0 ? text + QLatin1Char(' ') + failed : failed;
        const QString title = batch.kind() == CommandBatch::Kind::Acknowledge
            ? tr("Tarvix: acknowledgement not sent")
            : batch.kind() == CommandBatch::Kind::Recheck ? tr("Tarvix: recheck not requested")
                                                          : tr("Tarvix: downtime not scheduled");
        trayIcon.showMessage(title, failed, QSystemTrayIcon::Warning, balloonMs);
        lastMessageUrl.clear();
    }
    qCInfo(lcNotify).noquote() << "problems window: command" << int(batch.kind()) << "for" << batch.count()
                               << "problems," << done << "taken," << failures.size() << "failed";
    if (problemsWindow)
        problemsWindow->showCommandResult(text);
}
