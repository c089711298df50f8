#include "app/noticepopup.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTabBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Read out as a notification, by its text, when it appears: a notice shown
// beside the pointer says nothing to an operator who cannot see it.
class NoticeAccessible : public QAccessibleWidget
{
public:
    explicit NoticeAccessible(QWidget *notice) : QAccessibleWidget(notice, QAccessible::Notification) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name)
            return static_cast<const NoticePopup *>(widget())->text();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface *noticeAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("NoticePopup") && object && object->isWidgetType())
        return new NoticeAccessible(static_cast<QWidget *>(object));
    return nullptr;
}

void announce(QWidget *notice, QAccessible::Event kind)
{
    QAccessibleEvent event(notice, kind);
    QAccessible::updateAccessibility(&event);
}

// What a notice must not lie over, and what lying over it costs when no
// place is free of everything: a button, a tab or the pointer never, a
// field rather not (it cannot be read, but a click still reaches it).
struct Obstacle
{
    QRect rect;
    long weight;
};

constexpr long never = 1000;
constexpr long ratherNot = 1;

QList<Obstacle> obstaclesIn(const QWidget *window, const QWidget *notice, const QPoint &pointer)
{
    QList<Obstacle> found;
    for (const QWidget *widget : window->findChildren<QWidget *>()) {
        if (widget == notice || notice->isAncestorOf(widget) || widget->window() != window || !widget->isVisible())
            continue;
        long weight = 0;
        if (qobject_cast<const QAbstractButton *>(widget) || qobject_cast<const QTabBar *>(widget))
            weight = never;
        else if (qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QComboBox *>(widget)
                 || qobject_cast<const QAbstractSpinBox *>(widget))
            weight = ratherNot;
        else
            continue;
        const QRect visible = widget->visibleRegion().boundingRect();
        if (!visible.isEmpty())
            found.append({QRect(widget->mapTo(window, visible.topLeft()), visible.size()), weight});
    }
    // The pointer, with room for its arrow below and right of the hot spot.
    found.append({QRect(pointer - QPoint(4, 4), QSize(28, 32)), never});
    return found;
}

long cost(const QRect &place, const QList<Obstacle> &obstacles)
{
    long total = 0;
    for (const Obstacle &obstacle : obstacles) {
        const QRect shared = place & obstacle.rect;
        if (!shared.isEmpty())
            total += long(shared.width()) * shared.height() * obstacle.weight;
    }
    return total;
}

double distance(const QRect &place, const QPoint &pointer)
{
    const int dx = std::max({place.left() - pointer.x(), 0, pointer.x() - place.right()});
    const int dy = std::max({place.top() - pointer.y(), 0, pointer.y() - place.bottom()});
    return std::hypot(dx, dy);
}

// Where a notice of `size` may go in `room`: along a coarse grid, beside
// the pointer, and flush against every obstacle, so that a narrow gap
// between two rows of buttons is found as well as open space.
QList<int> offsets(int from, int to, int length, int pointer, const QList<Obstacle> &obstacles, bool across)
{
    constexpr int grid = 16;
    constexpr int gap = 2;
    QList<int> found;
    if (to < from)
        return {from};
    for (int at = from; at < to; at += grid)
        found.append(at);
    found.append(to);
    found.append(pointer);
    found.append(pointer - length);
    found.append(pointer + 32);
    for (const Obstacle &obstacle : obstacles) {
        const int before = across ? obstacle.rect.left() : obstacle.rect.top();
        const int after = across ? obstacle.rect.right() : obstacle.rect.bottom();
        found.append(before - length - gap);
        found.append(after + 1 + gap);
    }
    for (int &at : found)
        at = std::clamp(at, from, to);
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

} // namespace

NoticePopup::NoticePopup(QWidget *parent)
    : QFrame(parent), m_label(new QLabel(QStringLiteral("Test"), this))
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(noticeAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setObjectName(QStringLiteral("noticePopup"));
    m_label->setObjectName(QStringLiteral("label_notice"));
    // Read from its first line: a long notice aligned to the bottom showed
    // only its end.
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label->setWordWrap(true);
    m_label->setTextInteractionFlags(Qt::NoTextInteraction);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    // In the desktop's tooltip colours, framed: told apart from the
    // window's own text it lies beside.
    setFrameShape(QFrame::Box);
    setBackgroundRole(QPalette::ToolTipBase);
    setForegroundRole(QPalette::ToolTipText);
    m_label->setForegroundRole(QPalette::ToolTipText);
    setAutoFillBackground(true);
    // A click goes to the control under the notice, never to the notice.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_label->setAttribute(Qt::WA_TransparentForMouseEvents);
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

void NoticePopup::showNotice(const QString &text, const QPoint &pointer)
{
    const bool replacing = isVisible();
    m_label->setText(text);
    m_pointer = pointer;
    m_log.append({QDateTime::currentDateTime(), text});
    if (m_log.size() > loggedNotices)
        m_log.removeFirst();
    place();
    show();
    raise();
    m_countdown = ticksFor(text);
    // Showing it tells a screen reader; a notice replaced in place must too.
    if (replacing)
        announce(this, QAccessible::NameChanged);
    announce(this, QAccessible::Alert);
    Q_EMIT logged();
}

void NoticePopup::place()
{
    const QWidget *window = parentWidget();
    const QMargins margins = layout()->contentsMargins() + QMargins(frameWidth(), frameWidth(), frameWidth(), frameWidth());
    const int frame = margins.left() + margins.right();
    // As wide as the text wants up to a reading width, never wider than
    // the window; as high as the wrapped text then needs.
    const int widest = window ? std::max(minimumWidth, window->width() - 2 * edge) : readingWidth;
    const int natural = m_label->fontMetrics().boundingRect(QRect(0, 0, readingWidth, 100000),
                                                              Qt::TextWordWrap, m_label->text()).width();
    const int width = std::clamp(natural + frame + 2, minimumWidth, std::min(readingWidth + frame, widest));
    const auto heightFor = [&](int wide) {
        const int height = m_label->heightForWidth(wide - frame) + margins.top() + margins.bottom();
        return window ? std::min(height, std::max(0, window->height() - 2 * edge)) : height;
    };
    if (!window) {
        setFixedSize(width, heightFor(width));
        move(m_pointer);
        return;
    }

    // The widest shape first; a narrower, taller one where that finds no
    // free place.
    const QList<Obstacle> obstacles = obstaclesIn(window, this, m_pointer);
    QRect best;
    long bestCost = std::numeric_limits<long>::max();
    double bestDistance = 0;
    for (const int wide : {width, width * 2 / 3, width / 2}) {
        if (wide < minimumWidth && wide != width)
            break;
        const QSize size(wide, heightFor(wide));
        const QList<int> xs = offsets(edge, window->width() - size.width() - edge, size.width(), m_pointer.x(),
                                      obstacles, true);
        const QList<int> ys = offsets(edge, window->height() - size.height() - edge, size.height(), m_pointer.y(),
                                      obstacles, false);
        for (const int y : ys) {
            for (const int x : xs) {
                const QRect tried(QPoint(x, y), size);
                const long paid = cost(tried, obstacles);
                if (paid > bestCost)
                    continue;
                const double away = distance(tried, m_pointer);
                if (paid < bestCost || away < bestDistance) {
                    best = tried;
                    bestCost = paid;
                    bestDistance = away;
                }
            }
        }
        if (bestCost == 0)
            break;
    }
    setFixedSize(best.size());
    move(best.topLeft());
}

void NoticePopup::keepClear()
{
    if (!isVisible() || !parentWidget())
        return;
    for (const Obstacle &obstacle : obstaclesIn(parentWidget(), this, m_pointer)) {
        if (obstacle.weight == never && obstacle.rect.intersects(geometry())) {
            place();
            return;
        }
    }
}

bool NoticePopup::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType()
        && static_cast<QWidget *>(watched)->window() == window()) {
        // Read or not, the notice goes; the click goes on to its target.
        hide();
        m_countdown = 0;
    }
    return QFrame::eventFilter(watched, event);
}

void NoticePopup::showEvent(QShowEvent *event)
{
    QFrame::showEvent(event);
    qApp->installEventFilter(this);
}

void NoticePopup::hideEvent(QHideEvent *event)
{
    qApp->removeEventFilter(this);
    QFrame::hideEvent(event);
}

void NoticePopup::tick()
{
    if (m_countdown <= 0)
        return;
    --m_countdown;
    if (m_countdown == 1)
        hide();
    else
        keepClear();
}

QString NoticePopup::text() const { return m_label->text(); }
