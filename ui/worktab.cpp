#include "ui/worktab.h"

#include "data/library.h"
#include "data/textforms.h"
#include "device/statustext.h"
#include "device/tavik.h"
#include "work/deviceslots.h"
#include "editors/clienthistory.h"
#include "ui/progressbardelegate.h"
#include "work/runrules.h"
#include "work/sequencer.h"
#include "data/worklist.h"
#include "work/worktablemodel.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QItemSelectionModel>
#include <QTableView>

namespace {

QLabel *labelIn(QWidget *page, QBoxLayout *row, const QString &title, const char *objectName)
{
    auto *group = new QGroupBox(title, page);
    auto *layout = new QVBoxLayout(group);
    auto *label = new QLabel(QStringLiteral("--"), group);
    label->setObjectName(QLatin1String(objectName));
    layout->addWidget(label);
    row->addWidget(group);
    return label;
}

} // namespace

WorkTab::WorkTab(QWidget *page, DeviceSlots &devices, Library &library, QObject *parent)
    : QObject(parent), m_devices(devices), m_library(library)
{
    buildWidgets(page);
    connect(m_start, &QPushButton::clicked, this, &WorkTab::on_pushButton_work_start_clicked);
    connect(m_stop, &QPushButton::clicked, this, &WorkTab::on_pushButton_work_stop_clicked);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &WorkTab::on_tableWidget_work_itemSelectionChanged);
    fillWorkTable();
}

void WorkTab::buildWidgets(QWidget *page)
{
    QLayout *pageLayout = page->layout();
    if (!pageLayout)
        pageLayout = new QVBoxLayout(page);

    auto *top = new QHBoxLayout;
    auto *program = new QGroupBox(QStringLiteral("Program "), page);
    auto *programRow = new QHBoxLayout(program);
    m_pool = labelIn(program, programRow, QStringLiteral("Selection"), "label_workSelectionDB");
    m_programName = labelIn(program, programRow, QStringLiteral("Name"), "label_programName");
    m_programNotes = labelIn(program, programRow, QStringLiteral("Notes"), "label_programNotes");
    top->addWidget(program, 3);

    auto *transmit = new QGroupBox(QStringLiteral("Transmit"), page);
    auto *transmitRow = new QHBoxLayout(transmit);
    m_start = new QPushButton(QStringLiteral("\nStart\n"), transmit);
    m_start->setObjectName(QStringLiteral("pushButton_work_start"));
    m_stop = new QPushButton(QStringLiteral("\nStop\n"), transmit);
    m_stop->setObjectName(QStringLiteral("pushButton_work_stop"));
    transmitRow->addWidget(m_start);
    transmitRow->addWidget(m_stop);
    top->addWidget(transmit, 1);

    m_totalTime = labelIn(page, top, QStringLiteral("Total time"), "label_work_totalTime");
    m_remainingTime = labelIn(page, top, QStringLiteral("Remaining Time"), "label_work_remainingTime");
    static_cast<QBoxLayout *>(pageLayout)->addLayout(top);

    // Why Start is refused, when it is: said in the tab, not in a dialog.
    m_message = new QLabel(page);
    m_message->setObjectName(QStringLiteral("label_work_message"));
    m_message->setWordWrap(true);
    pageLayout->addWidget(m_message);

    auto *list = new QGroupBox(QStringLiteral("Work preset list"), page);
    auto *listLayout = new QVBoxLayout(list);
    m_model = new WorkTableModel(this);
    m_table = new QTableView(list);
    m_table->setObjectName(QStringLiteral("tableWidget_work"));
    m_table->setModel(m_model);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    auto *delegate = new ProgressBarDelegate(m_table);
    m_table->setItemDelegateForColumn(WorkTableModel::ColumnProgress, delegate);
    m_table->setItemDelegateForColumn(WorkTableModel::ColumnSensor, delegate);
    listLayout->addWidget(m_table);
    pageLayout->addWidget(list);
}

void WorkTab::leave()
{
    // Every device's work list lives in its registry record.
    m_devices.registry().saveBase();
}

void WorkTab::clearLabels()
{
    for (QLabel *label : {m_pool, m_programName, m_programNotes, m_totalTime, m_remainingTime})
        label->setText(QStringLiteral("--"));
}

void WorkTab::fillWorkTable()
{
    WorkList *work = m_devices.selectCurrent() ? m_devices.registry().work() : nullptr;
    m_shownInstance = work ? m_devices.selectedInstance() : 0;
    if (work) {
        m_pool->setText(PresetPool::word(work->pool));
        m_programName->setText(TextForm::versioned(work->programName, work->programVersion));
        m_programNotes->setText(work->programNotes);
    } else {
        clearLabels();
    }

    m_model->fill(work);
    if (m_selectedRow < m_model->rowCount())
        m_table->selectRow(m_selectedRow);

    if (work) {
        work->totalTime = int(RunRules::listSeconds(*work) / 60);
        m_totalTime->setText(QString::number(work->totalTime));
    }
    m_message->clear();
    m_cutShown = false;
}

void WorkTab::refreshWorkTab()
{
    QHeaderView *header = m_table->horizontalHeader();
    m_table->setColumnWidth(WorkTableModel::ColumnPool, 90);
    m_table->setColumnWidth(WorkTableModel::ColumnValue, 90);
    for (int column : {WorkTableModel::ColumnTime, WorkTableModel::ColumnProgress, WorkTableModel::ColumnSensor})
        m_table->setColumnWidth(column, 80);
    const int rest = qMax(0, header->width() - 90 - 90 - 3 * 80);
    const int noteWidth = qMax(300, rest / 2);
    m_table->setColumnWidth(WorkTableModel::ColumnNote, noteWidth);
    m_table->setColumnWidth(WorkTableModel::ColumnName, qMax(50, rest - noteWidth));

    // The table shows one device's list; when that device is no longer the
    // picked one (it left the registry), the tab follows.
    const quint64 picked = m_devices.selectedRow() >= 0 ? m_devices.selectedInstance() : 0;
    if (picked != m_shownInstance)
        fillWorkTable();

    Sequencer *sequencer = m_devices.selectedSequencer();
    if (m_devices.registry().count() == 0 || !sequencer) {
        m_start->setEnabled(false);
        m_stop->setEnabled(false);
        return;
    }
    const CutShort &cut = sequencer->cutShort();
    if (!sequencer->isRunning() && cut.item >= 0 && cut.item < m_model->rowCount() && !m_cutShown) {
        // Which line the device cut short and how far it got stay in view
        // until the next start.
        m_model->showProgress(*sequencer);
        m_table->selectRow(cut.item);
        m_message->setText(QStringLiteral("Run ") + cut.text());
        m_cutShown = true;
    }
    // The time the run still has, and the clock time it will end; before
    // a start, the list's own total, never a countdown left from another
    // run.
    // Until the device is on air nobody knows how long its warm-up takes,
    // and the run's end is not given.
    if (sequencer->isRunning()) {
        const qint64 seconds = (sequencer->remainingMs() + 999) / 1000;
        const bool onAir = sequencer->state() != Sequencer::S_START_TRANSMIT
            && sequencer->state() != Sequencer::S_WAIT_RF_READY;
        m_remainingTime->setText(StatusText::minutesSeconds(quint32(seconds))
                                 + (onAir ? QStringLiteral("\nends ")
                                                + QTime::currentTime().addSecs(int(seconds)).toString(QStringLiteral("hh:mm"))
                                          : QStringLiteral("\nafter the warm-up")));
    } else if (const WorkList *work = m_devices.registry().work()) {
        m_remainingTime->setText(StatusText::minutesSeconds(quint32(RunRules::listSeconds(*work))));
    }
    if (sequencer->isRunning()) {
        m_model->showProgress(*sequencer);
        if (sequencer->currentItem() < m_model->rowCount())
            m_table->selectRow(sequencer->currentItem());
        m_start->setEnabled(false);
        m_stop->setEnabled(true);
        return;
    }
    m_start->setEnabled(ClientHistory::startOutcome(m_devices) == RunRules::Outcome::Ready);
    // Stop is for a run going on; the device may still be stopping one.
    const Tavik *tavik = m_devices.selectedController();
    m_stop->setEnabled(tavik && tavik->hasRun());
}

void WorkTab::on_tableWidget_work_itemSelectionChanged()
{
    const QModelIndexList selected = m_table->selectionModel()->selectedIndexes();
    m_selectedRow = selected.isEmpty() ? 0 : selected.first().row();
}

void WorkTab::on_pushButton_work_start_clicked()
{
    QString notice;
    const RunRules::Outcome outcome = ClientHistory::startRun(m_library, m_devices, notice);
    if (outcome != RunRules::Outcome::Ready) {
        m_message->setText(RunRules::text(outcome, m_devices.registry().work()));
        return;
    }
    m_message->clear();
    m_cutShown = false;
    if (!notice.isEmpty())
        Q_EMIT noticeRequested(notice);
}

void WorkTab::on_pushButton_work_stop_clicked()
{
    if (Sequencer *sequencer = m_devices.selectedSequencer())
        sequencer->stop();
}
