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
    if (m_session.moveRow(m_listId, step))
        refill();
}

void LibraryListTab::deletePicked()
{
    m_session.deletePicked(m_listId);
    refill();
}

void LibraryListTab::addListActions(QAbstractItemView *view, const ListButtons &buttons)
{
    ListKeys::addButton(view, buttons.create, QKeySequence::keyBindings(QKeySequence::New), true);
    ListKeys::addButton(view, buttons.open, {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    for (QAbstractButton *button : buttons.more)
        ListKeys::addButton(view, button);
    ListKeys::addSeparator(view);
    ListKeys::addButton(view, buttons.remove, QKeySequence::keyBindings(QKeySequence::Delete));
    ListKeys::addButton(view, buttons.moveUp, {QKeySequence(Qt::CTRL | Qt::Key_Up)});
    ListKeys::addButton(view, buttons.moveDown, {QKeySequence(Qt::CTRL | Qt::Key_Down)});
}
