#pragma once

#include "editors/programeditor.h"

#include <QAbstractTableModel>
#include <QList>

// The open program's lines as the Program tab shows them. A preset line's
// time is the one editable cell: an edit goes to the editor, which takes it
// or says why not, and the cells then show the time in force.
class ProgramLinesModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { ColumnPool, ColumnName, ColumnVersion, ColumnNotes, ColumnTime, ColumnFrequency, ColumnCount };

    explicit ProgramLinesModel(ProgramEditor &editor, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // The editor's lines read anew; none while it holds no program.
    void refill();
    int totalMinutes() const { return m_total; }

Q_SIGNALS:
    // A time cell was edited; `refused` says why the edit was not taken.
    void timeEdited(int row, const QString &refused);

private:
    ProgramEditor &m_editor;
    QList<ProgramLineView> m_lines;
    int m_total = 0;
};
