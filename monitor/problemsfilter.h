#pragma once

#include <QSortFilterProxyModel>
#include <QString>

class ProblemsModel;

// The problems as the window shows them: sorted by any column (by the model's sort values, without
// a QVariant per comparison) and filtered as the user types: a row stays when its host, service or
// output holds the text, ignoring case.
class ProblemsFilter : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit ProblemsFilter(QObject* parent = nullptr);

    void setProblemsModel(ProblemsModel* model);
    ProblemsModel* problemsModel() const { return m_problems; }

    void setFilterText(const QString& text);
    QString filterText() const { return m_text; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    ProblemsModel* m_problems = nullptr;
    QString m_text;
};
