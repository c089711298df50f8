#include "app/infobar.h"

#include "ui/elidedlabel.h"

#include <QHBoxLayout>
#include <QAction>
#include <QLabel>
#include <QToolButton>

namespace {
const char *const noDevice = "Tavik info";
const char *const systemInfo = "System info";
}

InfoBar::InfoBar(QWidget *parent)
    : QWidget(parent),
      m_layout(new QHBoxLayout(this)),
      m_device(new ElidedLabel(QLatin1String(noDevice), this)),
      m_system(new QLabel(QLatin1String(systemInfo), this))
{
    setObjectName(QStringLiteral("infoBar"));
    m_device->setObjectName(QStringLiteral("label_info_tavik"));
    m_system->setObjectName(QStringLiteral("label_info_system"));
    m_system->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_layout->setContentsMargins(10, 0, 0, 0);
    m_layout->addWidget(m_device, 1);
    m_layout->addWidget(m_system);
    adjustSize();
}

void InfoBar::setDeviceText(const QString &text) { m_device->setText(text); }
void InfoBar::clearDeviceText() { m_device->setText(QLatin1String(noDevice)); }
QString InfoBar::deviceText() const { return m_device->fullText(); }

void InfoBar::addCommands(QAction *first, QAction *second)
{
    for (QAction *action : {first, second}) {
        auto *button = new QToolButton(this);
        button->setObjectName(QStringLiteral("toolButton_") + action->objectName().section(QLatin1Char('_'), 1));
        button->setDefaultAction(action);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);  // their keys reach them from anywhere
        m_layout->addWidget(button);
    }
    adjustSize();
}

void InfoBar::setTip(const QString &tip)
{
    m_system->setText(tip.isEmpty() ? QLatin1String(systemInfo) : tip);
    // At once, not at the next turn of the event loop: a bar outside any
    // layout would show the tip cut until then.
    m_layout->activate();
}

void InfoBar::placeAtBottom()
{
    const QWidget *window = parentWidget();
    setFixedWidth(window->width());
    move(0, window->height() - height());
}
