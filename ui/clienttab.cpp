#include "ui/clienttab.h"

#include "data/library.h"
#include "ui/columnwidths.h"
#include "ui/notescolordelegate.h"
#include "ui_clienttab.h"

#include <QHeaderView>

ClientTab::ClientTab(QWidget *page, LibrarySession &session)
    : LibraryListTab(page, session, LibrarySession::HistoryList), ui(new Ui::ClientTab)
{
    ui->setupUi(this);
    Library &library = session.library();
    auto *model = new HistoryListModel([&library]() -> Notes & { return library.history().notes(); },
                                       LibraryColumns::history(), this);
    ui->tableWidget_clientHistory->setItemDelegate(new notesColorDelegate(ui->tableWidget_clientHistory));
    // Every cell shows one line (a note's first): rows of one height need
    // no measuring of each entry, which a long history cannot afford at
    // every visit.
    ui->tableWidget_clientHistory->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    makeList({ui->lineEdit_history_search, ui->pushButton_history_clear, ui->tableWidget_clientHistory, model},
             [&library](const QString &text) { library.history().notes().setFilter(text); },
             [view = ui->tableWidget_clientHistory](int width) {
                 // The date on one line, in the font shown.
                 const int date = view->fontMetrics().horizontalAdvance(QStringLiteral("00.00.0000 00:00")) + 16;
                 return ColumnWidths::historyList(width, date);
             });
    addListActions(ui->tableWidget_clientHistory,
                   {ui->pushButton_history_new, ui->pushButton_history_edit, {ui->pushButton_history_toWork},
                    ui->pushButton_history_delete, ui->pushButton_history_moveUp, ui->pushButton_history_moveDown});
    m_commit = [&session]() { session.saveOpenHistory(); };
    connect(m_list, &SearchableList::openRequested, this, &ClientTab::on_pushButton_history_edit_clicked);
    refill();
}

ClientTab::~ClientTab()
{
    delete ui;
}

void ClientTab::addFields(QWidget *fields)
{
    ui->verticalLayout_client_editor->addWidget(fields);
    // The client's own fields come first on the keyboard, as on the screen:
    // the history's widgets are chained after the last of them.
    QWidget *previous = nullptr;
    for (QWidget *w = fields->nextInFocusChain(); fields->isAncestorOf(w); w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus)
            previous = w;
    }
    if (!previous)
        return;
    for (QWidget *next : {static_cast<QWidget *>(ui->lineEdit_history_search),
                          static_cast<QWidget *>(ui->pushButton_history_clear),
                          static_cast<QWidget *>(ui->tableWidget_clientHistory),
                          static_cast<QWidget *>(ui->pushButton_history_new),
                          static_cast<QWidget *>(ui->pushButton_history_edit),
                          static_cast<QWidget *>(ui->pushButton_history_delete),
                          static_cast<QWidget *>(ui->pushButton_history_moveUp),
                          static_cast<QWidget *>(ui->pushButton_history_moveDown),
                          static_cast<QWidget *>(ui->pushButton_history_toWork)}) {
        QWidget::setTabOrder(previous, next);
        previous = next;
    }
}

void ClientTab::leave()
{
    if (m_commit)
        m_commit();
    clearSearch();
}

void ClientTab::refilled()
{
    m_shownRevision = m_session.library().history().notes().revision();
}

void ClientTab::refresh()
{
    if (m_session.library().history().notes().revision() != m_shownRevision)
        refill();
}
