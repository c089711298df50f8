#pragma once

#include "editors/librarycolumns.h"
#include "ui/librarylisttab.h"

class QModelIndex;
namespace Ui { class ClientSelectionTab; }

// The client list, searched as the user types. Edit and a double click
// open the selected client (LibrarySession::openClient); New is raised for
// the client editor.
class ClientSelectionTab : public LibraryListTab
{
    Q_OBJECT

public:
    ClientSelectionTab(QWidget *page, LibrarySession &session);
    ~ClientSelectionTab() override;

    void leave() override;

Q_SIGNALS:
    void clientNewRequested(quint64 key);

private Q_SLOTS:
    void on_pushButton_clientSelection_moveUp_clicked() { move(-1); }
    void on_pushButton_clientSelection_moveDown_clicked() { move(1); }
    void on_pushButton_clientSelection_delete_clicked() { deletePicked(); }
    void on_pushButton_clientSelection_new_clicked() { Q_EMIT clientNewRequested(pickedKey()); }
    void on_pushButton_clientSelection_edit_clicked() { m_session.openClient(); }
    void on_tableWidget_clientSelection_doubleClicked(const QModelIndex &) { m_session.openClient(); }

private:
    Ui::ClientSelectionTab *ui;
};
