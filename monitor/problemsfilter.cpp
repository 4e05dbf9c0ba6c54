#include "monitor/problemsfilter.h"

#include "monitor/problemsmodel.h"

#include <utility>

ProblemsFilter::ProblemsFilter(QObject* parent) : QSortFilterProxyModel(parent)
{
    setSortRole(ProblemsModel::SortRole);
}

void ProblemsFilter::setProblemsModel(ProblemsModel* model)
{
    if (m_problems)
        m_problems->disconnect(this);
    m_problems = model;
    setSourceModel(model);
    connect(model, &ProblemsModel::bulkChangeStarting, this, [this] {
        m_bulkSortColumn = sortColumn();
        m_bulkSortOrder = sortOrder();
        if (m_bulkSortColumn >= 0)
            sort(-1);
    });
    connect(model, &ProblemsModel::bulkChangeFinished, this, [this] {
        if (m_bulkSortColumn >= 0)
            sort(std::exchange(m_bulkSortColumn, -1), m_bulkSortOrder);
    });
}

void ProblemsFilter::setFilterText(const QString& text)
{
    const QString folded = text.trimmed().toCaseFolded();
    if (folded == m_text)
        return;
    m_text = folded;
    invalidateRowsFilter();
}

bool ProblemsFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    return !sourceParent.isValid() && m_problems && m_problems->matches(sourceRow, m_text);
}

bool ProblemsFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    if (!m_problems)
        return QSortFilterProxyModel::lessThan(left, right);
    return m_problems->lessThan(left.row(), right.row(), left.column());
}
