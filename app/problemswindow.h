#pragma once

#include "monitor/commandbatch.h"

#include <QPersistentModelIndex>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <memory>

class ProblemsFilter;
class ProblemsModel;
class QTableView;

namespace Ui {
class ProblemsWindowClass;
} // namespace Ui

// Every current problem of every server in one table that sorts by any column and filters as the
// user types, with commands on the selected rows. It follows the model live: the selection and the
// rows in view stay through every poll. Rows that came since the user last looked are shown bold
// until the window is left again. Closing it hides it; its size, columns and sort order are kept.
class ProblemsWindow : public QWidget
{
    Q_OBJECT

public:
    ProblemsWindow(ProblemsModel* model, QWidget* parent = nullptr);
    ~ProblemsWindow() override;

    QTableView* table() const;
    ProblemsFilter* filter() const { return m_filter; }

    // The selected rows' problems and their statuses (each once), in the table's order.
    QList<CommandBatch::Target> selectedProblems() const;
    QStringList selectedStatuses() const;
    // The selected rows as the columns shown, tab-separated, after a line of the columns' titles.
    QString selectedRowsText() const;

    // What became of the last command, on the window's status line.
    void showCommandResult(const QString& text);

signals:
    void acknowledgeRequested();
    void recheckRequested();
    void downtimeRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void setupActions();
    void openSelected();
    void copySelected();
    void updateTitle();
    void updateActions();
    void updateServerColumn();
    void rememberTopRow();
    void restoreTopRow();
    void restoreState();
    void saveState() const;
    QModelIndexList selectedRows() const;

    // Pages one Open opens at most; a larger selection would flood the browser.
    static constexpr int maxPagesOpened = 10;

    std::unique_ptr<Ui::ProblemsWindowClass> m_ui;
    ProblemsModel* m_model;
    ProblemsFilter* m_filter;
    // Durations grow while nothing changes: the rows are painted anew now and then.
    QTimer m_repaintTimer;
    // The row at the top of the view while rows come and go above it.
    QPersistentModelIndex m_topRow;
    bool m_stateRestored = false;
};
