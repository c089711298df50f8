#include "ui/worktab.h"

#include "data/library.h"
#include "data/settings.h"
#include "data/textforms.h"
#include "device/statustext.h"
#include "device/tavik.h"
#include "work/deviceslots.h"
#include "ui/celltips.h"
#include "ui/columnwidths.h"
#include "ui/listkeys.h"
#include "ui/elidedlabel.h"
#include "ui/progressbardelegate.h"
#include "work/runrecord.h"
#include "work/runrules.h"
#include "work/runstart.h"
#include "work/sequencer.h"
#include "data/worklist.h"
#include "editors/worktablemodel.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>

namespace {

ElidedLabel *labelIn(QWidget *page, QBoxLayout *row, const QString &title, const char *objectName)
{
    auto *group = new QGroupBox(title, page);
    auto *layout = new QVBoxLayout(group);
    auto *label = new ElidedLabel(QStringLiteral("--"), group);
    label->setObjectName(QLatin1String(objectName));
    layout->addWidget(label);
    row->addWidget(group);
    return label;
}

// A line that cannot go on air stands out in the list, in colours that
// read on any palette.
class ProblemLineDelegate : public CellDelegate
{
public:
    using CellDelegate::CellDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        CellDelegate::initStyleOption(option, index);
        if (index.data(WorkTableModel::ProblemRole).toString().isEmpty())
            return;
        option->backgroundBrush = QColor(255, 200, 200);
        option->palette.setColor(QPalette::Text, Qt::black);
        option->palette.setColor(QPalette::HighlightedText, Qt::white);
        option->palette.setColor(QPalette::Highlight, QColor(170, 0, 0));
    }
};

// The one button reads Pause or Resume.
QString pauseTip(bool paused)
{
    return paused ? QObject::tr("Resume the paused run: the device warms up and the paused line goes on for the time "
                                "it had left (F7 on this tab)")
                  : QObject::tr("Pause the selected device's run: off air at once, its place kept; Resume goes on "
                                "from there (F7 on this tab)");
}

QTabWidget *tabWidgetAbove(QWidget *widget)
{
    for (QWidget *parent = widget->parentWidget(); parent; parent = parent->parentWidget()) {
        if (auto *tabs = qobject_cast<QTabWidget *>(parent))
            return tabs;
    }
    return nullptr;
}

} // namespace

WorkTab::WorkTab(QWidget *page, DeviceSlots &devices, RunRecorder &runs, Library &library, Settings &settings,
                 QObject *parent)
    : QObject(parent), m_devices(devices), m_runs(runs), m_library(library), m_settings(settings)
{
    buildWidgets(page);
    connect(m_start, &QPushButton::clicked, this, &WorkTab::on_pushButton_work_start_clicked);
    connect(m_stop, &QPushButton::clicked, this, &WorkTab::on_pushButton_work_stop_clicked);
    connect(m_pause, &QPushButton::clicked, this, &WorkTab::on_pushButton_work_pause_clicked);
    connect(m_resumeFrom, &QPushButton::clicked, this, &WorkTab::on_pushButton_work_resumeFrom_clicked);
    m_pauseLimit->setValue(m_settings.pauseLimitMinutes());
    // The spin box is the tab's own child and goes with the tab's page;
    // the settings and the slots outlive both.
    connect(m_pauseLimit, &QSpinBox::valueChanged, this, [this](int minutes) {
        m_settings.setPauseLimitMinutes(minutes);
        m_devices.setPauseLimitMinutes(m_settings.pauseLimitMinutes());
    });
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
    m_client = labelIn(program, programRow, QStringLiteral("Recorded for"), "label_work_client");
    m_programNotes->setMaximumLines(2);
    top->addWidget(program, 3);

    auto *transmit = new QGroupBox(QStringLiteral("Transmit"), page);
    auto *transmitRow = new QHBoxLayout(transmit);
    m_start = new QPushButton(QStringLiteral("\nStart\n"), transmit);
    m_start->setObjectName(QStringLiteral("pushButton_work_start"));
    m_stop = new QPushButton(QStringLiteral("\nStop\n"), transmit);
    m_stop->setObjectName(QStringLiteral("pushButton_work_stop"));
    // The operator must reach Stop without a mouse while a device is on air:
    // Stop and Stop-all answer on every tab, Start only where its list shows.
    m_start->setShortcut(QKeySequence(Qt::Key_F5));
    m_start->setToolTip(tr("Start the work list on the selected device (F5)"));
    m_stop->setToolTip(tr("Stop the selected device's run (F6, on every tab); Shift+F6 stops every device"));
    m_pause = new QPushButton(QStringLiteral("\nPause\n"), transmit);
    m_pause->setObjectName(QStringLiteral("pushButton_work_pause"));
    m_pause->setShortcut(QKeySequence(Qt::Key_F7));
    m_pause->setToolTip(pauseTip(false));
    m_pause->setEnabled(false);
    m_pauseLimit = new QSpinBox(transmit);
    m_pauseLimit->setObjectName(QStringLiteral("spinBox_work_pauseLimit"));
    m_pauseLimit->setRange(1, Settings::longestPauseLimit);
    m_pauseLimit->setSuffix(tr(" min"));
    m_pauseLimit->setToolTip(tr("A run paused longer than this ends, cut short where it paused"));
    m_resumeFrom = new QPushButton(transmit);
    m_resumeFrom->setObjectName(QStringLiteral("pushButton_work_resumeFrom"));
    m_resumeFrom->setToolTip(tr("Go on with the last run where it was cut short, recorded as the same run (F8 on "
                                "this tab)"));
    m_resumeFrom->hide();
    // The limit goes under the buttons, and Resume from line N beside the
    // message of the cut it resumes, so that the tab fits a 1024 px screen
    // whatever the message says.
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    buttons->addWidget(m_start);
    buttons->addWidget(m_pause);
    buttons->addWidget(m_stop);
    auto *below = new QHBoxLayout;
    below->addWidget(new QLabel(tr("Pause limit"), transmit));
    below->addWidget(m_pauseLimit);
    below->addStretch();
    auto *column = new QVBoxLayout;
    column->addLayout(buttons);
    column->addLayout(below);
    transmitRow->addLayout(column);
    top->addWidget(transmit, 1);

    // The two times one above the other: side by side, their titles alone
    // push the row past 1024 px in a font wider than Arial.
    auto *times = new QVBoxLayout;
    m_totalTime = labelIn(page, times, QStringLiteral("Total time"), "label_work_totalTime");
    m_remainingTime = labelIn(page, times, QStringLiteral("Remaining Time"), "label_work_remainingTime");
    m_remainingTime->setMaximumLines(2);  // the time left, then the clock time it ends
    top->addLayout(times);
    static_cast<QBoxLayout *>(pageLayout)->addLayout(top);

    // Why Start is refused, when it is: said in the tab, not in a dialog.
    m_message = new QLabel(page);
    m_message->setObjectName(QStringLiteral("label_work_message"));
    m_message->setWordWrap(true);
    auto *messageRow = new QHBoxLayout;
    messageRow->addWidget(m_message, 1);
    messageRow->addWidget(m_resumeFrom);
    static_cast<QBoxLayout *>(pageLayout)->addLayout(messageRow);
    // The keys go as the buttons read: Start, Pause, Stop, then the limit.
    QWidget::setTabOrder(m_start, m_pause);
    QWidget::setTabOrder(m_pause, m_stop);
    QWidget::setTabOrder(m_stop, m_pauseLimit);
    QWidget::setTabOrder(m_pauseLimit, m_resumeFrom);

    auto *list = new QGroupBox(QStringLiteral("Work preset list"), page);
    auto *listLayout = new QVBoxLayout(list);
    m_model = new WorkTableModel(this);
    m_table = new QTableView(list);
    m_table->setObjectName(QStringLiteral("tableWidget_work"));
    m_table->setModel(m_model);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setItemDelegate(new ProblemLineDelegate(m_table));
    new ColumnFit(m_table, [](int width) {
        const int rest = qMax(0, width - 90 - 90 - 3 * 80);
        const int note = qMax(300, rest / 2);
        return QList<int> {90, qMax(50, rest - note), note, 90, 80, 80, 80};
    });
    auto *delegate = new ProgressBarDelegate(m_table);
    m_table->setItemDelegateForColumn(WorkTableModel::ColumnProgress, delegate);
    m_table->setItemDelegateForColumn(WorkTableModel::ColumnSensor, delegate);
    m_table->setWordWrap(false);
    CellTips::install(m_table);
    ListKeys::focusOnlyWhenFilled(m_table);
    listLayout->addWidget(m_table);
    pageLayout->addWidget(list);
}

void WorkTab::enter()
{
    fillWorkTable();
    refreshWorkTab();
    // Entering the tab left the focus on the first widget that takes it,
    // the list, where the arrow keys would only move a selection; Stop or
    // Start is what the operator comes here for.
    if (!m_table->hasFocus())
        return;
    if (m_stop->isEnabled())
        m_stop->setFocus(Qt::OtherFocusReason);
    else if (m_start->isEnabled())
        m_start->setFocus(Qt::OtherFocusReason);
    else if (QTabWidget *tabs = tabWidgetAbove(m_table))
        tabs->setFocus(Qt::OtherFocusReason);
}

void WorkTab::stopEveryDevice()
{
    for (int slot = 0; slot < DeviceSlots::count; ++slot)
        m_devices.sequencer(slot).stop();
}

void WorkTab::leave()
{
    // Every device's work list lives in its registry record.
    m_devices.registry().saveBeside();
}

void WorkTab::clearLabels()
{
    for (ElidedLabel *label : {m_pool, m_programName, m_programNotes, m_totalTime, m_remainingTime})
        label->setText(QStringLiteral("--"));
}

void WorkTab::fillWorkTable()
{
    const WorkList *work = std::as_const(m_devices).selectedWork();
    m_shownKey = work ? m_devices.selectedKey() : 0;
    if (work) {
        m_pool->setText(PresetPool::word(work->pool));
        // A list that came from no program (a new device's, or lines sent
        // one by one) names none.
        m_programName->setText(work->programName.isEmpty()
                                   ? QStringLiteral("--")
                                   : TextForm::versioned(work->programName, work->programVersion));
        m_programNotes->setText(work->programNotes);
    } else {
        clearLabels();
    }

    m_model->fill(work);
    if (m_selectedRow < m_model->rowCount())
        m_table->selectRow(m_selectedRow);

    if (work) {
        // The header keeps the total as the table adds it up; filling the
        // table again with the same total changes nothing in the registry.
        const int total = int(RunRules::listSeconds(*work) / 60);
        if (work->totalTime != total)
            m_devices.selectedWork()->totalTime = total;
        m_totalTime->setText(QString::number(total));
    }
    m_message->clear();
    m_lastRunShown = false;
}

void WorkTab::refreshWorkTab()
{
    // A button disabled as a run ends or a slow device at last goes off
    // air hands its focus on down the row: not into the limit, where a
    // stray digit would change it; to the list while the device is not
    // ready for another start.
    const bool rowHadFocus = m_start->hasFocus() || m_pause->hasFocus() || m_stop->hasFocus() || m_resumeFrom->hasFocus();
    showRunControls();
    if (rowHadFocus && m_pauseLimit->hasFocus()) {
        QWidget *next = m_resumeFrom->isVisible() && m_resumeFrom->isEnabled() ? static_cast<QWidget *>(m_resumeFrom)
            : m_start->isEnabled()                                           ? static_cast<QWidget *>(m_start)
                                                                             : m_table;
        next->setFocus(Qt::OtherFocusReason);
    }
}

void WorkTab::showRunControls()
{
    // Start records the run in the open client's history: the operator
    // sees whose before starting, and while it runs whose history holds it,
    // although another client may have been opened since.
    const Sequencer *shownSequencer = m_devices.selectedSequencer();
    const Tavik *shownDevice = m_devices.selectedController();
    bool none = !m_library.hasOpenClient();
    QString client = m_library.openClientName();
    const RunRecord *last = m_runs.selectedRecord();
    if (shownSequencer && (!shownSequencer->canStart() || shownDevice->hasRun())) {
        const QString file = last ? QFileInfo(last->historyPath).completeBaseName() : QString();
        none = file.isEmpty();
        client = m_library.clientName(file);
        if (!none && client.isEmpty())
            client = QStringLiteral("a deleted client, whose history file keeps the run");
    }
    m_client->setText(none ? QStringLiteral("no client: recorded in no history") : client);

    // The table shows one device's list; when that device is no longer the
    // picked one (it left the registry), the tab follows.
    const quint64 picked = m_devices.selectedRow() >= 0 ? m_devices.selectedKey() : 0;
    if (picked != m_shownKey)
        fillWorkTable();

    Sequencer *sequencer = m_devices.selectedSequencer();
    if (m_devices.registry().count() == 0 || !sequencer) {
        m_start->setEnabled(false);
        m_stop->setEnabled(false);
        m_pause->setEnabled(false);
        m_resumeFrom->hide();
        return;
    }
    showPause(*sequencer);
    if (!sequencer->isRunning())
        showLastRun();
    // The time the run still has, and the clock time it will end; before
    // a start, the list's own total, never a countdown left from another
    // run.
    // Until the device is on air nobody knows how long its warm-up takes,
    // and the run's end is not given.
    if (sequencer->isRunning()) {
        const qint64 seconds = (sequencer->remainingMs() + 999) / 1000;
        const bool onAir = sequencer->state() == Sequencer::S_SEND_LF;
        m_remainingTime->setText(StatusText::minutesSeconds(quint32(seconds))
                                 + (sequencer->isPaused() ? QStringLiteral("\npaused")
                                    : onAir ? QStringLiteral("\nends ")
                                                  + QTime::currentTime().addSecs(int(seconds)).toString(QStringLiteral("hh:mm"))
                                            : QStringLiteral("\nwarming up")));
    } else if (const WorkList *work = m_devices.selectedWork()) {
        // While a cut run's resume is offered, what it would send.
        const qint64 resumeMs = m_runs.resumableMs();
        m_remainingTime->setText(StatusText::minutesSeconds(
            quint32(resumeMs >= 0 ? (resumeMs + 999) / 1000 : RunRules::listSeconds(*work))));
    }
    if (sequencer->isRunning()) {
        m_model->showProgress(*sequencer);
        if (sequencer->currentItem() < m_model->rowCount())
            m_table->selectRow(sequencer->currentItem());
        m_resumeFrom->hide();
        showRunning();
        return;
    }
    // A disabled Start says why; a cut-short run's message stays until the
    // next start.
    const RunRules::Outcome outcome = RunStart::outcome(m_devices);
    // A device slow to obey the stop is still on air: the run's end is
    // recorded once it is off (in seconds), and a start waits for that.
    const RunRecord *shownRun = m_runs.selectedRecord();
    const bool ending = m_runs.stillEnding();
    m_start->setEnabled(outcome == RunRules::Outcome::Ready && !ending);
    // Offered while the list is the one the cut run ran.
    const int resumable = m_runs.resumableLine();
    const QString resumeText = QStringLiteral("\nResume from line %1\n").arg(resumable + 1);
    if (m_resumeFrom->text() != resumeText) {
        m_resumeFrom->setText(resumeText);
        // A button's new text takes its shortcut for the text's mnemonic.
        m_resumeFrom->setShortcut(QKeySequence(Qt::Key_F8));
    }
    m_resumeFrom->setVisible(resumable >= 0);
    m_resumeFrom->setEnabled(resumable >= 0 && outcome == RunRules::Outcome::Ready && !ending);
    if (ending)
        m_message->setText(QStringLiteral("Run stopped: the device is going off air. What it sent is recorded once it "
                                          "is off."));
    else if (!m_lastRunShown || !shownRun || shownRun->complete)
        m_message->setText(RunRules::text(outcome, m_devices.selectedWork()));
    // Stop is for a run going on; the device may still be stopping one.
    const Tavik *tavik = m_devices.selectedController();
    m_stop->setEnabled(tavik && tavik->hasRun());
}

void WorkTab::showLastRun()
{
    // Which line the device cut short and how far it got, or the full bars
    // of a complete run, stay in view until the next start, and come back
    // whenever the tab shows that list again; a word the device gave on
    // the end later is shown when it comes.
    const RunRecord *last = m_runs.selectedRecord();
    const WorkList *work = m_devices.selectedWork();
    // An end waiting for the device's word is shown with it.
    if (!last || !last->ended || last->endOwed || !work || (m_lastRunShown && m_shownRevision == last->revision))
        return;
    if (!last->ran(RunRecord::linesOf(*work)))
        return;
    QList<int> progress;
    for (const RunRecord::Line &line : last->lines)
        progress.append(line.progress);
    m_model->showProgress(progress);
    if (!last->complete) {
        if (last->cut.item >= 0 && last->cut.item < m_model->rowCount())
            m_table->selectRow(last->cut.item);
        m_message->setText(QStringLiteral("Run ") + last->endText());
    }
    m_lastRunShown = true;
    m_shownRevision = last->revision;
}

void WorkTab::on_tableWidget_work_itemSelectionChanged()
{
    const QModelIndexList selected = m_table->selectionModel()->selectedIndexes();
    m_selectedRow = selected.isEmpty() ? 0 : selected.first().row();
}

void WorkTab::on_pushButton_work_start_clicked()
{
    QString notice;
    const RunRules::Outcome outcome = m_runs.start(notice);
    showStarted(outcome, notice);
}

void WorkTab::showStarted(RunRules::Outcome outcome, const QString &notice)
{
    if (outcome != RunRules::Outcome::Ready) {
        m_message->setText(RunRules::text(outcome, m_devices.selectedWork()));
        return;
    }
    m_message->clear();
    m_lastRunShown = false;
    m_resumeFrom->hide();
    showRunning();
    // Whether started by F5, Space or a click, the next key can stop it.
    m_stop->setFocus(Qt::OtherFocusReason);
    if (!notice.isEmpty())
        Q_EMIT noticeRequested(notice);
}

void WorkTab::showRunning()
{
    // Stop is enabled before Start is disabled: a disabled button hands its
    // focus to the next one that takes it, and that must be Stop.
    m_stop->setEnabled(true);
    m_start->setEnabled(false);
}

void WorkTab::showPause(const Sequencer &sequencer)
{
    const Tavik *tavik = m_devices.selectedController();
    const bool paused = sequencer.isPaused();
    const QString text = paused ? QStringLiteral("\nResume\n") : QStringLiteral("\nPause\n");
    if (m_pause->text() != text) {
        m_pause->setText(text);
        // A button's new text takes its shortcut for the text's mnemonic.
        m_pause->setShortcut(QKeySequence(Qt::Key_F7));
        m_pause->setToolTip(pauseTip(paused));
    }
    // Resume puts the device on air again: only on a device that answers.
    const bool linked = tavik && tavik->isLinkUp() && tavik->isConnected();
    const bool pausable = sequencer.isRunning()
        && (sequencer.state() == Sequencer::S_WAIT_RF_READY || sequencer.state() == Sequencer::S_SEND_LF);
    m_pause->setEnabled(paused ? sequencer.mayResume() : pausable);
    if (!paused) {
        if (std::exchange(m_pauseShown, false))
            m_message->clear();
        return;
    }
    const int line = sequencer.currentItem();
    const QString title = line < sequencer.count() ? sequencer.item(line).title : QString();
    // A device slow to obey the stop is still on air for a while.
    const bool offAir = (!tavik || !tavik->showsOnAir()) && (!linked || sequencer.mayResume());
    m_message->setText(QStringLiteral("Paused for %1 at line %2 (%3); %4. %5 The run ends by itself after %6 min "
                                      "paused.")
                           .arg(StatusText::minutesSeconds(quint32(sequencer.pausedForMs() / 1000)))
                           .arg(line + 1)
                           .arg(title,
                                offAir ? QStringLiteral("the device is off air")
                                       : QStringLiteral("the device is going off air"),
                                !linked ? QStringLiteral("The device is not connected: Resume waits for it.")
                                : sequencer.mayResume() ? QStringLiteral("Resume goes on from there.")
                                                        : QStringLiteral("Resume waits until it is off."))
                           .arg(sequencer.pauseLimitMinutes()));
    m_pauseShown = true;
}

void WorkTab::on_pushButton_work_pause_clicked()
{
    Sequencer *sequencer = m_devices.selectedSequencer();
    if (!sequencer)
        return;
    if (sequencer->isPaused()) {
        sequencer->resume();
    } else {
        sequencer->pause();
    }
    showPause(*sequencer);
    // Whether paused or resumed by F7, Space or a click, the next key can
    // undo it, and Stop is one Tab away.
    if (m_pause->isEnabled())
        m_pause->setFocus(Qt::OtherFocusReason);
}

void WorkTab::on_pushButton_work_resumeFrom_clicked()
{
    QString notice;
    const RunRules::Outcome outcome = m_runs.resumeCut(notice);
    showStarted(outcome, notice);
}

void WorkTab::on_pushButton_work_stop_clicked()
{
    if (Sequencer *sequencer = m_devices.selectedSequencer())
        sequencer->stop();
}
