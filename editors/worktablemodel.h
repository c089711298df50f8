#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

class Sequencer;
class WorkList;

// A device's work list as the Work tab shows it, with each line's progress
// while the sequencer runs. A line whose preset is not found shows neither
// time nor bars (its progress reads -1).
class WorkTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { ColumnPool, ColumnName, ColumnNote, ColumnValue, ColumnTime, ColumnProgress, ColumnSensor,
                  ColumnCount };

    // Why a row's line cannot go on air; empty when it can.
    static constexpr int ProblemRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The lines of `work` (none for no list), every bar at its start.
    void fill(const WorkList *work);
    // Each runnable line's bar at the sequencer's progress; only the cells
    // that changed are repainted.
    void showProgress(const Sequencer &sequencer);
    // The same from a list of percentages, one per line.
    void showProgress(const QList<int> &progress);

private:
    QList<std::array<QString, ColumnCount>> m_rows;
    QStringList m_problems;
};
