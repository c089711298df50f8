#pragma once

#include "editors/librarycolumns.h"
#include "ui/librarylisttab.h"

#include <functional>

class QModelIndex;
namespace Ui { class ClientTab; }

// The client tab: the current client's history, searched as the user
// types, with its entries moved and deleted here. The client's own fields
// are added above it; New Notes, Notes Edit (and a double click) and
// Renew are raised for the history editor.
class ClientTab : public LibraryListTab
{
    Q_OBJECT

public:
    ClientTab(QWidget *page, LibrarySession &session);
    ~ClientTab() override;

    void enter() override { refill(); }
    void leave() override;
    // An entry added while the tab is shown (a run's start or its end)
    // moves the rows under the selection: the table follows at once, so
    // that the row a Delete acts on is the one shown selected.
    void refresh() override;

    // The client's own fields, shown above the history and reached first.
    void addFields(QWidget *fields);

    // What leaving the tab commits. Until the client editor sets its own,
    // the history is written, so moves and deletes are kept.
    void setCommit(std::function<void()> commit) { m_commit = std::move(commit); }

Q_SIGNALS:
    void historyNewRequested(quint64 key);
    void historyEditRequested(quint64 key);
    void historyRenewRequested(quint64 key);

private Q_SLOTS:
    void on_pushButton_history_moveUp_clicked() { move(-1); }
    void on_pushButton_history_moveDown_clicked() { move(1); }
    void on_pushButton_history_delete_clicked() { deletePicked(); }
    void on_pushButton_history_new_clicked() { Q_EMIT historyNewRequested(pickedKey()); }
    void on_pushButton_history_edit_clicked() { Q_EMIT historyEditRequested(pickedKey()); }
    void on_pushButton_history_toWork_clicked() { Q_EMIT historyRenewRequested(pickedKey()); }
    void on_tableWidget_clientHistory_doubleClicked(const QModelIndex &) { Q_EMIT historyEditRequested(pickedKey()); }

private:
    void refilled() override;

    Ui::ClientTab *ui;
    std::function<void()> m_commit;
    quint64 m_shownRevision = 0;
};
