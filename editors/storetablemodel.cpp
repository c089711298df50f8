#include "editors/storetablemodel.h"

#include "editors/librarycolumns.h"

#include <QColor>

void StoreTableModel::refill()
{
    beginResetModel();
    m_rows = shownRows();
    endResetModel();
}

void StoreTableModel::clear()
{
    beginResetModel();
    m_rows.clear();
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
    if (record < 0)
        return QVariant();
    if (role == Qt::ForegroundRole) {
        // A cell with a background of its own gets a text colour to match;
        // the palette's text (white on a dark desktop) may not read on it.
        const QVariant background = cell(record, index.column(), Qt::BackgroundRole);
        return background.canConvert<QColor>() && background.value<QColor>().isValid()
                   ? QVariant(LibraryColumns::textColourOn(background.value<QColor>()))
                   : QVariant();
    }
    return cell(record, index.column(), role);
}
