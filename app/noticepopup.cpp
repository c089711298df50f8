#include "app/noticepopup.h"

#include <QLabel>
#include <QVBoxLayout>

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
    move(position);
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
