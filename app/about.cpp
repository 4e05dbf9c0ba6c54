#include "app/about.h"

#include "app/version.h"
#include "ui_about.h"

#include <QCloseEvent>
#include <QScreen>

About::About(QWidget* parent)
    : QWidget(parent,
        Qt::SubWindow | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint),
      m_ui(std::make_unique<Ui::AboutClass>())
{
    m_ui->setupUi(this);

    // Centred from the screen's width and height alone; the screen's origin is deliberately not added.
    const QRect screenRect = screen()->geometry();
    const int x = screenRect.width() / 2 - width() / 2;
    const int y = screenRect.height() / 2 - height() / 2;
    setGeometry(QRect(QPoint(x, y), size()));

    m_ui->lbVersion->setText(m_ui->lbVersion->text() + tarvixVersion);
    m_ui->lbDate->setText(m_ui->lbDate->text() + tarvixReleaseDate);
}

About::~About() = default;

void About::closeEvent(QCloseEvent* event)
{
    deleteLater();
    event->accept();
}
