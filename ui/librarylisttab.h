#pragma once

#include "editors/librarysession.h"
#include "ui/searchablelist.h"
#include "ui/tabpage.h"

#include <QList>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QAbstractItemView;

// What the four library list tabs (clients, a client's history, programs,
// presets) share: a searchable list whose selection the session keeps by
// key, Move Up/Down and Delete on the picked record, and the buttons that
// wait for a pick. Each tab adds its own actions, raised with the key of
// the record picked.
class LibraryListTab : public QWidget, public TabPage
{
    Q_OBJECT

public:
    // Fills the list anew; the pick stays on its record when still shown.
    void refill();

protected:
    LibraryListTab(QWidget *page, LibrarySession &session, LibrarySession::List list);

    // Made once, after the form is set up.
    void makeList(const SearchableList::Parts &parts, std::function<void(const QString &)> setFilter,
                  std::function<QList<int>(int)> widths);
    // The tab's buttons as actions on its list: a right-click menu, Ctrl+N
    // for New wherever the focus is on the tab, and on the list Enter to
    // open, Delete, Ctrl+Up and Ctrl+Down to move. `more` follow Edit in
    // the menu.
    struct ListButtons
    {
        QAbstractButton *create = nullptr;
        QAbstractButton *open = nullptr;
        QList<QAbstractButton *> more;
        QAbstractButton *remove = nullptr;
        QAbstractButton *moveUp = nullptr;
        QAbstractButton *moveDown = nullptr;
    };
    void addListActions(QAbstractItemView *view, const ListButtons &buttons);
    // Buttons that act on the picked record: enabled when one is picked
    // and `allowed` says so (the tab's own rule, asked at every change).
    void setPickButtons(QList<QWidget *> buttons, std::function<bool()> allowed = {});
    void updatePickButtons();
    // Empties the search field when the tab is left.
    void clearSearch() { m_list->clearSearch(); }

    void move(int step);
    void deletePicked();
    // The key of the record picked and shown, 0 for none.
    quint64 pickedKey() const { return m_list->key(); }
    bool picked() const { return m_list->row() >= 0; }

    // After each refill, for what else the tab shows of the list.
    virtual void refilled() {}

    LibrarySession &m_session;
    SearchableList *m_list = nullptr;

private:
    const LibrarySession::List m_listId;
    QList<QWidget *> m_pickButtons;
    std::function<bool()> m_allowed;
};
