#include "app/noticepopup.h"

#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

NoticePopup::NoticePopup(QWidget *parent)
    : QWidget(parent), m_label(new QLabel(QStringLiteral("Test"), this))
{
    setObjectName(QStringLiteral("noticePopup"));
    m_label->setObjectName(QStringLiteral("label_notice"));
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    m_label->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    setFixedWidth(250);
    setAutoFillBackground(true);
    hide();
}

void NoticePopup::showNotice(const QString &text, const QPoint &position)
{
    m_label->setText(text);
    adjustSize();
    // Where the pointer is, but never past the window's edges: a notice
    // half off screen is a notice not read.
    QPoint at = position;
    if (const QWidget *window = parentWidget()) {
        at.setX(std::clamp(at.x(), 0, std::max(0, window->width() - width())));
        at.setY(std::clamp(at.y(), 0, std::max(0, window->height() - height())));
    }
    move(at);
    show();
    raise();
    m_countdown = shownTicks;
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
