#include "editors/worktablemodel.h"

#include "data/presetlookup.h"
#include "data/presets.h"
#include "data/textforms.h"
#include "data/worklist.h"
#include "work/runrules.h"
#include "work/sequencer.h"

int WorkTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int WorkTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant WorkTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const QString &problem = m_problems.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return m_rows.at(index.row()).at(size_t(index.column()));
    case ProblemRole:
        return problem;
    case Qt::ToolTipRole:
        // A long name or note is cut in its cell; the tooltip has it whole.
        return problem.isEmpty() ? m_rows.at(index.row()).at(size_t(index.column()))
                                 : QStringLiteral("This line cannot run: ") + problem;
    default:
        return {};
    }
}

QVariant WorkTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const titles[ColumnCount] = {"Selection", "Name", "Notes", "Frequency", "Time\n(min)",
                                                     "Progress", "Sensor"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(titles[section]);
}

void WorkTableModel::fill(const WorkList *work)
{
    beginResetModel();
    m_rows.clear();
    m_problems.clear();
    if (work) {
        m_rows.reserve(work->count());
        for (const WorkLine &line : work->records()) {
            std::array<QString, ColumnCount> row;
            if (PresetLookup::isUsable(line.pool))
                row[ColumnPool] = PresetPool::word(line.pool);
            row[ColumnName] = TextForm::versioned(line.name, line.version);
            row[ColumnNote] = line.note;
            row[ColumnValue] = line.value;
            const bool found = RunRules::presetFound(line);
            if (found)
                row[ColumnTime] = QString::number(line.time);
            // A line that cannot run has no progress: the reason, not a number.
            row[ColumnProgress] = row[ColumnSensor] = found ? QStringLiteral("0")
                : line.pool == PresetLookup::Duplicate ? QStringLiteral("duplicate") : QStringLiteral("not found");
            m_rows.append(row);
            m_problems.append(RunRules::lineProblem(line));
        }
    }
    endResetModel();
}

void WorkTableModel::showProgress(const Sequencer &sequencer)
{
    QList<int> progress;
    for (int row = 0; row < sequencer.count(); ++row)
        progress.append(sequencer.progress(row));
    showProgress(progress);
}

void WorkTableModel::showProgress(const QList<int> &progressOfLines)
{
    const int rows = qMin(int(m_rows.size()), int(progressOfLines.size()));
    for (int row = 0; row < rows; ++row) {
        QString &shown = m_rows[row][ColumnProgress];
        bool runnable = false;
        shown.toInt(&runnable);
        if (!runnable)
            continue;
        const QString progress = QString::number(progressOfLines.at(row));
        if (shown == progress)
            continue;
        shown = progress;
        const QModelIndex cell = index(row, ColumnProgress);
        Q_EMIT dataChanged(cell, cell, {Qt::DisplayRole});
    }
}
