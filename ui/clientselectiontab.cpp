#include "ui/clientselectiontab.h"

#include "data/library.h"
#include "ui/columnwidths.h"
#include "editors/librarysession.h"
#include "ui/searchablelist.h"
#include "ui_clientselectiontab.h"

#include <QLayout>

ClientSelectionTab::ClientSelectionTab(QWidget *page, LibrarySession &session)
    : QWidget(page), ui(new Ui::ClientSelectionTab), m_session(session)
{
    ui->setupUi(this);
    if (page->layout())
        page->layout()->addWidget(this);
    Library &library = session.library();
    m_model = new ClientListModel([&library]() -> Clients & { return library.clients(); },
                                  LibraryColumns::clients(), this);
    m_list = new SearchableList({ui->lineEdit_clientSelection_search, ui->pushButton_clientSelection_clear,
                                 ui->tableWidget_clientSelection, m_model},
                                session.selectedKey(LibrarySession::ClientList),
                                [&library](const QString &text) { library.clients().setFilter(text); },
                                ColumnWidths::clientList, this);
    m_list->logSearches(QStringLiteral("filter"));
    connect(m_list, &SearchableList::openRequested, this, [this] { m_session.openClient(); });
    // What acts on the picked client waits for one to be picked.
    connect(m_list, &SearchableList::pickChanged, this, [this] {
        const bool picked = m_list->row() >= 0;
        for (QWidget *button : {ui->pushButton_clientSelection_delete, ui->pushButton_clientSelection_moveUp,
                                ui->pushButton_clientSelection_moveDown, ui->pushButton_clientSelection_edit})
            button->setEnabled(picked);
    });
    refill();
}

ClientSelectionTab::~ClientSelectionTab()
{
    delete ui;
}

void ClientSelectionTab::leave()
{
    m_session.leaveClientSelection();
    m_list->clearSearch();
}


void ClientSelectionTab::refill()
{
    m_list->refill();
}

void ClientSelectionTab::move(int step)
{
    if (m_session.moveRow(LibrarySession::ClientList, step))
        refill();
}

void ClientSelectionTab::on_pushButton_clientSelection_delete_clicked()
{
    m_session.deleteClient();
    refill();
}

void ClientSelectionTab::on_pushButton_clientSelection_new_clicked()
{
    Q_EMIT clientNewRequested(m_list->key());
}

void ClientSelectionTab::on_pushButton_clientSelection_edit_clicked()
{
    m_session.openClient();
}

void ClientSelectionTab::on_tableWidget_clientSelection_doubleClicked(const QModelIndex &)
{
    m_session.openClient();
}
