#pragma once

#include "ui/celltips.h"

// The history table's delegate. A cell's background is its note's colour,
// which the history model gives as the background role; the cell is
// otherwise painted as any other.
class notesColorDelegate : public CellDelegate
{
    Q_OBJECT

public:
    using CellDelegate::CellDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
