#include "ui/librarylisttab.h"

#include "ui/listkeys.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QLayout>

LibraryListTab::LibraryListTab(QWidget *page, LibrarySession &session, LibrarySession::List list)
    : QWidget(page), m_session(session), m_listId(list)
{
    if (page->layout())
        page->layout()->addWidget(this);
}

void LibraryListTab::makeList(const SearchableList::Parts &parts, std::function<void(const QString &)> setFilter,
                              std::function<QList<int>(int)> widths)
{
    m_list = new SearchableList(parts, m_session.selectedKey(m_listId), std::move(setFilter), std::move(widths), this);
    connect(m_list, &SearchableList::pickChanged, this, &LibraryListTab::updatePickButtons);
}

void LibraryListTab::setPickButtons(QList<QWidget *> buttons, std::function<bool()> allowed)
{
    m_pickButtons = std::move(buttons);
    m_allowed = std::move(allowed);
}

void LibraryListTab::updatePickButtons()
{
    const bool enabled = picked() && (!m_allowed || m_allowed());
    for (QWidget *button : std::as_const(m_pickButtons))
        button->setEnabled(enabled);
}

void LibraryListTab::refill()
{
    m_list->refill();
    refilled();
}

void LibraryListTab::move(int step)
{
    m_session.moveRow(m_listId, step);
}

void LibraryListTab::deletePicked()
{
    m_session.deletePicked(m_listId);
}

void LibraryListTab::addListActions(QAbstractItemView *view, const ListButtons &buttons)
{
    ListKeys::addButton(view, buttons.create, QKeySequence::keyBindings(QKeySequence::New), true);
    ListKeys::addButton(view, buttons.open, {QKeySequence(Qt::Key_Enter), QKeySequence(Qt::Key_Return)});
    for (QAbstractButton *button : buttons.more)
        ListKeys::addButton(view, button);
    ListKeys::addSeparator(view);
    ListKeys::addButton(view, buttons.remove, QKeySequence::keyBindings(QKeySequence::Delete));
    ListKeys::addButton(view, buttons.moveUp, {QKeySequence(Qt::CTRL | Qt::Key_Up)});
    ListKeys::addButton(view, buttons.moveDown, {QKeySequence(Qt::CTRL | Qt::Key_Down)});
    // Delete's tooltip names Ctrl+Z: it says what the keys would take back
    // or make again now, as an Edit menu would.
    if (QAbstractButton *remove = buttons.remove) {
        const QString tip = remove->toolTip();
        const auto follow = [this, remove, tip] {
            const QString next = m_session.undoStack().nextText();
            remove->setToolTip(next.isEmpty() ? tip : tip + QLatin1Char('\n') + next);
        };
        connect(&m_session.undoStack(), &UndoStack::changed, remove, follow);
        follow();
    }
}
