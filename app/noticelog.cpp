#include "app/noticelog.h"

#include "app/noticepopup.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

NoticeLog::NoticeLog(const NoticePopup &notices, QWidget *parent)
    : QDialog(parent), m_notices(notices), m_list(new QListWidget(this))
{
    setObjectName(QStringLiteral("NoticeLog"));
    setWindowTitle(tr("Notices"));
    auto *caption = new QLabel(tr("The notices shown since the program started, the newest first:"), this);
    caption->setWordWrap(true);
    m_list->setObjectName(QStringLiteral("listWidget_notices"));
    m_list->setAccessibleName(tr("Notices"));
    m_list->setWordWrap(true);
    m_list->setTextElideMode(Qt::ElideNone);
    caption->setBuddy(m_list);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setToolTip(tr("Close the list of notices"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
    resize(560, 420);
    connect(&notices, &NoticePopup::logged, this, [this] {
        if (isVisible())
            fill();
    });
}

void NoticeLog::fill()
{
    m_list->clear();
    const QList<NoticePopup::Logged> &log = m_notices.log();
    for (auto logged = log.crbegin(); logged != log.crend(); ++logged)
        m_list->addItem(logged->shown.toString(QStringLiteral("hh:mm:ss")) + QStringLiteral("  ") + logged->text);
    if (log.isEmpty()) {
        auto *none = new QListWidgetItem(tr("No notice has been shown yet."), m_list);
        none->setFlags(Qt::ItemIsEnabled);
    }
    m_list->setCurrentRow(0);
}
