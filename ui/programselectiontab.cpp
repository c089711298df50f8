#include "ui/programselectiontab.h"

#include "data/library.h"
#include "ui/columnwidths.h"
#include "editors/librarysession.h"
#include "ui/searchablelist.h"
#include "ui_programselectiontab.h"

#include <QLayout>

ProgramSelectionTab::ProgramSelectionTab(QWidget *page, LibrarySession &session)
    : QWidget(page), ui(new Ui::ProgramSelectionTab), m_session(session)
{
    ui->setupUi(this);
    if (page->layout())
        page->layout()->addWidget(this);
    m_model = new ProgramListModel([&session]() -> Programs & { return session.programListStore(); },
                                   LibraryColumns::programs(), this);
    m_list = new SearchableList({ui->lineEdit_programSelection_search, ui->pushButton_programSelection_clear,
                                 ui->tableWidget_programSelection, m_model},
                                session.selectedKey(LibrarySession::ProgramList),
                                [&session](const QString &text) { session.programListStore().setFilter(text); },
                                ColumnWidths::programList, this);
    connect(m_list, &SearchableList::openRequested, this, &ProgramSelectionTab::on_pushButton_programSelection_edit_clicked);
    connect(m_list, &SearchableList::pickChanged, this, &ProgramSelectionTab::updateButtons);
    m_radioGuard = true;
    (m_session.programPoolGeneral() ? ui->radioButton_programGenuine : ui->radioButton_programClient)->setChecked(true);
    m_radioGuard = false;
    refill();
}

ProgramSelectionTab::~ProgramSelectionTab()
{
    delete ui;
}

void ProgramSelectionTab::prepare()
{
    m_radioGuard = true;
    (m_session.programPoolGeneral() ? ui->radioButton_programGenuine : ui->radioButton_programClient)->setChecked(true);
    m_radioGuard = false;
}

void ProgramSelectionTab::enter()
{
    prepare();
    refill();
}

void ProgramSelectionTab::leave()
{
    m_session.saveProgramList();
    m_list->clearSearch();
}

void ProgramSelectionTab::refresh()
{
    updateButtons();
}

void ProgramSelectionTab::refill()
{
    m_list->refill();
    updateButtons();
}

void ProgramSelectionTab::updateButtons()
{
    const bool enabled = m_session.programPoolGeneral() || m_session.clientOpen();
    // What acts on the picked program waits for one to be picked.
    const bool picked = m_list->row() >= 0;
    ui->pushButton_programSelection_new->setEnabled(enabled);
    for (QWidget *button : {ui->pushButton_programSelection_delete, ui->pushButton_programSelection_moveUp,
                            ui->pushButton_programSelection_moveDown, ui->pushButton_programSelection_edit})
        button->setEnabled(enabled && picked);
}

void ProgramSelectionTab::on_radioButton_programGenuine_toggled(bool checked)
{
    if (m_radioGuard)
        return;
    m_radioGuard = true;
    m_session.switchProgramPool(checked);
    m_radioGuard = false;
    m_list->reapplySearch();
    refill();
}

void ProgramSelectionTab::move(int step)
{
    if (m_session.moveRow(LibrarySession::ProgramList, step))
        refill();
}

void ProgramSelectionTab::on_pushButton_programSelection_delete_clicked()
{
    m_session.deleteProgram();
    refill();
}

void ProgramSelectionTab::on_pushButton_programSelection_new_clicked()
{
    Q_EMIT programNewRequested(m_session.programPoolGeneral(), m_list->key());
}

void ProgramSelectionTab::on_pushButton_programSelection_edit_clicked()
{
    Q_EMIT programOpenRequested(m_session.programPoolGeneral(), m_list->key());
}

void ProgramSelectionTab::on_pushButton_programSelection_toWork_clicked()
{
    Q_EMIT programToWorkRequested(m_session.programPoolGeneral(), m_list->key());
}

void ProgramSelectionTab::on_tableWidget_programSelection_doubleClicked(const QModelIndex &index)
{
    if (index.column() == 0 || index.column() == 1)
        Q_EMIT programOpenRequested(m_session.programPoolGeneral(), m_list->key());
}
