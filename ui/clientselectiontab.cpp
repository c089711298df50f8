#include "ui/clientselectiontab.h"

#include "data/library.h"
#include "ui/columnwidths.h"
#include "ui_clientselectiontab.h"

ClientSelectionTab::ClientSelectionTab(QWidget *page, LibrarySession &session)
    : LibraryListTab(page, session, LibrarySession::ClientList), ui(new Ui::ClientSelectionTab)
{
    ui->setupUi(this);
    Library &library = session.library();
    auto *model = new ClientListModel([&library]() -> Clients & { return library.clients(); },
                                      LibraryColumns::clients(), this);
    makeList({ui->lineEdit_clientSelection_search, ui->pushButton_clientSelection_clear, ui->tableWidget_clientSelection,
              model},
             [&library](const QString &text) { library.clients().setFilter(text); }, ColumnWidths::clientList);
    m_list->logSearches(QStringLiteral("filter"));
    connect(m_list, &SearchableList::openRequested, this, [this] { m_session.openClient(); });
    addListActions(ui->tableWidget_clientSelection,
                   {ui->pushButton_clientSelection_new, ui->pushButton_clientSelection_edit, {},
                    ui->pushButton_clientSelection_delete, ui->pushButton_clientSelection_moveUp,
                    ui->pushButton_clientSelection_moveDown});
    setPickButtons({ui->pushButton_clientSelection_delete, ui->pushButton_clientSelection_moveUp,
                    ui->pushButton_clientSelection_moveDown, ui->pushButton_clientSelection_edit});
    refill();
}

ClientSelectionTab::~ClientSelectionTab()
{
    delete ui;
}

void ClientSelectionTab::leave()
{
    m_session.leaveClientSelection();
    clearSearch();
}
