#pragma once

#include "ui/tabpage.h"
#include "ui/librarycolumns.h"

#include <QWidget>

class LibrarySession;
class QModelIndex;
class SearchableList;
namespace Ui { class ClientSelectionTab; }

// The client list, searched as the user types. Edit and a double click
// open the selected client (LibrarySession::openClient); New is raised for
// the client editor.
class ClientSelectionTab : public QWidget, public TabPage
{
    Q_OBJECT

public:
    ClientSelectionTab(QWidget *page, LibrarySession &session);
    ~ClientSelectionTab() override;

    void enter() override { refill(); }
    void leave() override;

    void refill();

Q_SIGNALS:
    void clientNewRequested(quint64 key);

private Q_SLOTS:
    void on_pushButton_clientSelection_moveUp_clicked() { move(-1); }
    void on_pushButton_clientSelection_moveDown_clicked() { move(1); }
    void on_pushButton_clientSelection_delete_clicked();
    void on_pushButton_clientSelection_new_clicked();
    void on_pushButton_clientSelection_edit_clicked();
    void on_tableWidget_clientSelection_doubleClicked(const QModelIndex &);

private:
    void move(int step);

    Ui::ClientSelectionTab *ui;
    LibrarySession &m_session;
    ClientListModel *m_model = nullptr;
    SearchableList *m_list = nullptr;
};
