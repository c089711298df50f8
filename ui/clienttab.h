#pragma once

#include "ui/tabpage.h"
#include "ui/librarycolumns.h"

#include <QWidget>

#include <functional>

class LibrarySession;
class QModelIndex;
class QVBoxLayout;
class SearchableList;
namespace Ui { class ClientTab; }

// The client tab: the current client's history, searched as the user
// types, with its entries moved and deleted here. The client's own fields
// go into editorLayout(); New Notes, Notes Edit (and a double click) and
// Renew are raised for the history editor.
class ClientTab : public QWidget, public TabPage
{
    Q_OBJECT

public:
    ClientTab(QWidget *page, LibrarySession &session);
    ~ClientTab() override;

    void enter() override;
    void leave() override;
    // An entry added while the tab is shown (a run's start or its end)
    // moves the rows under the selection: the table follows at once, so
    // that the row a Delete acts on is the one shown selected.
    void refresh() override;

    // Refills the history table when a client is open.
    void refill();
    QVBoxLayout *editorLayout() const;

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
    void on_pushButton_history_delete_clicked();
    void on_pushButton_history_new_clicked();
    void on_pushButton_history_edit_clicked();
    void on_pushButton_history_toWork_clicked();
    void on_tableWidget_clientHistory_doubleClicked(const QModelIndex &);

private:
    void move(int step);

    Ui::ClientTab *ui;
    LibrarySession &m_session;
    HistoryListModel *m_model = nullptr;
    SearchableList *m_list = nullptr;
    std::function<void()> m_commit;
    quint64 m_shownRevision = 0;
};
