#pragma once

#include "editors/librarycolumns.h"
#include "ui/librarylisttab.h"

class QModelIndex;
namespace Ui { class PresetSelectionTab; }

// The preset list of one pool (Client, General, Legitimate), searched as
// the user types. Actions that need the editors are raised as signals with
// the pool and the picked record's key.
class PresetSelectionTab : public LibraryListTab
{
    Q_OBJECT

public:
    PresetSelectionTab(QWidget *page, LibrarySession &session);
    ~PresetSelectionTab() override;

    void enter() override;
    void leave() override;
    void refresh() override;

Q_SIGNALS:
    void presetNewRequested(int pool, quint64 key);
    void presetOpenRequested(int pool, quint64 key);
    void presetAddToProgramRequested(int pool, quint64 key);

private Q_SLOTS:
    void on_pushButton_presetSelection_moveUp_clicked() { move(-1); }
    void on_pushButton_presetSelection_moveDown_clicked() { move(1); }
    void on_pushButton_presetSelection_delete_clicked() { deletePicked(); }
    void on_pushButton_presetSelection_new_clicked();
    void on_pushButton_presetSelection_edit_clicked();
    void on_pushButton_presetSelection_toProgram_clicked();
    void on_radioButton_presetGenuine_clicked() { switchPool(2); }
    void on_radioButton_presetGeneral_clicked() { switchPool(1); }
    void on_radioButton_presetClient_clicked() { switchPool(0); }
    void on_tableWidget_presetSelection_doubleClicked(const QModelIndex &index);

private:
    void refilled() override;
    void updateButtons();
    void switchPool(int pool);
    void showPoolButton();
    void prepareSearchSoon();
    // The pool shown is still being read beside the window: the list shows
    // nothing and says so rather than hold the window until it arrives.
    bool shownPoolArriving();
    void showArriving();

    Ui::PresetSelectionTab *ui;
    PresetListModel *m_model = nullptr;
    bool m_radioGuard = false;
    bool m_arriving = false;
    QString m_searchHint;  // the form's, given back when the pool has arrived
};
