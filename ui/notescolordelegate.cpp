#include "ui/notescolordelegate.h"

#include <QPainter>

void notesColorDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    CellDelegate::paint(painter, option, index);
}
