#include "ui/columnwidths.h"

#include <QEvent>
#include <QHeaderView>
#include <QTableView>

#include <algorithm>

namespace ColumnWidths {

QList<int> presetList(int tableWidth)
{
    // The description keeps a readable width before the name grows.
    constexpr int description = 250;
    const int w = tableWidth - 1;
    const int name = std::clamp(w - 299 - description, 300, 600);
    return {name, 80, std::max(0, w - name - 299), 90, 80};
}

QList<int> programList(int tableWidth)
{
    const int w = tableWidth - 1;
    int name = 300;
    int b = 460;
    if (w >= 1099) {
        name = (w - 199) / 3;
        b = name + 160;
    }
    return {name, 80, std::max(0, w - 39 - b), 80};
}

QList<int> clientList(int tableWidth)
{
    const int w = tableWidth - 1 - 39;
    int address = 400;
    int notes = w - 650;
    if (w < 750) {
        address = 250;
        notes = w - 500;
    } else if (w < 1203) {
        address = w / 3;
        notes = w - (w / 3 + 250);
    }
    return {250, address, std::max(300, notes)};
}

QList<int> historyList(int tableWidth, int dateWidth)
{
    const int date = std::max(100, dateWidth);
    return {date, std::max(300, tableWidth - date - 50)};
}

} // namespace ColumnWidths

ColumnFit::ColumnFit(QTableView *view, Formula formula) : QObject(view), m_view(view), m_formula(std::move(formula))
{
    setObjectName(view->objectName() + QStringLiteral("_columns"));
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // A column the operator narrows below its title says it is cut.
    view->horizontalHeader()->setTextElideMode(Qt::ElideRight);
    view->installEventFilter(this);
    // A vertical scroll bar coming or going changes the room too.
    view->viewport()->installEventFilter(this);
    connect(view->horizontalHeader(), &QHeaderView::sectionResized, this, &ColumnFit::sectionResized);
}

void ColumnFit::setOperatorWidths(const QList<int> &widths)
{
    m_operator.clear();
    // Stored text: only a width a person could have set is taken.
    for (int width : widths)
        m_operator << (width >= 10 && width <= 10000 ? width : -1);
    apply();
}

void ColumnFit::apply()
{
    QList<int> widths = m_formula(m_view->viewport()->width() > 0 ? m_view->width() : 0);
    QHeaderView *header = m_view->horizontalHeader();
    // The formula's pixels were chosen for one font: in another a title
    // would be cut. What the titles need beyond them comes off the widest
    // column, as far as its own title lets it; so do the row numbers and
    // the scroll bar, which the formula's width of the whole table leaves
    // out, where the columns would otherwise run past the right edge.
    int widest = -1;
    int total = 0;
    int added = 0;
    for (int column = 0; column < widths.size() && column < header->count(); ++column) {
        const int needed = header->sectionSizeHint(column);
        added += qMax(0, needed - widths.at(column));
        widths[column] = qMax(widths.at(column), needed);
        total += widths.at(column);
        if (widest < 0 || widths.at(column) > widths.at(widest))
            widest = column;
    }
    const int room = m_view->viewport()->width();
    const int over = qMin(total - room, added + m_view->width() - room);
    if (widest >= 0 && room > 0 && over > 0)
        widths[widest] = qMax(widths.at(widest) - over, header->sectionSizeHint(widest));
    m_applying = true;
    for (int column = 0; column < header->count(); ++column) {
        const int own = column < m_operator.size() ? m_operator.at(column) : -1;
        const int width = own > 0 ? own : column < widths.size() ? widths.at(column) : -1;
        if (width >= 0 && header->sectionSize(column) != width)
            header->resizeSection(column, width);
    }
    m_applying = false;
}

bool ColumnFit::eventFilter(QObject *watched, QEvent *event)
{
    // Events still come while the view is torn down, after its own
    // destructor has run: only a whole view is asked.
    if (event->type() == QEvent::Resize && qobject_cast<QTableView *>(static_cast<QObject *>(m_view))
        && (watched == m_view || watched == m_view->viewport()))
        apply();
    return QObject::eventFilter(watched, event);
}

void ColumnFit::sectionResized(int column, int, int newWidth)
{
    // Whatever this object does not set is the operator's; a last column
    // that stretches with the table is the table's.
    const QHeaderView *header = m_view->horizontalHeader();
    if (m_applying || (header->stretchLastSection() && column == header->count() - 1))
        return;
    while (m_operator.size() <= column)
        m_operator << -1;
    m_operator[column] = newWidth;
}
