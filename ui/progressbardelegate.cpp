#include "ui/progressbardelegate.h"

#include <QApplication>
#include <QStyle>
#include <QStyleOptionProgressBar>

void ProgressBarDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                const QModelIndex &index) const
{
    bool ok = false;
    const int value = index.data().toInt(&ok);
    if (!ok || value < 0) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionProgressBar bar;
    bar.rect = option.rect;
    bar.state = option.state | QStyle::State_Horizontal;
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = qMin(value, 100);
    bar.text = QString::number(value) + QLatin1Char('%');
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    QStyle *style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ProgressBar, &bar, painter, option.widget);
}
