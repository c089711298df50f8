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

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QTableWidget>

#include <algorithm>

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

QTableWidgetItem *cell(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

// Pools above this are the editor's "Not found" and "Duplicate" markers.
constexpr int lastRunnablePool = 9;

bool knownPool(const WorkLine &line)
{
    return line.pool >= PresetPool::Client && line.pool <= PresetPool::Legitimate;
}

} // namespace

WorkTab::WorkTab(QWidget *page, DeviceSlots &devices, Library &library, QObject *parent)
    : QObject(parent), m_devices(devices), m_library(library)
{
    buildWidgets(page);
    connect(m_start, &QPushButton::clicked, this, &WorkTab::on_pushButton_work_start_clicked);
    connect(m_stop, &QPushButton::clicked, this, &WorkTab::on_pushButton_work_stop_clicked);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &WorkTab::on_tableWidget_work_itemSelectionChanged);
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
    m_table = new QTableWidget(0, 7, list);
    m_table->setObjectName(QStringLiteral("tableWidget_work"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Selection"), QStringLiteral("Name"), QStringLiteral("Notes"),
                                        QStringLiteral("Frequency"), QStringLiteral("Time\n(min)"),
                                        QStringLiteral("Progress"), QStringLiteral("Sensor")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    auto *delegate = new ProgressBarDelegate(m_table);
    m_table->setItemDelegateForColumn(ColumnProgress, delegate);
    m_table->setItemDelegateForColumn(ColumnSensor, delegate);
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

    m_table->setRowCount(0);
    const QList<WorkLine> noLines;
    const QList<WorkLine> &lines = work ? work->records() : noLines;
    for (const WorkLine &line : lines) {
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        const bool known = knownPool(line);
        m_table->setItem(row, ColumnPool, cell(known ? PresetPool::word(line.pool) : QString()));
        m_table->setItem(row, ColumnName, cell(TextForm::versioned(line.name, line.version)));
        m_table->setItem(row, ColumnNote, cell(line.note));
        m_table->setItem(row, ColumnValue, cell(line.value));
        if (line.pool <= lastRunnablePool) {
            m_table->setItem(row, ColumnTime, cell(QString::number(line.time)));
            m_table->setItem(row, ColumnProgress, cell(QStringLiteral("0")));
            m_table->setItem(row, ColumnSensor, cell(QStringLiteral("0")));
        } else {
            m_table->setItem(row, ColumnTime, cell(QString()));
            m_table->setItem(row, ColumnProgress, cell(QStringLiteral("-1")));
            m_table->setItem(row, ColumnSensor, cell(QStringLiteral("-1")));
        }
    }
    if (m_selectedRow < m_table->rowCount())
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
    m_table->setColumnWidth(ColumnPool, 90);
    m_table->setColumnWidth(ColumnValue, 90);
    for (int column : {ColumnTime, ColumnProgress, ColumnSensor})
        m_table->setColumnWidth(column, 80);
    const int rest = qMax(0, header->width() - 90 - 90 - 3 * 80);
    const int noteWidth = qMax(300, rest / 2);
    m_table->setColumnWidth(ColumnNote, noteWidth);
    m_table->setColumnWidth(ColumnName, qMax(50, rest - noteWidth));

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
    if (!sequencer->isRunning() && cut.item >= 0 && cut.item < m_table->rowCount() && !m_cutShown) {
        // Which line the device cut short and how far it got stay in view
        // until the next start.
        for (int row = 0; row < m_table->rowCount() && row < sequencer->count(); ++row) {
            if (QTableWidgetItem *item = m_table->item(row, ColumnProgress))
                item->setText(QString::number(sequencer->progress(row)));
        }
        m_table->selectRow(cut.item);
        m_message->setText(QStringLiteral("Run ") + cut.text());
        m_cutShown = true;
    }
    // The time the run still has, and the clock time it will end; before
    // a start, the list's own total, never a countdown left from another
    // run.
    if (sequencer->isRunning()) {
        const qint64 seconds = (sequencer->remainingMs() + 999) / 1000;
        m_remainingTime->setText(StatusText::minutesSeconds(quint32(seconds)) + QStringLiteral("\nends ")
                                 + QTime::currentTime().addSecs(int(seconds)).toString(QStringLiteral("hh:mm")));
    } else if (const WorkList *work = m_devices.registry().work()) {
        m_remainingTime->setText(StatusText::minutesSeconds(quint32(RunRules::listSeconds(*work))));
    }
    if (sequencer->isRunning()) {
        for (int row = 0; row < m_table->rowCount() && row < sequencer->count(); ++row) {
            if (QTableWidgetItem *item = m_table->item(row, ColumnProgress))
                item->setText(QString::number(sequencer->progress(row)));
        }
        if (sequencer->currentItem() < m_table->rowCount())
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
