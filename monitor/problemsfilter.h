#pragma once

#include <QPointer>
#include <QSortFilterProxyModel>
#include <QString>

class ProblemsModel;

// The problems as the window shows them: sorted by any column (by the model's sort values, without
// a QVariant per comparison) and filtered as the user types: a row stays when its host, service or
// output holds the text, ignoring case. Through a bulk change of the model it keeps the model's own
// order and sorts once afterwards.
class ProblemsFilter : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit ProblemsFilter(QObject* parent = nullptr);

    void setProblemsModel(ProblemsModel* model);
    ProblemsModel* problemsModel() const { return m_problems; }

    void setFilterText(const QString& text);
    // Trimmed and case-folded.
    QString filterText() const { return m_text; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    QPointer<ProblemsModel> m_problems;
    QString m_text;
    // The sort order a bulk change of the model set aside; -1: none.
    int m_bulkSortColumn = -1;
    Qt::SortOrder m_bulkSortOrder = Qt::AscendingOrder;
};
