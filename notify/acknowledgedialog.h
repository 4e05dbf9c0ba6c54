#pragma once

#include "monitor/nagioscommand.h"

#include <QDialog>
#include <QStringList>

#include <memory>

namespace Ui {
class AcknowledgeDialogClass;
} // namespace Ui

// Asks how to acknowledge one problem in Nagios: the comment and Nagios' three choices, with
// Nagios' own defaults (sticky, notify, not persistent). OK is possible only with a comment,
// which Nagios demands.
class AcknowledgeDialog : public QDialog
{
    Q_OBJECT

public:
    // An empty comment offers the program's own.
    AcknowledgeDialog(QWidget* parent, const QString& name, const QString& status, const QString& comment);
    // Several problems at once: "3 problems", each named in the tooltip, and their statuses.
    AcknowledgeDialog(
        QWidget* parent, const QStringList& names, const QStringList& statuses, const QString& comment);
    ~AcknowledgeDialog() override;

    // What the user chose; the author is the caller's to fill in.
    NagiosCommand::Acknowledgement acknowledgement() const;

    // One problem by its name, several by their number; the tooltip names several, up to a screenful.
    static QString problemsText(const QStringList& names);
    static QString problemsToolTip(const QStringList& names);

private:
    std::unique_ptr<Ui::AcknowledgeDialogClass> m_ui;
};
