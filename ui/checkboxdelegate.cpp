#include "ui/checkboxdelegate.h"

#include <QApplication>
#include <QCheckBox>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

QStyle *styleOf(const QWidget *widget)
{
    return widget ? widget->style() : QApplication::style();
}

} // namespace

QRect CheckBoxDelegate::indicatorRect(const QRect &cell, const QWidget *widget)
{
    QStyleOptionButton probe;
    const int indicatorWidth = styleOf(widget)->subElementRect(QStyle::SE_CheckBoxIndicator, &probe, widget).width();
    const int left = cell.left() + (cell.width() + 1) / 2 - (indicatorWidth + 1) / 2;
    return QRect(left, cell.top(), cell.right() - left + 1, cell.height());
}

QWidget *CheckBoxDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const
{
    return new QCheckBox(parent);
}

void CheckBoxDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    if (auto *box = qobject_cast<QCheckBox *>(editor))
        box->setChecked(index.data().toBool());
}

void CheckBoxDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    if (auto *box = qobject_cast<QCheckBox *>(editor))
        model->setData(index, box->isChecked() ? 1 : 0, Qt::EditRole);
}

void CheckBoxDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                            const QModelIndex &) const
{
    editor->setGeometry(indicatorRect(option.rect, option.widget));
}

void CheckBoxDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionButton box;
    box.rect = indicatorRect(option.rect, option.widget);
    box.state = QStyle::State_Enabled | (index.data().toBool() ? QStyle::State_On : QStyle::State_Off);
    styleOf(option.widget)->drawControl(QStyle::CE_CheckBox, &box, painter, option.widget);
}
