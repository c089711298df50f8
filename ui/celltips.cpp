#include "ui/celltips.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QScreen>
#include <QStringList>
#include <QStyle>
#include <QTextLayout>
#include <QToolTip>

namespace {

constexpr int widestTip = 640;

int tipWidth(const QAbstractItemView *view)
{
    const QScreen *screen = view->screen();
    return screen ? qMin(widestTip, screen->availableGeometry().width() / 2) : widestTip;
}

} // namespace

CellTips::CellTips(QAbstractItemView *view) : QObject(view), m_view(view) {}

void CellTips::install(QAbstractItemView *view)
{
    view->viewport()->installEventFilter(new CellTips(view));
    if (!qobject_cast<CellDelegate *>(view->itemDelegate()))
        view->setItemDelegate(new CellDelegate(view));
}

QString CellTips::wrapped(const QString &text, const QFont &font, int width)
{
    QStringList lines;
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    for (const QString &paragraph : text.split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph, font);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            QString part = paragraph.mid(line.textStart(), line.textLength());
            while (part.endsWith(QLatin1Char(' ')))
                part.chop(1);
            lines << part;
        }
        layout.endLayout();
    }
    return lines.join(QLatin1Char('\n'));
}

QString CellTips::tipFor(const QAbstractItemView *view, const QModelIndex &index)
{
    if (!index.isValid())
        return {};
    const QString own = index.data(Qt::ToolTipRole).toString();
    const QString shown = index.data(Qt::DisplayRole).toString();
    const QVariant cellFont = index.data(Qt::FontRole);
    const QFont font = cellFont.canConvert<QFont>() ? cellFont.value<QFont>() : view->font();
    // The style leaves this much on either side of a cell's text.
    const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    const bool cut = QFontMetrics(font).horizontalAdvance(shown) > view->visualRect(index).width() - 2 * margin;
    QString tip = own;
    if (cut && !shown.isEmpty() && !own.startsWith(shown))
        tip = own.isEmpty() ? shown : shown + QLatin1Char('\n') + own;
    return wrapped(tip, QToolTip::font(), tipWidth(view));
}

bool CellTips::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QObject::eventFilter(watched, event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const QModelIndex index = m_view->indexAt(help->pos());
    const QString tip = tipFor(m_view, index);
    if (tip.isEmpty()) {
        QToolTip::hideText();
        return true;
    }
    // A name is shown as written, never read as markup.
    const QString shown = Qt::mightBeRichText(tip)
        ? QStringLiteral("<p style='white-space:pre'>") + tip.toHtmlEscaped() + QStringLiteral("</p>")
        : tip;
    QToolTip::showText(help->globalPos(), shown, m_view->viewport(), m_view->visualRect(index));
    return true;
}

void CellDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (option->text.isRightToLeft())
        option->direction = Qt::RightToLeft;
}
