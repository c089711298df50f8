#include "ui/elidedlabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QStringList>

namespace {

// Wide enough for a pool word or a short name before any cutting.
constexpr int hintCharacters = 16;

} // namespace

ElidedLabel::ElidedLabel(const QString &text, QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setText(text);
}

void ElidedLabel::setText(const QString &text)
{
    if (text == m_full && !QLabel::text().isNull())
        return;
    m_full = text;
    updateGeometry();
    elide();
}

void ElidedLabel::setMaximumLines(int lines)
{
    m_maximumLines = qMax(1, lines);
    updateGeometry();
    elide();
}

QSize ElidedLabel::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int lines = qBound(1, int(m_full.count(QLatin1Char('\n'))) + 1, m_maximumLines);
    const QMargins margins = contentsMargins();
    const int width = qMin(metrics.horizontalAdvance(m_full.section(QLatin1Char('\n'), 0, 0)),
                           metrics.averageCharWidth() * hintCharacters);
    return {width + margins.left() + margins.right() + 2 * margin(),
            lines * metrics.lineSpacing() + margins.top() + margins.bottom() + 2 * margin()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(QChar(0x2026)) * 2, sizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        elide();
}

void ElidedLabel::elide()
{
    const QFontMetrics metrics(font());
    const int width = qMax(0, contentsRect().width() - 2 * margin());
    QStringList lines = m_full.split(QLatin1Char('\n'));
    const bool tooMany = lines.size() > m_maximumLines;
    if (tooMany) {
        lines = lines.mid(0, m_maximumLines);
        lines.last() += QChar(0x2026);
    }
    for (QString &line : lines)
        line = metrics.elidedText(line, Qt::ElideRight, width);
    const QString shown = lines.join(QLatin1Char('\n'));
    QLabel::setText(shown);
    setToolTip(shown == m_full ? QString() : m_full);
}
