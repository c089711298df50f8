#pragma once

#include <QList>
#include <QObject>

#include <functional>

class QTableView;

// Column widths of the library lists as functions of the table's width in
// pixels, so that they follow the window as it is resized. No width is
// negative: a narrow window squeezes the free-text column to nothing
// instead of handing the header a negative size.
namespace ColumnWidths {

QList<int> presetList(int tableWidth);   // 5 columns
QList<int> programList(int tableWidth);  // 4 columns
QList<int> clientList(int tableWidth);   // 3 columns
QList<int> historyList(int tableWidth, int dateWidth = 100);  // 2 columns

} // namespace ColumnWidths

// Lays out a table's columns by a formula of its width, when the table is
// resized and at no other time. A column the operator has set keeps the
// width the operator gave it, across resizes and, through the settings,
// across restarts; the formula places the others, never narrower than
// their titles in the header's font.
class ColumnFit : public QObject
{
    Q_OBJECT

public:
    using Formula = std::function<QList<int>(int tableWidth)>;

    ColumnFit(QTableView *view, Formula formula);

    void apply();
    // Per column the operator's width, or -1 where the formula decides.
    QList<int> operatorWidths() const { return m_operator; }
    void setOperatorWidths(const QList<int> &widths);
    QTableView *view() const { return m_view; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void sectionResized(int column, int oldWidth, int newWidth);

    QTableView *m_view;
    Formula m_formula;
    QList<int> m_operator;
    bool m_applying = false;
};
