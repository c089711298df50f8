#pragma once

#include <QObject>
#include <QStyledItemDelegate>

class QAbstractItemView;
class QFont;
class QModelIndex;

// Tooltips a person can read on a table's cells: a text cut short in its
// cell is given whole, above the cell's own tooltip, and no tooltip is
// wider than half the screen, where a long name would run off it.
class CellTips : public QObject
{
    Q_OBJECT

public:
    // Also gives the view a CellDelegate, unless its delegate is one.
    static void install(QAbstractItemView *view);

    // What the cell at `index` shows as its tooltip, empty for none.
    static QString tipFor(const QAbstractItemView *view, const QModelIndex &index);
    // `text` broken into lines no wider than `width` pixels in `font`: at
    // spaces where it can, anywhere where a word is wider.
    static QString wrapped(const QString &text, const QFont &font, int width);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit CellTips(QAbstractItemView *view);

    QAbstractItemView *m_view;
};

// Paints a cell as the standard delegate does, but a right-to-left text
// (an Arabic or Hebrew name) from the right: its start stays in view and
// the "…" of a cut goes where such a text ends. Laid out left to right, the
// start sat against the "…" and the end was clipped mid-word.
class CellDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};
