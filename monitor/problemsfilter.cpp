#include "monitor/problemsfilter.h"

#include "monitor/problemsmodel.h"

ProblemsFilter::ProblemsFilter(QObject* parent) : QSortFilterProxyModel(parent)
{
    setSortRole(ProblemsModel::SortRole);
}

void ProblemsFilter::setProblemsModel(ProblemsModel* model)
{
    m_problems = model;
    setSourceModel(model);
}

void ProblemsFilter::setFilterText(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed == m_text)
        return;
    m_text = trimmed;
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
