#include "editors/storetablemodel.h"

#include "editors/librarycolumns.h"
#include "data/storesignals.h"

#include <QColor>

void StoreTableModel::refill()
{
    follow(showStore());
    resetTo(shownRows());
}

void StoreTableModel::clear()
{
    // A store still being read tells nothing until it is in place.
    follow(nullptr);
    resetTo({});
}

void StoreTableModel::follow(StoreSignals *store)
{
    if (store == m_followed)
        return;
    if (m_followed)
        disconnect(m_followed, nullptr, this, nullptr);
    m_followed = store;
    if (!store)
        return;
    connect(store, &StoreSignals::inserted, this, &StoreTableModel::recordInserted);
    connect(store, &StoreSignals::removed, this, &StoreTableModel::recordRemoved);
    connect(store, &StoreSignals::changed, this, &StoreTableModel::recordChanged);
    connect(store, &StoreSignals::swapped, this, &StoreTableModel::recordsSwapped);
    connect(store, &StoreSignals::reset, this, [this] { resetTo(shownRows()); });
}

void StoreTableModel::resetTo(const QList<int> &rows)
{
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

void StoreTableModel::changedRow(int row)
{
    Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
}

// Each change is told by the record's index in the whole store; the rows
// shown after it are asked of the store (the search decides), and compared
// with those before to tell the view what became of its rows. Anything
// that does not add up to one row is told as a reset.
void StoreTableModel::recordInserted(int index)
{
    const QList<int> rows = shownRows();
    const int row = int(rows.indexOf(index));
    if (row >= 0 && rows.size() == m_rows.size() + 1) {
        beginInsertRows(QModelIndex(), row, row);
        m_rows = rows;
        endInsertRows();
    } else if (row < 0 && rows.size() == m_rows.size()) {
        m_rows = rows;  // hidden by the search: the rows shown only renumber
    } else {
        resetTo(rows);
    }
}

void StoreTableModel::recordRemoved(int index)
{
    const int row = rowOfRecord(index);
    const QList<int> rows = shownRows();
    if (row >= 0 && rows.size() == m_rows.size() - 1) {
        beginRemoveRows(QModelIndex(), row, row);
        m_rows = rows;
        endRemoveRows();
    } else if (row < 0 && rows.size() == m_rows.size()) {
        m_rows = rows;
    } else {
        resetTo(rows);
    }
}

void StoreTableModel::recordChanged(int index)
{
    const int before = rowOfRecord(index);
    const QList<int> rows = shownRows();
    const int after = int(rows.indexOf(index));
    if (before >= 0 && after == before && rows.size() == m_rows.size()) {
        m_rows = rows;
        changedRow(after);
    } else if (before < 0 && after >= 0 && rows.size() == m_rows.size() + 1) {
        // Renamed into what the search shows.
        beginInsertRows(QModelIndex(), after, after);
        m_rows = rows;
        endInsertRows();
    } else if (before >= 0 && after < 0 && rows.size() == m_rows.size() - 1) {
        beginRemoveRows(QModelIndex(), before, before);
        m_rows = rows;
        endRemoveRows();
    } else if (before < 0 && after < 0 && rows.size() == m_rows.size()) {
        m_rows = rows;
    } else {
        resetTo(rows);
    }
}

void StoreTableModel::recordsSwapped(int a, int b)
{
    const int rowA = rowOfRecord(a);
    const int rowB = rowOfRecord(b);
    const QList<int> rows = shownRows();
    if (rows.size() != m_rows.size()) {
        resetTo(rows);
    } else if (rowA >= 0 && rowB >= 0 && qAbs(rowA - rowB) == 1) {
        const int upper = qMin(rowA, rowB);
        beginMoveRows(QModelIndex(), upper + 1, upper + 1, QModelIndex(), upper);
        m_rows = rows;
        endMoveRows();
    } else if (rowA >= 0 && rowB >= 0) {
        resetTo(rows);
    } else {
        // One of them hidden by the search: the one shown keeps its row.
        m_rows = rows;
        if (rowA >= 0)
            changedRow(rowA);
        if (rowB >= 0)
            changedRow(rowB);
    }
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
