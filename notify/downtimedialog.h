#pragma once

#include "monitor/nagioscommand.h"

#include <QDialog>
#include <QStringList>

#include <memory>

namespace Ui {
class DowntimeDialogClass;
} // namespace Ui

// Asks for a downtime of one or more problems, from now: how long, why, and whether it is fixed
// (Nagios' default) or flexible. OK needs a comment, which Nagios demands, and a duration.
class DowntimeDialog : public QDialog
{
    Q_OBJECT

public:
    DowntimeDialog(QWidget* parent, const QStringList& names);
    ~DowntimeDialog() override;

    // What the user chose, starting now; the author is the caller's to fill in.
    NagiosCommand::Downtime downtime() const;

private:
    void updateOk();

    std::unique_ptr<Ui::DowntimeDialogClass> m_ui;
};
