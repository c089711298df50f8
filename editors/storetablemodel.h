#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <functional>

class StoreSignals;

// One column of a library list: its header and what each record shows in
// it. A column without a tooltip (or background) function has none.
template <typename Record>
struct ListColumn
{
    QString header;
    std::function<QString(const Record &)> text;
    std::function<QString(const Record &)> tooltip;
    std::function<QVariant(const Record &)> background;
};

// A read-only table over the records of a store that pass its search.
//
// The rows are a snapshot taken by `refill`, one model reset, so a list of
// 100,000 records is refilled without creating an item per cell; the view
// asks only for the rows it paints. From then on the model follows what the
// store tells of its changes: a record inserted, removed, moved or changed
// is that row inserted, removed, moved or changed, so that the view's
// selection stays on its record; only a whole list replaced is a reset.
class StoreTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    // Takes the store's shown records anew (a search typed, another pool
    // shown), and follows that store from now on.
    void refill();
    // Shows no rows, without asking the store (one still being read).
    void clear();
    // The store index of the record shown at `row`, -1 when there is none.
    int recordAt(int row) const;
    // The key of the record shown at `row` (0 for none), and the row that
    // shows the record with `key` (-1 for none).
    virtual quint64 keyAt(int row) const = 0;
    virtual int rowOfKey(quint64 key) const = 0;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

protected:
    int rowOfRecord(int record) const { return record < 0 ? -1 : int(m_rows.indexOf(record)); }
    virtual QList<int> shownRows() = 0;
    virtual int recordCount() const = 0;
    virtual QVariant cell(int record, int column, int role) const = 0;
    // Takes the store to show from now on (asked only at a refill, so that
    // a pool being read is not waited for at its announcements), and hands
    // back its announcements.
    virtual StoreSignals *showStore() = 0;

private:
    void follow(StoreSignals *store);
    void recordInserted(int index);
    void recordRemoved(int index);
    void recordChanged(int index);
    void recordsSwapped(int a, int b);
    void resetTo(const QList<int> &rows);
    void changedRow(int row);

    QList<int> m_rows;
    QPointer<StoreSignals> m_followed;
};

// The model of one kind of list. `store` is asked for the store at every
// refill, so a list that switches pools keeps its model.
template <typename Store, typename Record>
class RecordTableModel : public StoreTableModel
{
public:
    RecordTableModel(std::function<Store &()> store, QList<ListColumn<Record>> columns, QObject *parent = nullptr)
        : StoreTableModel(parent), m_store(std::move(store)), m_columns(std::move(columns))
    {
    }

    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_columns.size());
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_columns.size())
            return m_columns.at(section).header;
        return StoreTableModel::headerData(section, orientation, role);
    }

    quint64 keyAt(int row) const override { return m_shown ? m_shown->keyAt(recordAt(row)) : 0; }
    int rowOfKey(quint64 key) const override { return m_shown ? rowOfRecord(m_shown->indexOfKey(key)) : -1; }

protected:
    QList<int> shownRows() override { return m_shown ? m_shown->shownRows() : QList<int>(); }
    StoreSignals *showStore() override
    {
        m_shown = &m_store();
        return m_shown->announcements();
    }
    int recordCount() const override { return m_shown ? m_shown->count() : 0; }

    QVariant cell(int record, int column, int role) const override
    {
        const ListColumn<Record> &c = m_columns.at(column);
        const Record &r = m_shown->records().at(record);  // read only: the search index stays valid
        switch (role) {
        case Qt::DisplayRole:
            return c.text(r);
        case Qt::ToolTipRole:
            return c.tooltip ? QVariant(c.tooltip(r)) : QVariant();
        case Qt::BackgroundRole:
            return c.background ? c.background(r) : QVariant();
        default:
            return QVariant();
        }
    }

private:
    std::function<Store &()> m_store;
    Store *m_shown = nullptr;
    QList<ListColumn<Record>> m_columns;
};
