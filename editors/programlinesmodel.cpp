#include "editors/programlinesmodel.h"

ProgramLinesModel::ProgramLinesModel(ProgramEditor &editor, QObject *parent)
    : QAbstractTableModel(parent), m_editor(editor)
{
}

int ProgramLinesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_lines.size());
}

int ProgramLinesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ProgramLinesModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ProgramLineView &line = m_lines.at(index.row());
    if (role == Qt::ToolTipRole && index.column() == ColumnTime && line.preset)
        return QStringLiteral("Double click to change time");
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    switch (index.column()) {
    case ColumnPool: return line.poolWord;
    case ColumnName: return line.name;
    case ColumnVersion: return line.version;
    case ColumnNotes: return line.notes;
    case ColumnTime: return line.timeText;
    case ColumnFrequency: return line.frequency;
    }
    return {};
}

QVariant ProgramLinesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const titles[ColumnCount] = {"Selection", "Name", "Version", "Notes", "Time\nmin",
                                                     "Frequency"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(titles[section]);
}

Qt::ItemFlags ProgramLinesModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == ColumnTime && m_lines.at(index.row()).preset)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool ProgramLinesModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const QString refused = m_editor.setLineTime(index.row(), value.toString());
    // Read anew also when refused: the cell shows the time in force. The
    // rows stay the same, so the open editor is not reset under the view.
    m_lines = m_editor.lineViews(&m_total);
    Q_EMIT dataChanged(this->index(0, 0), this->index(rowCount() - 1, ColumnCount - 1));
    Q_EMIT timeEdited(index.row(), refused);
    return refused.isEmpty();
}

void ProgramLinesModel::refill()
{
    beginResetModel();
    m_total = 0;
    m_lines = m_editor.isLoaded() ? m_editor.lineViews(&m_total) : QList<ProgramLineView>();
    endResetModel();
}
