#include "ui/clienttab.h"

#include "data/library.h"
#include "ui/columnwidths.h"
#include "editors/librarysession.h"
#include "ui/notescolordelegate.h"
#include "ui/searchablelist.h"
#include "ui_clienttab.h"

#include <QHeaderView>
#include <QLayout>

ClientTab::ClientTab(QWidget *page, LibrarySession &session)
    : QWidget(page), ui(new Ui::ClientTab), m_session(session)
{
    ui->setupUi(this);
    if (page->layout())
        page->layout()->addWidget(this);
    Library &library = session.library();
    m_model = new HistoryListModel([&library]() -> Notes & { return library.history().notes(); },
                                   LibraryColumns::history(), this);
    ui->tableWidget_clientHistory->setItemDelegate(new notesColorDelegate(ui->tableWidget_clientHistory));
    // Every cell shows one line (a note's first): rows of one height need
    // no measuring of each entry, which a long history cannot afford at
    // every visit.
    ui->tableWidget_clientHistory->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list = new SearchableList({ui->lineEdit_history_search, ui->pushButton_history_clear,
                                 ui->tableWidget_clientHistory, m_model},
                                session.selectedKey(LibrarySession::HistoryList),
                                [&library](const QString &text) { library.history().notes().setFilter(text); },
                                [view = ui->tableWidget_clientHistory](int width) {
                                    // The date on one line, in the font shown.
                                    const int date = view->fontMetrics().horizontalAdvance(
                                                         QStringLiteral("00.00.0000 00:00")) + 16;
                                    return ColumnWidths::historyList(width, date);
                                },
                                this);
    m_commit = [&session]() { session.saveOpenHistory(); };
    connect(m_list, &SearchableList::openRequested, this, &ClientTab::on_pushButton_history_edit_clicked);
    refill();
}

ClientTab::~ClientTab()
{
    delete ui;
}

QVBoxLayout *ClientTab::editorLayout() const
{
    return ui->verticalLayout_client_editor;
}

void ClientTab::enter()
{
    refill();
}

void ClientTab::leave()
{
    if (m_commit)
        m_commit();
    m_list->clearSearch();
}


void ClientTab::refill()
{
    m_list->refill();
    m_shownRevision = m_session.library().history().notes().revision();
}

void ClientTab::refresh()
{
    if (m_session.library().history().notes().revision() != m_shownRevision)
        refill();
}

void ClientTab::move(int step)
{
    if (m_session.moveRow(LibrarySession::HistoryList, step))
        refill();
}

void ClientTab::on_pushButton_history_delete_clicked()
{
    m_session.deleteHistoryEntry();
    refill();
}

void ClientTab::on_pushButton_history_new_clicked()
{
    Q_EMIT historyNewRequested(m_list->key());
}

void ClientTab::on_pushButton_history_edit_clicked()
{
    Q_EMIT historyEditRequested(m_list->key());
}

void ClientTab::on_pushButton_history_toWork_clicked()
{
    Q_EMIT historyRenewRequested(m_list->key());
}

void ClientTab::on_tableWidget_clientHistory_doubleClicked(const QModelIndex &)
{
    Q_EMIT historyEditRequested(m_list->key());
}
