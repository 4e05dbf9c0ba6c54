#pragma once

#include "monitor/nagioscommand.h"

#include <QDialog>

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
    ~AcknowledgeDialog() override;

    // What the user chose; the author is the caller's to fill in.
    NagiosCommand::Acknowledgement acknowledgement() const;

private:
    std::unique_ptr<Ui::AcknowledgeDialogClass> m_ui;
};
