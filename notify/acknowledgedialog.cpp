#include "notify/acknowledgedialog.h"

#include "ui_acknowledgedialog.h"

#include <QPushButton>

AcknowledgeDialog::AcknowledgeDialog(
    QWidget* parent, const QString& name, const QString& status, const QString& comment)
    : QDialog(parent), m_ui(std::make_unique<Ui::AcknowledgeDialogClass>())
{
    m_ui->setupUi(this);
    m_ui->lbName->setText(name);
    m_ui->lbStatus->setText(status);
    m_ui->edComment->setText(comment.isEmpty() ? tr("Acknowledged from Tarvix") : comment);
    m_ui->edComment->selectAll();
    QPushButton* ok = m_ui->buttonBox->button(QDialogButtonBox::Ok);
    connect(m_ui->edComment, &QLineEdit::textChanged, ok,
        [ok](const QString& text) { ok->setEnabled(!text.trimmed().isEmpty()); });
    ok->setEnabled(!m_ui->edComment->text().trimmed().isEmpty());
}

AcknowledgeDialog::~AcknowledgeDialog() = default;

NagiosCommand::Acknowledgement AcknowledgeDialog::acknowledgement() const
{
    NagiosCommand::Acknowledgement ack;
    ack.comment = m_ui->edComment->text().trimmed();
    ack.sticky = m_ui->cbSticky->isChecked();
    ack.sendNotification = m_ui->cbSendNotification->isChecked();
    ack.persistentComment = m_ui->cbPersistent->isChecked();
    return ack;
}
