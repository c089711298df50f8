#include "ui/storetablemodel.h"

void StoreTableModel::refill()
{
    beginResetModel();
    m_rows = shownRows();
    endResetModel();
}

int StoreTableModel::recordAt(int row) const
{
    if (row < 0 || row >= m_rows.size())
        return -1;
    const int record = m_rows.at(row);
    return record < recordCount() ? record : -1;
}

int StoreTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant StoreTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const int record = recordAt(index.row());
    return record < 0 ? QVariant() : cell(record, index.column(), role);
}
