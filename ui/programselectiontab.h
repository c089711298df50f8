#pragma once

#include "ui/tabpage.h"
#include "ui/librarycolumns.h"

#include <QWidget>

class LibrarySession;
class QModelIndex;
class SearchableList;
namespace Ui { class ProgramSelectionTab; }

// The program list of the general programs or of the current client's,
// searched as the user types. Actions that need the program editor or the
// work list are raised as signals with the pool and the selected row.
class ProgramSelectionTab : public QWidget, public TabPage
{
    Q_OBJECT

public:
    ProgramSelectionTab(QWidget *page, LibrarySession &session);
    ~ProgramSelectionTab() override;

    void enter() override;
    void leave() override;
    void refresh() override;

    void refill();
    void updateButtons();

Q_SIGNALS:
    void programNewRequested(bool generalPool, quint64 key);
    void programOpenRequested(bool generalPool, quint64 key);
    void programToWorkRequested(bool generalPool, quint64 key);

private Q_SLOTS:
    void on_pushButton_programSelection_moveUp_clicked() { move(-1); }
    void on_pushButton_programSelection_moveDown_clicked() { move(1); }
    void on_pushButton_programSelection_delete_clicked();
    void on_pushButton_programSelection_new_clicked();
    void on_pushButton_programSelection_edit_clicked();
    void on_pushButton_programSelection_toWork_clicked();
    void on_radioButton_programGenuine_toggled(bool checked);
    void on_tableWidget_programSelection_doubleClicked(const QModelIndex &index);

private:
    void move(int step);
    // Checks the round button of the pool the session shows, without
    // taking that as the operator picking it.
    void prepare();

    Ui::ProgramSelectionTab *ui;
    LibrarySession &m_session;
    ProgramListModel *m_model = nullptr;
    SearchableList *m_list = nullptr;
    bool m_radioGuard = false;
};
