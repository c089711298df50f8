#include "app/infobar.h"

#include "ui/elidedlabel.h"

#include <QHBoxLayout>
#include <QLabel>

namespace {
const char *const noDevice = "Tavik info";
}

InfoBar::InfoBar(QWidget *parent)
    : QWidget(parent),
      m_device(new ElidedLabel(QLatin1String(noDevice), this)),
      m_system(new QLabel(QStringLiteral("System info"), this))
{
    setObjectName(QStringLiteral("infoBar"));
    m_device->setObjectName(QStringLiteral("label_info_tavik"));
    m_system->setObjectName(QStringLiteral("label_info_system"));
    m_system->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 0, 0, 0);
    layout->addWidget(m_device, 1);
    layout->addWidget(m_system);
    adjustSize();
}

void InfoBar::setDeviceText(const QString &text) { m_device->setText(text); }
void InfoBar::clearDeviceText() { m_device->setText(QLatin1String(noDevice)); }
QString InfoBar::deviceText() const { return m_device->fullText(); }

void InfoBar::placeAtBottom()
{
    const QWidget *window = parentWidget();
    setFixedWidth(window->width());
    move(0, window->height() - height());
}
