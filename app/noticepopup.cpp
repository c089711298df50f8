#include "app/noticepopup.h"

#include <QLabel>
#include <QMouseEvent>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

NoticePopup::NoticePopup(QWidget *parent)
    : QWidget(parent), m_label(new QLabel(QStringLiteral("Test"), this))
{
    setObjectName(QStringLiteral("noticePopup"));
    m_label->setObjectName(QStringLiteral("label_notice"));
    // Read from its first line: a long notice aligned to the bottom showed
    // only its end.
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label->setWordWrap(true);
    m_label->setTextInteractionFlags(Qt::NoTextInteraction);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    setAutoFillBackground(true);
    setToolTip(tr("Click to close"));
    hide();
}

int NoticePopup::ticksFor(const QString &text)
{
    // About four characters a tick (a slow reader), never less than the
    // short notice's time nor more than half a minute.
    constexpr int charactersPerTick = 4;
    constexpr int longestTicks = 120;
    return std::clamp(int(text.size()) / charactersPerTick + 8, shownTicks, longestTicks);
}

void NoticePopup::showNotice(const QString &text, const QPoint &position)
{
    m_label->setText(text);
    placeWithin(position);
    show();
    raise();
    m_countdown = ticksFor(text);
}

void NoticePopup::placeWithin(const QPoint &position)
{
    const QWidget *window = parentWidget();
    const QMargins margins = layout()->contentsMargins();
    const int frame = margins.left() + margins.right();
    // As wide as the text wants up to a reading width, never wider than
    // the window; as high as the wrapped text then needs.
    const int widest = window ? std::max(minimumWidth, window->width() - 2 * edge) : readingWidth;
    const int natural = m_label->fontMetrics().boundingRect(QRect(0, 0, readingWidth, 100000),
                                                              Qt::TextWordWrap, m_label->text()).width();
    const int width = std::clamp(natural + frame + 2, minimumWidth, std::min(readingWidth + frame, widest));
    const int labelWidth = width - frame;
    int height = m_label->heightForWidth(labelWidth) + margins.top() + margins.bottom();
    if (window)
        height = std::min(height, std::max(0, window->height() - 2 * edge));
    setFixedSize(width, height);

    QPoint at = position;
    if (window) {
        at.setX(std::clamp(at.x(), edge, std::max(edge, window->width() - width - edge)));
        at.setY(std::clamp(at.y(), edge, std::max(edge, window->height() - height - edge)));
    }
    move(at);
}

void NoticePopup::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    hide();
    m_countdown = 0;
}

void NoticePopup::tick()
{
    if (m_countdown <= 0)
        return;
    --m_countdown;
    if (m_countdown == 1)
        hide();
}

QString NoticePopup::text() const { return m_label->text(); }
