#include "notify/informationwindow.h"

#include "ui_informationwindow.h"

#include <QCloseEvent>
#include <QDateTime>

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
