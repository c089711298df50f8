#pragma once

#include <QStyledItemDelegate>

// Draws a cell holding a percentage as a progress bar; a negative value
// (a line that will not run) is drawn as an ordinary cell.
class ProgressBarDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
