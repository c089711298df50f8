#include "app/windowcolours.h"

#include "editors/textcolours.h"

#include <QEvent>
#include <QLabel>

namespace {

// The editors' forms put the reason an edit is not stored under its name,
// in a label named for it.
bool isRefusal(const QLabel *label)
{
    return label->objectName().endsWith(QLatin1String("_name_info"));
}

} // namespace

WindowColours::WindowColours(QWidget *window) : QObject(window), m_window(window)
{
    window->installEventFilter(this);
    recolour();
}

void WindowColours::recolour()
{
    for (QLabel *label : m_window->findChildren<QLabel *>()) {
        if (!isRefusal(label))
            continue;
        // A colour fixed in a style sheet reads on one palette only.
        if (!label->styleSheet().isEmpty())
            label->setStyleSheet(QString());
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, TextColours::refusal(palette.color(label->backgroundRole())));
        label->setPalette(palette);
    }
}

void WindowColours::followPalette()
{
    // A widget with a style sheet keeps the palette it had when the sheet
    // was applied, and so do its children: the tabs stayed light on a
    // desktop turned dark. Applied again, the sheet takes the new palette.
    for (QWidget *widget : m_window->findChildren<QWidget *>()) {
        if (!widget->styleSheet().isEmpty())
            widget->setStyleSheet(widget->styleSheet());
    }
    recolour();
}

bool WindowColours::eventFilter(QObject *watched, QEvent *event)
{
    // Told last, once every widget inside has been given the new palette.
    if (watched == m_window && event->type() == QEvent::ApplicationPaletteChange)
        followPalette();
    return QObject::eventFilter(watched, event);
}
