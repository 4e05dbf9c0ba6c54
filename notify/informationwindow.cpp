#include "notify/informationwindow.h"

#include "ui_informationwindow.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QLabel>
#include <QPushButton>

#include <limits>

namespace {

Qt::WindowFlags popupFlags(bool staysOnTop)
{
    Qt::WindowFlags flags
        = Qt::SubWindow | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint;
    if (staysOnTop)
        flags |= Qt::WindowStaysOnTopHint;
    return flags;
}

} // namespace

InformationWindow::InformationWindow(QWidget* parent, ChangeEventKind kind, const QString& linkText,
    const QString& status, int autoCloseMinutes, int x, int y, bool staysOnTop)
    : QWidget(parent, popupFlags(staysOnTop)),
      m_kind(kind),
      autoCloseTimer(),
      m_ui(std::make_unique<Ui::InformationWindowClass>())
{
    m_ui->setupUi(this);

    m_ui->lbHostLink->setText(linkText);
    m_ui->lbStatus->setText(status);
    m_ui->lbObjectName->setText(isHostEvent(kind) ? tr(" Hostname:") : tr(" Name of service:"));
    m_ui->lbEventTime->setText(QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss dd.MM.yyyy")));

    // The window's sheet reaches every child; the two below override its font for their widgets.
    if (!isProblem(kind))
        setStyleSheet(
            QStringLiteral("QWidget { background: LimeGreen ; font-size: 10pt; font-weight: bold }"));
    else
        setStyleSheet(QStringLiteral("QWidget { background: red ; font-size: 10pt; font-weight: bold; }"));
    m_ui->lbHostLink->setStyleSheet(QStringLiteral("QLabel { font-size: 12pt; font-weight: bold;}"));
    m_ui->cbAutoClose->setStyleSheet(QStringLiteral("QCheckBox { font-size: 8pt; font-weight: normal }"));

    if (autoCloseMinutes != 0) {
        autoCloseTimer.setSingleShot(true);
        // A hand-edited settings file may hold any number; the timer takes at most INT_MAX ms.
        const qint64 milliseconds = qint64(autoCloseMinutes) * 60000;
        autoCloseTimer.start(int(qBound(qint64(0), milliseconds, qint64(std::numeric_limits<int>::max()))));
        m_ui->cbAutoClose->setEnabled(true);
        // Checked before the connection, so building the popup does not run the slot.
        m_ui->cbAutoClose->setChecked(true);
        connect(&autoCloseTimer, &QTimer::timeout, this, &InformationWindow::close);
        connect(m_ui->cbAutoClose, &QCheckBox::toggled, this, &InformationWindow::processCbAutoClose);
    }

    setWindowTitle(tr("Tarvix: change of status"));
    setGeometry(QRect(QPoint(x, y), size()));
    m_ui->lbHostLink->setFocus(Qt::OtherFocusReason);
    setVisible(true);
}

InformationWindow::~InformationWindow() = default;

void InformationWindow::showDetails(const QString& output, const QString& duration)
{
    if (output.isEmpty() && duration.isEmpty())
        return;
    // Below the status row, above the auto-close row; the server's words are never rich text.
    const int row = m_ui->verticalLayout_3->indexOf(m_ui->horizontalLayout) + 1;
    auto* details = new QLabel(this);
    details->setObjectName(QStringLiteral("lbDetails"));
    details->setTextFormat(Qt::PlainText);
    details->setStyleSheet(QStringLiteral("QLabel { font-size: 9pt; font-weight: normal }"));
    details->setAlignment(Qt::AlignCenter);
    const QFontMetrics metrics(QFont(font().family(), 9));
    const int width = qMax(200, this->width() - 12);
    QStringList lines;
    if (!output.isEmpty())
        lines << metrics.elidedText(output, Qt::ElideRight, width);
    if (!duration.isEmpty())
        lines << duration;
    details->setText(lines.join(QLatin1Char('\n')));
    details->setToolTip(QStringList({output, duration}).join(QLatin1Char('\n')).trimmed());
    m_ui->verticalLayout_3->insertWidget(row, details);
    // The popup's size is fixed; without room of their own the lines would lie over the status.
    details->ensurePolished();
    const int grown = maximumHeight() + details->sizeHint().height() + m_ui->verticalLayout_3->spacing();
    setFixedHeight(grown);
    details->setVisible(true);
}

// Only a problem's popup changes its rows: the auto-close box moves up beside the name, which
// leaves room for a line that tells how a command went and for the buttons, in small type, beside
// "Ok". A recovery's popup stays as the form lays it out.
void InformationWindow::offerCommands()
{
    if (!isProblem(m_kind) || m_acknowledgeButton)
        return;
    QCheckBox* autoClose = m_ui->cbAutoClose;
    m_ui->horizontalLayout_2->removeWidget(autoClose);
    m_ui->verticalLayout_3->removeWidget(m_ui->lbObjectName);
    auto* nameRow = new QHBoxLayout;
    nameRow->setSpacing(6);
    nameRow->addWidget(m_ui->lbObjectName);
    nameRow->addStretch();
    nameRow->addWidget(autoClose);
    autoClose->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_ui->verticalLayout_3->insertLayout(0, nameRow);
    m_ui->verticalLayout_3->setSpacing(1);

    const QString smallType = QStringLiteral("font-size: 8pt; font-weight: normal");
    m_commandState = new QLabel(this);
    m_commandState->setObjectName(QStringLiteral("lbCommandState"));
    m_commandState->setTextFormat(Qt::PlainText);
    m_commandState->setStyleSheet(QStringLiteral("QLabel { %1; padding-left: 3px }").arg(smallType));
    // A reason from the server may be long: it is elided here, and whole in the tooltip.
    m_commandState->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    m_commandState->ensurePolished();
    m_commandState->setFixedHeight(m_commandState->fontMetrics().height());
    m_ui->verticalLayout_3->insertWidget(3, m_commandState);

    m_acknowledgeButton = new QPushButton(tr("Acknowledge…"), this);
    m_acknowledgeButton->setObjectName(QStringLiteral("btnAcknowledge"));
    m_recheckButton = new QPushButton(tr("Recheck"), this);
    m_recheckButton->setObjectName(QStringLiteral("btnRecheck"));
    m_ui->horizontalLayout_2->insertWidget(0, m_acknowledgeButton);
    m_ui->horizontalLayout_2->insertWidget(1, m_recheckButton);
    for (QPushButton* button : {m_acknowledgeButton, m_recheckButton, m_ui->closeButton})
        button->setStyleSheet(QStringLiteral("QPushButton { %1; padding: 2px 4px }").arg(smallType));
    // "Ok" gives way to the longer texts.
    m_ui->closeButton->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(m_acknowledgeButton, &QPushButton::clicked, this, &InformationWindow::acknowledgeRequested);
    connect(m_recheckButton, &QPushButton::clicked, this, &InformationWindow::recheckRequested);
    // Children added to a window already shown would appear only later; the texts are elided to
    // their room, so it must be known now.
    for (QWidget* added : {static_cast<QWidget*>(m_commandState), static_cast<QWidget*>(m_acknowledgeButton),
             static_cast<QWidget*>(m_recheckButton)})
        added->setVisible(true);
    // Hidden buttons keep their room, so that "Ok" stays where it was.
    for (QPushButton* button : {m_acknowledgeButton, m_recheckButton}) {
        QSizePolicy policy = button->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        button->setSizePolicy(policy);
    }
    m_ui->verticalLayout_3->activate();
}

void InformationWindow::setCommandsEnabled(bool enabled)
{
    if (!m_acknowledgeButton)
        return;
    m_acknowledgeButton->setEnabled(enabled);
    m_recheckButton->setEnabled(enabled);
}

void InformationWindow::showCommandRunning(Command command)
{
    if (!m_acknowledgeButton)
        return;
    setCommandsEnabled(false);
    setCommandState(
        command == Command::Acknowledge ? tr("Sending the acknowledgement…") : tr("Asking for a recheck…"));
}

void InformationWindow::showCommandSubmitted(Command command)
{
    if (!m_acknowledgeButton)
        return;
    if (command == Command::Acknowledge) {
        m_acknowledgeButton->hide();
        m_recheckButton->hide();
        setCommandState(tr("Acknowledged"));
        return;
    }
    setCommandsEnabled(true);
    setCommandState(tr("Recheck requested"));
}

void InformationWindow::showCommandFailed(const QString& reason)
{
    if (!m_acknowledgeButton)
        return;
    setCommandsEnabled(true);
    setCommandState(reason);
}

void InformationWindow::setCommandState(const QString& text)
{
    layout()->activate();
    const int width = m_commandState->contentsRect().width();
    m_commandState->setText(m_commandState->fontMetrics().elidedText(text, Qt::ElideRight, width));
    m_commandState->setToolTip(text);
}

void InformationWindow::processCbAutoClose(bool checked)
{
    // Unchecking cancels the automatic close for good: the box greys out.
    autoCloseTimer.stop();
    m_ui->cbAutoClose->setEnabled(checked);
}

void InformationWindow::closeEvent(QCloseEvent* event)
{
    deleteLater();
    event->accept();
}
