#pragma once

#include "editors/librarycolumns.h"
#include "ui/librarylisttab.h"

class QModelIndex;
namespace Ui { class ProgramSelectionTab; }

// The program list of the general programs or of the current client's,
// searched as the user types. Actions that need the program editor or the
// work list are raised as signals with the pool and the picked record's key.
class ProgramSelectionTab : public LibraryListTab
{
    Q_OBJECT

public:
    ProgramSelectionTab(QWidget *page, LibrarySession &session);
    ~ProgramSelectionTab() override;

    void enter() override;
    void leave() override;
    void refresh() override;

    // Whether the selected device may take a program now; "Program to
    // Work" also waits for a program to be picked.
    void setToWorkAllowed(bool allowed);

Q_SIGNALS:
    void programNewRequested(bool generalPool, quint64 key);
    void programOpenRequested(bool generalPool, quint64 key);
    void programToWorkRequested(bool generalPool, quint64 key);

private Q_SLOTS:
    void on_pushButton_programSelection_moveUp_clicked() { move(-1); }
    void on_pushButton_programSelection_moveDown_clicked() { move(1); }
    void on_pushButton_programSelection_delete_clicked() { deletePicked(); }
    void on_pushButton_programSelection_new_clicked();
    void on_pushButton_programSelection_edit_clicked();
    void on_pushButton_programSelection_toWork_clicked();
    void on_radioButton_programGenuine_toggled(bool checked);
    void on_tableWidget_programSelection_doubleClicked(const QModelIndex &index);

private:
    void refilled() override;
    // The pool shown can be changed: the general one, or an open client's.
    bool changeable() const;
    // Checks the round button of the pool the session shows, without
    // taking that as the operator picking it.
    void prepare();

    Ui::ProgramSelectionTab *ui;
    bool m_radioGuard = false;
    bool m_toWorkAllowed = true;
};
