#include "notify/downtimedialog.h"

#include "notify/acknowledgedialog.h"
#include "ui_downtimedialog.h"

#include <QPushButton>

DowntimeDialog::DowntimeDialog(QWidget* parent, const QStringList& names)
    : QDialog(parent), m_ui(std::make_unique<Ui::DowntimeDialogClass>())
{
    m_ui->setupUi(this);
    m_ui->lbName->setText(AcknowledgeDialog::problemsText(names));
    m_ui->lbName->setToolTip(AcknowledgeDialog::problemsToolTip(names));
    m_ui->edComment->setText(tr("Downtime scheduled from Tarvix"));
    m_ui->edComment->selectAll();
    connect(m_ui->edComment, &QLineEdit::textChanged, this, &DowntimeDialog::updateOk);
    connect(m_ui->spinHours, &QSpinBox::valueChanged, this, &DowntimeDialog::updateOk);
    connect(m_ui->spinMinutes, &QSpinBox::valueChanged, this, &DowntimeDialog::updateOk);
    updateOk();
}

DowntimeDialog::~DowntimeDialog() = default;

void DowntimeDialog::updateOk()
{
    m_ui->buttonBox->button(QDialogButtonBox::Ok)
        ->setEnabled(!m_ui->edComment->text().trimmed().isEmpty()
            && m_ui->spinHours->value() + m_ui->spinMinutes->value() > 0);
}

NagiosCommand::Downtime DowntimeDialog::downtime() const
{
    NagiosCommand::Downtime downtime;
    downtime.comment = m_ui->edComment->text().trimmed();
    downtime.durationMinutes = m_ui->spinHours->value() * 60 + m_ui->spinMinutes->value();
    downtime.fixed = m_ui->cbFixed->isChecked();
    return downtime;
}
