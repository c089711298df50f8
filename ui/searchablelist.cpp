#include "ui/searchablelist.h"

#include "ui/celltips.h"
#include "ui/columnwidths.h"
#include "ui/listkeys.h"
#include "editors/storetablemodel.h"

#include <QDebug>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

SearchableList::SearchableList(const Parts &parts, quint64 &selected, std::function<void(const QString &)> setFilter,
                               std::function<QList<int>(int)> widths, QObject *parent)
    : QObject(parent), m_parts(parts), m_selected(selected), m_setFilter(std::move(setFilter))
{
    QTableView *view = m_parts.view;
    view->setModel(m_parts.model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A row is one line: wrapped at a name's first space, a cell would show
    // that word and "…".
    view->setWordWrap(false);
    m_columns = new ColumnFit(view, std::move(widths));
    CellTips::install(view);
    ListKeys::focusOnlyWhenFilled(view);
    ListKeys::addFind(m_parts.search);

    connect(m_parts.search, &QLineEdit::textChanged, this, &SearchableList::searchChanged);
    connect(m_parts.clear, &QPushButton::clicked, this, &SearchableList::clearSearch);
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &SearchableList::selectionChanged);
    view->installEventFilter(this);
    m_parts.search->installEventFilter(this);
}

bool SearchableList::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_parts.view && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (row() >= 0)
                Q_EMIT openRequested();
            return true;
        }
    }
    if (watched != m_parts.search || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    // Escape in the search field shows the whole list again.
    if (key == Qt::Key_Escape && !m_parts.search->text().isEmpty()) {
        clearSearch();
        return true;
    }
    // Down and Enter go on to what was found, picking the first row when
    // none is picked.
    if ((key == Qt::Key_Down || key == Qt::Key_Return || key == Qt::Key_Enter) && m_parts.model->rowCount() > 0) {
        if (row() < 0)
            m_parts.view->selectRow(0);
        m_parts.view->setFocus(Qt::TabFocusReason);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void SearchableList::searchChanged(const QString &text)
{
    if (m_log && m_logLabel.isEmpty())
        qDebug().noquote() << text;
    else if (m_log)
        qDebug().noquote() << m_logLabel << text;
    m_setFilter(text);
    refill();
}

void SearchableList::reapplySearch()
{
    m_setFilter(m_parts.search->text());
}

void SearchableList::clearSearch()
{
    m_parts.search->clear();
}

int SearchableList::row() const
{
    return m_parts.model->rowOfKey(m_selected);
}

void SearchableList::selectionChanged()
{
    const QModelIndexList rows = m_parts.view->selectionModel()->selectedRows();
    m_selected = rows.isEmpty() ? 0 : m_parts.model->keyAt(rows.first().row());
    Q_EMIT pickChanged();
}

void SearchableList::refill()
{
    const quint64 remembered = m_selected;
    m_parts.model->refill();
    const int row = m_parts.model->rowOfKey(remembered);
    if (row >= 0) {
        m_parts.view->selectRow(row);
    } else {
        m_parts.view->clearSelection();
        m_selected = 0;
    }
    Q_EMIT pickChanged();
}

void SearchableList::applyWidths()
{
    m_columns->apply();
}
