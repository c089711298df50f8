#include "ui/listkeys.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QEvent>
#include <QLineEdit>

namespace {

// Keeps an action enabled exactly while its button is.
class FollowButton : public QObject
{
public:
    FollowButton(QAbstractButton *button, QAction *action) : QObject(action), m_action(action)
    {
        action->setEnabled(button->isEnabled());
        button->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange)
            m_action->setEnabled(static_cast<QWidget *>(watched)->isEnabled());
        return QObject::eventFilter(watched, event);
    }

private:
    QAction *m_action;
};

} // namespace

namespace ListKeys {

QAction *addButton(QAbstractItemView *view, QAbstractButton *button, const QList<QKeySequence> &keys, bool tabWide)
{
    auto *action = new QAction(button->text(), view);
    action->setObjectName(QStringLiteral("action_") + button->objectName().section(QLatin1Char('_'), 1, -1));
    action->setShortcuts(keys);
    // The view is shown only with its tab: a window-wide key of one tab
    // never reaches another's.
    action->setShortcutContext(tabWide ? Qt::WindowShortcut : Qt::WidgetShortcut);
    action->setShortcutVisibleInContextMenu(true);
    action->setToolTip(button->toolTip());
    QObject::connect(action, &QAction::triggered, button, &QAbstractButton::click);
    new FollowButton(button, action);
    view->addAction(action);
    view->setContextMenuPolicy(Qt::ActionsContextMenu);
    return action;
}

void addSeparator(QAbstractItemView *view)
{
    auto *separator = new QAction(view);
    separator->setSeparator(true);
    view->addAction(separator);
}

void addFind(QLineEdit *field)
{
    auto *find = new QAction(field);
    find->setShortcuts(QKeySequence::Find);
    find->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(find, &QAction::triggered, field, [field] {
        field->setFocus(Qt::ShortcutFocusReason);
        field->selectAll();
    });
    field->addAction(find);
}

void focusOnlyWhenFilled(QAbstractItemView *view)
{
    // A view owns its model in QTableWidget and its kin: the model is torn
    // down among the view's children, after the view's own destructor has
    // run, and announces a reset on the way out. Only a whole view is asked.
    QObject *object = view;
    const auto follow = [object] {
        auto *view = qobject_cast<QAbstractItemView *>(object);
        if (!view)
            return;
        const bool filled = view->model() && view->model()->rowCount() > 0;
        view->setFocusPolicy(filled ? Qt::StrongFocus : Qt::NoFocus);
        if (filled || !view->hasFocus())
            return;
        for (QWidget *next = view->nextInFocusChain(); next && next != view; next = next->nextInFocusChain()) {
            if ((next->focusPolicy() & Qt::TabFocus) && next->isVisible() && next->isEnabled()
                && next->window() == view->window()) {
                next->setFocus(Qt::TabFocusReason);
                return;
            }
        }
    };
    QAbstractItemModel *model = view->model();
    QObject::connect(model, &QAbstractItemModel::modelReset, view, follow);
    QObject::connect(model, &QAbstractItemModel::rowsInserted, view, follow);
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, view, follow);
    QObject::connect(model, &QAbstractItemModel::layoutChanged, view, follow);
    follow();
}

} // namespace ListKeys
