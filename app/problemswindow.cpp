#include "app/problemswindow.h"

#include "app/resourcepaths.h"
#include "config/monitorsettings.h"
#include "config/settingsstore.h"
#include "monitor/problemsfilter.h"
#include "monitor/problemsmodel.h"
#include "ui_problemswindow.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QPainter>
#include <QSettings>
#include <QStyledItemDelegate>
#include <QUrl>

#include <algorithm>

namespace {

// The window's own state beside the settings: not settings the user edits, so neither the settings
// table nor the configuration window knows them. Qt's opaque blobs: the geometry, and the header's
// column widths, order, hidden columns and sort column and order.
const QString geometryKey = QStringLiteral("ProblemsWindow/Geometry");
const QString columnsKey = QStringLiteral("ProblemsWindow/Columns");

constexpr int flagIconSize = 16;
constexpr int flagIconGap = 2;

// New rows bold, the status on Nagios' colour (its text stays), the flags as icons.
class ProblemsDelegate : public QStyledItemDelegate
{
public:
    explicit ProblemsDelegate(QObject* parent) : QStyledItemDelegate(parent)
    {
        m_flagIcons = {
            {ProblemsModel::Acknowledged, QIcon(ResourcePaths::acknowledgedIcon)},
            {ProblemsModel::InDowntime, QIcon(ResourcePaths::downtimeIcon)},
            {ProblemsModel::SoftState, QIcon(ResourcePaths::softStateIcon)},
            {ProblemsModel::Flapping, QIcon(ResourcePaths::flappingIcon)},
            {ProblemsModel::NotificationsOff, QIcon(ResourcePaths::notificationsOffIcon)},
        };
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (index.column() != ProblemsModel::FlagsColumn)
            return;
        const int flags = index.data(ProblemsModel::FlagsRole).toInt();
        QRect place(option.rect.left() + flagIconGap, option.rect.center().y() - flagIconSize / 2 + 1,
            flagIconSize, flagIconSize);
        for (const auto& [flag, icon] : m_flagIcons) {
            if (!(flags & flag))
                continue;
            icon.paint(painter, place);
            place.translate(flagIconSize + flagIconGap, 0);
        }
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (index.column() == ProblemsModel::FlagsColumn) {
            const int count = qPopulationCount(quint32(index.data(ProblemsModel::FlagsRole).toInt()));
            size.setWidth(flagIconGap + count * (flagIconSize + flagIconGap));
        }
        return size;
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(ProblemsModel::NewRole).toBool())
            option->font.setBold(true);
        if (index.column() == ProblemsModel::StatusColumn) {
            option->backgroundBrush = QColor(index.data(ProblemsModel::StatusColorRole).toString());
            option->palette.setColor(QPalette::Text, Qt::black);
        } else if (index.column() == ProblemsModel::FlagsColumn) {
            // The words stay the cell's accessible text and tooltip; the icons say them here.
            option->text.clear();
        }
    }

private:
    QList<std::pair<ProblemsModel::Flag, QIcon>> m_flagIcons;
};

// Tabs and line ends would break the copied table's rows and columns.
QString cellText(const QModelIndex& index)
{
    QString text = index.data().toString();
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

} // namespace

ProblemsWindow::ProblemsWindow(ProblemsModel* model, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_ui(std::make_unique<Ui::ProblemsWindowClass>()),
      m_model(model),
      m_filter(new ProblemsFilter(this))
{
    m_ui->setupUi(this);
    m_filter->setProblemsModel(model);
    QTableView* view = m_ui->tableProblems;
    view->setModel(m_filter);
    view->setItemDelegate(new ProblemsDelegate(view));
    const int widths[ProblemsModel::ColumnCount] = {80, 130, 130, 110, 100, 100, 300, 100};
    for (int column = 0; column < ProblemsModel::ColumnCount; ++column)
        view->setColumnWidth(column, widths[column]);
    view->sortByColumn(ProblemsModel::StatusColumn, Qt::DescendingOrder);

    connect(m_ui->edFilter, &QLineEdit::textChanged, m_filter, &ProblemsFilter::setFilterText);
    connect(m_ui->edFilter, &QLineEdit::returnPressed, view, [view] {
        view->setFocus(Qt::ShortcutFocusReason);
        if (!view->currentIndex().isValid() && view->model()->rowCount() > 0)
            view->setCurrentIndex(view->model()->index(0, 0));
    });
    connect(view, &QAbstractItemView::doubleClicked, this, &ProblemsWindow::openSelected);
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_filter, signal, this, [this] {
            updateTitle();
            restoreTopRow();
        });
    connect(m_filter, &QAbstractItemModel::layoutChanged, this, [this] {
        updateTitle();
        restoreTopRow();
    });
    connect(m_filter, &QAbstractItemModel::modelReset, this, &ProblemsWindow::updateTitle);
    for (const auto signal :
        {&QAbstractItemModel::rowsAboutToBeInserted, &QAbstractItemModel::rowsAboutToBeRemoved})
        connect(m_filter, signal, this, &ProblemsWindow::rememberTopRow);
    connect(m_filter, &QAbstractItemModel::layoutAboutToBeChanged, this, &ProblemsWindow::rememberTopRow);
    connect(
        view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &ProblemsWindow::updateActions);
    connect(model, &ProblemsModel::serversChanged, this, &ProblemsWindow::updateServerColumn);
    m_repaintTimer.setInterval(30000);
    connect(&m_repaintTimer, &QTimer::timeout, view->viewport(), qOverload<>(&QWidget::update));

    setupActions();
    updateTitle();
    updateActions();
    updateServerColumn();
}

ProblemsWindow::~ProblemsWindow() = default;

QTableView* ProblemsWindow::table() const
{
    return m_ui->tableProblems;
}

void ProblemsWindow::setupActions()
{
    Ui::ProblemsWindowClass& ui = *m_ui;
    ui.actionOpenProblem->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_O), QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    ui.actionAcknowledgeProblems->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    ui.actionRecheckProblems->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    ui.actionScheduleDowntime->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    ui.actionCopyProblems->setShortcut(QKeySequence::Copy);
    ui.actionFindProblems->setShortcut(QKeySequence::Find);
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    // The table's context menu (the menu key too) lists them with their shortcuts; the shortcuts
    // work while the table has the focus, so that the filter keeps Ctrl+C and Return for itself.
    for (QAction* action : {ui.actionOpenProblem, ui.actionAcknowledgeProblems, ui.actionRecheckProblems,
             ui.actionScheduleDowntime, separator, ui.actionCopyProblems}) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        ui.tableProblems->addAction(action);
    }
    addAction(ui.actionFindProblems);
    connect(ui.actionOpenProblem, &QAction::triggered, this, &ProblemsWindow::openSelected);
    connect(ui.actionAcknowledgeProblems, &QAction::triggered, this, &ProblemsWindow::acknowledgeRequested);
    connect(ui.actionRecheckProblems, &QAction::triggered, this, &ProblemsWindow::recheckRequested);
    connect(ui.actionScheduleDowntime, &QAction::triggered, this, &ProblemsWindow::downtimeRequested);
    connect(ui.actionCopyProblems, &QAction::triggered, this, &ProblemsWindow::copySelected);
    connect(ui.actionFindProblems, &QAction::triggered, this, [this] {
        m_ui->edFilter->setFocus(Qt::ShortcutFocusReason);
        m_ui->edFilter->selectAll();
    });
}

QModelIndexList ProblemsWindow::selectedRows() const
{
    QModelIndexList rows = m_ui->tableProblems->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
        [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    return rows;
}

QList<CommandBatch::Target> ProblemsWindow::selectedProblems() const
{
    QList<CommandBatch::Target> targets;
    for (const QModelIndex& row : selectedRows()) {
        targets.append({row.data(ProblemsModel::ServerIdRole).toString(),
            row.data(ProblemsModel::NameRole).toString(), row.data(ProblemsModel::HostRole).toString(),
            row.data(ProblemsModel::ServiceRole).toString()});
    }
    return targets;
}

QStringList ProblemsWindow::selectedStatuses() const
{
    QStringList statuses;
    for (const QModelIndex& row : selectedRows()) {
        const QString status = row.siblingAtColumn(ProblemsModel::StatusColumn).data().toString();
        if (!statuses.contains(status))
            statuses << status;
    }
    return statuses;
}

QString ProblemsWindow::selectedRowsText() const
{
    const QHeaderView* header = m_ui->tableProblems->horizontalHeader();
    QList<int> columns;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int column = header->logicalIndex(visual);
        if (!header->isSectionHidden(column))
            columns << column;
    }
    QStringList lines;
    QStringList titles;
    for (const int column : std::as_const(columns))
        titles << m_filter->headerData(column, Qt::Horizontal).toString();
    lines << titles.join(QLatin1Char('\t'));
    for (const QModelIndex& row : selectedRows()) {
        QStringList cells;
        for (const int column : std::as_const(columns))
            cells << cellText(row.siblingAtColumn(column));
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void ProblemsWindow::openSelected()
{
    const QModelIndexList rows = selectedRows();
    for (qsizetype i = 0; i < rows.size() && i < maxPagesOpened; ++i)
        QDesktopServices::openUrl(QUrl(rows.at(i).data(ProblemsModel::UrlRole).toString()));
    if (rows.size() > maxPagesOpened)
        showCommandResult(tr("Opened the first %1 of %2 pages.").arg(maxPagesOpened).arg(rows.size()));
}

void ProblemsWindow::copySelected()
{
    const int rows = int(selectedRows().size());
    QGuiApplication::clipboard()->setText(selectedRowsText());
    showCommandResult(tr("Rows copied: %1.").arg(rows));
}

void ProblemsWindow::showCommandResult(const QString& text)
{
    m_ui->lbStatusLine->setText(text);
}

void ProblemsWindow::updateTitle()
{
    const int shown = m_filter->rowCount();
    const int all = m_model->rowCount();
    setWindowTitle(shown == all ? tr("Tarvix: problems (%1)").arg(shown)
                                : tr("Tarvix: problems (%1 of %2)").arg(shown).arg(all));
}

void ProblemsWindow::updateActions()
{
    const bool any = m_ui->tableProblems->selectionModel()->hasSelection();
    for (QAction* action : {m_ui->actionOpenProblem, m_ui->actionAcknowledgeProblems,
             m_ui->actionRecheckProblems, m_ui->actionScheduleDowntime, m_ui->actionCopyProblems})
        action->setEnabled(any);
}

void ProblemsWindow::updateServerColumn()
{
    m_ui->tableProblems->setColumnHidden(ProblemsModel::ServerColumn, m_model->serverCount() <= 1);
}

// At the very top the view stays there, so that new problems sorted first are seen.
void ProblemsWindow::rememberTopRow()
{
    QTableView* view = m_ui->tableProblems;
    if (m_topRow.isValid())
        return;
    const QModelIndex top = view->indexAt(QPoint(1, 1));
    if (top.isValid() && top.row() > 0)
        m_topRow = top;
}

void ProblemsWindow::restoreTopRow()
{
    if (!m_topRow.isValid())
        return;
    const QModelIndex top = std::exchange(m_topRow, QPersistentModelIndex());
    QTableView* view = m_ui->tableProblems;
    view->doItemsLayout();
    view->scrollTo(top, QAbstractItemView::PositionAtTop);
}

void ProblemsWindow::restoreState()
{
    QSettings store(settingsOrganization, settingsApplication);
    restoreGeometry(store.value(geometryKey).toByteArray());
    QHeaderView* header = m_ui->tableProblems->horizontalHeader();
    if (header->restoreState(store.value(columnsKey).toByteArray()))
        m_ui->tableProblems->sortByColumn(header->sortIndicatorSection(), header->sortIndicatorOrder());
    updateServerColumn();
}

void ProblemsWindow::saveState() const
{
    QSettings store(settingsOrganization, settingsApplication);
    // The file holds the password: a new one is made private before anything is written.
    SettingsStore::createPrivately(store.fileName());
    store.setValue(geometryKey, saveGeometry());
    store.setValue(columnsKey, m_ui->tableProblems->horizontalHeader()->saveState());
    store.sync();
}

void ProblemsWindow::closeEvent(QCloseEvent* event)
{
    hide();
    event->ignore();
}

void ProblemsWindow::showEvent(QShowEvent* event)
{
    if (!std::exchange(m_stateRestored, true))
        restoreState();
    m_repaintTimer.start();
    m_ui->tableProblems->viewport()->update();
    QWidget::showEvent(event);
}

// Leaving the window is having looked at it: its new rows are seen.
void ProblemsWindow::hideEvent(QHideEvent* event)
{
    saveState();
    m_repaintTimer.stop();
    m_model->markAllSeen();
    QWidget::hideEvent(event);
}

void ProblemsWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow())
        m_model->markAllSeen();
    QWidget::changeEvent(event);
}
