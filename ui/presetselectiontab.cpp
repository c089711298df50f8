#include "ui/presetselectiontab.h"

#include "data/library.h"
#include "ui/columnwidths.h"
#include "ui_presetselectiontab.h"

#include <QHeaderView>
#include <QTimer>

#include <utility>

PresetSelectionTab::PresetSelectionTab(QWidget *page, LibrarySession &session)
    : LibraryListTab(page, session, LibrarySession::PresetList), ui(new Ui::PresetSelectionTab)
{
    ui->setupUi(this);
    m_model = new PresetListModel([&session]() -> Presets & { return session.presetListStore(); },
                                  LibraryColumns::presets(), this);
    QHeaderView *rows = ui->tableWidget_presetSelection->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(LibraryColumns::presetRowHeight);
    makeList({ui->lineEdit_presetSelection_search, ui->pushButton_presetSelection_clear, ui->tableWidget_presetSelection,
              m_model},
             [&session](const QString &text) { session.presetListStore().setFilter(text); }, ColumnWidths::presetList);
    m_list->logSearches(QString());
    // Two lines a row: a long name wraps before it is cut.
    ui->tableWidget_presetSelection->setWordWrap(true);
    addListActions(ui->tableWidget_presetSelection,
                   {ui->pushButton_presetSelection_new, ui->pushButton_presetSelection_edit,
                    {ui->pushButton_presetSelection_toProgram}, ui->pushButton_presetSelection_delete,
                    ui->pushButton_presetSelection_moveUp, ui->pushButton_presetSelection_moveDown});
    m_searchHint = ui->lineEdit_presetSelection_search->placeholderText();
    connect(m_list, &SearchableList::openRequested, this, &PresetSelectionTab::on_pushButton_presetSelection_edit_clicked);
    connect(m_list, &SearchableList::pickChanged, this, &PresetSelectionTab::updateButtons);
    // The list is filled when the tab is entered: a pool may still be read
    // beside the window while it is built.
    showPoolButton();
}

PresetSelectionTab::~PresetSelectionTab()
{
    delete ui;
}

void PresetSelectionTab::enter()
{
    showPoolButton();
    if (shownPoolArriving()) {
        showArriving();
        return;
    }
    if (std::exchange(m_arriving, false)) {
        ui->lineEdit_presetSelection_search->setEnabled(true);
        ui->lineEdit_presetSelection_search->setPlaceholderText(m_searchHint);
        m_list->reapplySearch();
    }
    updateButtons();
    refill();
    prepareSearchSoon();
}

bool PresetSelectionTab::shownPoolArriving()
{
    return m_session.presetPool() != PresetPool::Client && !m_session.library().poolsInPlace();
}

void PresetSelectionTab::showArriving()
{
    m_arriving = true;
    m_model->clear();
    ui->lineEdit_presetSelection_search->setEnabled(false);
    ui->lineEdit_presetSelection_search->setPlaceholderText(tr("Reading the presets..."));
    for (QWidget *button : {ui->pushButton_presetSelection_new, ui->pushButton_presetSelection_delete,
                            ui->pushButton_presetSelection_moveUp, ui->pushButton_presetSelection_moveDown,
                            ui->pushButton_presetSelection_edit, ui->pushButton_presetSelection_toProgram})
        button->setEnabled(false);
}

void PresetSelectionTab::prepareSearchSoon()
{
    // Folding 100,000 names takes longer than a frame: it is begun once the
    // list is painted, before the user has reached the search field, and
    // done on a worker thread when there are many.
    QTimer::singleShot(0, this, [this]() {
        // The pool may have been switched to one still being read meanwhile.
        if (!shownPoolArriving())
            m_session.presetListStore().prepareSearch();
    });
}

void PresetSelectionTab::leave()
{
    // A pool still arriving has nothing to write, and no search to clear.
    if (m_arriving)
        return;
    m_session.savePresetList();
    clearSearch();
}

void PresetSelectionTab::refresh()
{
    if (m_arriving) {
        if (!shownPoolArriving())
            enter();
        return;
    }
    // Keys made beside the window (Latin spellings of other scripts) may
    // add rows to a search already shown.
    Presets &store = m_session.presetListStore();
    if (store.prepareSearch() && store.filterActive())
        m_list->refill();
    updateButtons();
}

void PresetSelectionTab::refilled()
{
    updateButtons();
}

void PresetSelectionTab::updateButtons()
{
    const int pool = m_session.presetPool();
    const bool noClient = pool == PresetPool::Client && !m_session.clientOpen();
    const bool changeable = pool != PresetPool::Legitimate && !noClient;
    // What acts on the picked preset waits for one to be picked.
    ui->pushButton_presetSelection_new->setEnabled(changeable);
    for (QWidget *button : {ui->pushButton_presetSelection_delete, ui->pushButton_presetSelection_moveUp,
                            ui->pushButton_presetSelection_moveDown})
        button->setEnabled(changeable && picked());
    ui->pushButton_presetSelection_edit->setEnabled(!noClient && picked());
    ui->pushButton_presetSelection_toProgram->setEnabled(m_session.programOpen() && !noClient && picked());
}

void PresetSelectionTab::showPoolButton()
{
    m_radioGuard = true;
    switch (m_session.presetPool()) {
    case PresetPool::Legitimate: ui->radioButton_presetGenuine->setChecked(true); break;
    case PresetPool::General: ui->radioButton_presetGeneral->setChecked(true); break;
    default: ui->radioButton_presetClient->setChecked(true); break;
    }
    m_radioGuard = false;
}

void PresetSelectionTab::switchPool(int pool)
{
    if (m_radioGuard)
        return;
    m_session.switchPresetPool(pool);
    showPoolButton();
    if (shownPoolArriving()) {
        showArriving();
        return;
    }
    if (m_arriving) {
        enter();
        return;
    }
    // The field keeps its text: the pool now shown is searched for it too.
    m_list->reapplySearch();
    updateButtons();
    refill();
    prepareSearchSoon();
}

void PresetSelectionTab::on_pushButton_presetSelection_new_clicked()
{
    Q_EMIT presetNewRequested(m_session.presetPool(), pickedKey());
}

void PresetSelectionTab::on_pushButton_presetSelection_edit_clicked()
{
    Q_EMIT presetOpenRequested(m_session.presetPool(), pickedKey());
}

void PresetSelectionTab::on_pushButton_presetSelection_toProgram_clicked()
{
    Q_EMIT presetAddToProgramRequested(m_session.presetPool(), pickedKey());
}

void PresetSelectionTab::on_tableWidget_presetSelection_doubleClicked(const QModelIndex &index)
{
    switch (index.column()) {
    case LibraryColumns::PresetName:
    case LibraryColumns::PresetVersion:
        if (m_session.programOpen())
            Q_EMIT presetAddToProgramRequested(m_session.presetPool(), pickedKey());
        break;
    case LibraryColumns::PresetFrequency:
    case LibraryColumns::PresetTime:
        Q_EMIT presetOpenRequested(m_session.presetPool(), pickedKey());
        break;
    default:
        break;
    }
}
