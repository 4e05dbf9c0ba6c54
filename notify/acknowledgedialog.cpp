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

AcknowledgeDialog::AcknowledgeDialog(
    QWidget* parent, const QStringList& names, const QStringList& statuses, const QString& comment)
    : AcknowledgeDialog(parent, problemsText(names), statuses.join(QLatin1String(", ")), comment)
{
    m_ui->lbName->setToolTip(problemsToolTip(names));
}

AcknowledgeDialog::~AcknowledgeDialog() = default;

QString AcknowledgeDialog::problemsText(const QStringList& names)
{
    return names.size() == 1 ? names.first() : tr("%n problems", "", int(names.size()));
}

QString AcknowledgeDialog::problemsToolTip(const QStringList& names)
{
    constexpr int shown = 25;
    if (names.size() < 2)
        return QString();
    QStringList lines = names.mid(0, shown);
    if (names.size() > shown)
        lines << tr("… and %n more", "", int(names.size()) - shown);
    return lines.join(QLatin1Char('\n'));
}

NagiosCommand::Acknowledgement AcknowledgeDialog::acknowledgement() const
{
    NagiosCommand::Acknowledgement ack;
    ack.comment = m_ui->edComment->text().trimmed();
    ack.sticky = m_ui->cbSticky->isChecked();
    ack.sendNotification = m_ui->cbSendNotification->isChecked();
    ack.persistentComment = m_ui->cbPersistent->isChecked();
    return ack;
}
