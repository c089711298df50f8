#include "ui/programselectiontab.h"

#include "data/library.h"
#include "ui/columnwidths.h"
#include "ui_programselectiontab.h"

ProgramSelectionTab::ProgramSelectionTab(QWidget *page, LibrarySession &session)
    : LibraryListTab(page, session, LibrarySession::ProgramList), ui(new Ui::ProgramSelectionTab)
{
    ui->setupUi(this);
    auto *model = new ProgramListModel([&session]() -> Programs & { return session.programListStore(); },
                                       LibraryColumns::programs(), this);
    makeList({ui->lineEdit_programSelection_search, ui->pushButton_programSelection_clear,
              ui->tableWidget_programSelection, model},
             [&session](const QString &text) { session.programListStore().setFilter(text); },
             ColumnWidths::programList);
    connect(m_list, &SearchableList::openRequested, this, &ProgramSelectionTab::on_pushButton_programSelection_edit_clicked);
    connect(m_list, &SearchableList::pickChanged, this, [this] { setToWorkAllowed(m_toWorkAllowed); });
    addListActions(ui->tableWidget_programSelection,
                   {ui->pushButton_programSelection_new, ui->pushButton_programSelection_edit,
                    {ui->pushButton_programSelection_toWork}, ui->pushButton_programSelection_delete,
                    ui->pushButton_programSelection_moveUp, ui->pushButton_programSelection_moveDown});
    setPickButtons({ui->pushButton_programSelection_delete, ui->pushButton_programSelection_moveUp,
                    ui->pushButton_programSelection_moveDown, ui->pushButton_programSelection_edit},
                   [this] { return changeable(); });
    prepare();
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
    clearSearch();
}

void ProgramSelectionTab::refresh()
{
    refilled();
}

bool ProgramSelectionTab::changeable() const
{
    return m_session.programPoolGeneral() || m_session.clientOpen();
}

void ProgramSelectionTab::refilled()
{
    ui->pushButton_programSelection_new->setEnabled(changeable());
    updatePickButtons();
    setToWorkAllowed(m_toWorkAllowed);
}

void ProgramSelectionTab::setToWorkAllowed(bool allowed)
{
    m_toWorkAllowed = allowed;
    ui->pushButton_programSelection_toWork->setEnabled(allowed && changeable() && picked());
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

void ProgramSelectionTab::on_pushButton_programSelection_new_clicked()
{
    Q_EMIT programNewRequested(m_session.programPoolGeneral(), pickedKey());
}

void ProgramSelectionTab::on_pushButton_programSelection_edit_clicked()
{
    Q_EMIT programOpenRequested(m_session.programPoolGeneral(), pickedKey());
}

void ProgramSelectionTab::on_pushButton_programSelection_toWork_clicked()
{
    Q_EMIT programToWorkRequested(m_session.programPoolGeneral(), pickedKey());
}

void ProgramSelectionTab::on_tableWidget_programSelection_doubleClicked(const QModelIndex &index)
{
    if (index.column() == LibraryColumns::ProgramName || index.column() == LibraryColumns::ProgramVersion)
        Q_EMIT programOpenRequested(m_session.programPoolGeneral(), pickedKey());
}
