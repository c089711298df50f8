#include "app/mainwindow.h"

#include "app/aboutdialog.h"
#include "app/appicon.h"
#include "app/infobar.h"
#include "app/noticepopup.h"
#include "app/windowcolours.h"
#include "app/windowcommands.h"
#include "data/textforms.h"
#include "data/container.h"
#include "data/unstorededits.h"
#include "data/untoldnotice.h"
#include "data/writebeside.h"
#include "device/tavik.h"
#include "ui/columnwidths.h"
#include "ui/devicestab.h"
#include "ui/clientselectiontab.h"
#include "ui/clienttab.h"
#include "ui/dialognotes.h"
#include "ui/infoprogramname.h"
#include "editors/librarysession.h"
#include "ui/librarywiring.h"
#include "ui/presetselectiontab.h"
#include "ui/presettab.h"
#include "ui/programselectiontab.h"
#include "maintenance/backup.h"
#include "maintenance/restart.h"
#include "ui/toolstab.h"
#include "ui/programtab.h"
#include "ui/stopkeys.h"
#include "ui_mainwindow.h"
#include "work/sequencer.h"
#include "ui/worktab.h"

#include <QCloseEvent>
#include <QCursor>
#include <QFontMetrics>
#include <QTabBar>
#include <QMessageBox>
#include <QPushButton>
#include <QDebug>
#include <QFileInfo>
#include <QGuiApplication>
#include <QResizeEvent>
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QRadioButton>
#include <QShortcut>
#include <QTableView>

#include <algorithm>

namespace {

// Tab moves between widgets everywhere: a table would otherwise walk its
// cells and never let go, and a text field would type the tab into the
// data (an address field stored one).
void letTabMoveFocus(QWidget *root)
{
    for (QAbstractItemView *view : root->findChildren<QAbstractItemView *>())
        view->setTabKeyNavigation(false);
    for (QPlainTextEdit *edit : root->findChildren<QPlainTextEdit *>())
        edit->setTabChangesFocus(true);
}

// A tab whose widgets cannot shrink to a small screen scrolls instead of
// widening the window beyond it. The tab's widgets go into the returned
// widget.
QWidget *scrolledContents(QWidget *tab)
{
    auto *scroll = new QScrollArea(tab);
    scroll->setObjectName(tab->objectName() + QStringLiteral("_scroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    // Tab goes to the tab's widgets, not to the area that holds them.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidgetResizable(true);
    auto *contents = new QWidget(scroll);
    contents->setObjectName(tab->objectName() + QStringLiteral("_contents"));
    new QVBoxLayout(contents);
    scroll->setWidget(contents);
    tab->layout()->setContentsMargins(0, 0, 0, 0);
    tab->layout()->addWidget(scroll);
    return contents;
}

// What a screen reader says for a widget that has no text of its own: the
// title of the group it sits in, else its tooltip, else its name in the form.
QString nameFromSurroundings(const QWidget *widget)
{
    for (const QWidget *parent = widget->parentWidget(); parent; parent = parent->parentWidget()) {
        if (const auto *group = qobject_cast<const QGroupBox *>(parent)) {
            if (!group->title().trimmed().isEmpty())
                return group->title().trimmed();
        }
    }
    if (!widget->toolTip().isEmpty())
        return widget->toolTip();
    return widget->objectName().section(QLatin1Char('_'), 1).replace(QLatin1Char('_'), QLatin1Char(' '));
}

void nameForScreenReaders(QWidget *root)
{
    for (QWidget *widget : root->findChildren<QWidget *>()) {
        const bool input = qobject_cast<QLineEdit *>(widget) || qobject_cast<QPlainTextEdit *>(widget)
                           || qobject_cast<QAbstractItemView *>(widget) || qobject_cast<QComboBox *>(widget)
                           || qobject_cast<QAbstractSpinBox *>(widget);
        auto *button = qobject_cast<QAbstractButton *>(widget);
        if (!input && !button)
            continue;
        // A button is read by its text, which may change; only one without
        // text is given a name.
        if (!widget->accessibleName().isEmpty() || (button && !button->text().trimmed().isEmpty()))
            continue;
        widget->setAccessibleName(nameFromSurroundings(widget));
    }
}

} // namespace

QFont MainWindow::applicationFont()
{
    return QFont(QStringLiteral("Arial"), 13);
}

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    Q_INIT_RESOURCE(resources);

    ui->setupUi(this);
    setWindowIcon(applicationIcon());
    m_infoBar = new InfoBar(this);
    m_notice = new NoticePopup(this);
    ui->MainPage->setCurrentIndex(TabClientSelection);
    m_currentTab = TabClientSelection;

    m_settings.init(QStringLiteral("settings.dat"));
    // A restore killed after its journal was written is finished before
    // anything is read, so the stores are read whole, as one version.
    Container::finishPending(m_settings.dataFolder());
    m_restored = Backup::restoredNote(m_settings.dataFolder());
    m_untold += UntoldNotice::read(m_settings.dataFolder());
    if (!m_restored.isEmpty()) {
        // It did happen: the word left while it ran is no longer true.
        m_untold.removeIf(&Backup::isUnfinishedNote);
    } else if (std::any_of(m_untold.cbegin(), m_untold.cend(), &Backup::isUnfinishedNote)) {
        // The files a restore cut short had staged are its own to drop:
        // its one line says so, not a line naming each.
        Container::takeCleanups();
    }
    applyGeometry(m_settings.readSettings());
    m_devices.setPauseLimitMinutes(m_settings.pauseLimitMinutes());

    setWindowModality(Qt::ApplicationModal);
    // None of them blocks the window: Stop must take a click while they show.
    m_about = new AboutDialog(this);
    m_infoProgramName = new InfoProgramName(this);
    m_notesDialog = new DialogNotes(this);
    new WindowCommands(this, m_notice, m_about, m_infoBar, ui->MainPage->tabBar());

    m_library.load(m_settings);
    m_work.setPath(m_settings.dataFolder() + QStringLiteral("work.dat"));
    // Read so that a backup carries it and a restore gives it back.
    if (QFileInfo::exists(m_work.path()))
        m_work.readBase();
    m_session = std::make_unique<LibrarySession>(m_library, m_settings);
    for (int index = 0; index < TabCount; ++index)
        m_contents[size_t(index)] = scrolledContents(ui->MainPage->widget(index));
    createLibraryPages();
    createPages();
    letTabMoveFocus(this);
    nameForScreenReaders(this);
    new WindowColours(this);
    for (ColumnFit *columns : findChildren<ColumnFit *>()) {
        const QList<int> widths = m_settings.columnWidths(columns->view()->objectName());
        if (!widths.isEmpty())
            columns->setOperatorWidths(widths);
    }
    addStopShortcuts();
    tabIntoCheckedRadioButtons();
    addUndo();
    addFocusSteps();

    // Named, so that a measurement of the start can tell the window's own ticks.
    m_uiTimer.setObjectName(QStringLiteral("UiTick"));
    m_deviceTimer.setObjectName(QStringLiteral("DeviceTick"));
    connect(&m_uiTimer, &QTimer::timeout, this, &MainWindow::uiTick);
    m_uiTimer.start(uiTickMs);

    loadDevices();
    m_listener.bindListener();
    connect(&m_deviceTimer, &QTimer::timeout, this, &MainWindow::deviceTick);
    m_deviceTimer.start(deviceTickMs);

    setProgramTabTitle(QString());
    // The tab bar's arrows, shown when the captions do not fit the window.
    for (QAbstractButton *arrow : ui->MainPage->tabBar()->findChildren<QAbstractButton *>()) {
        arrow->setToolTip(arrow->objectName() == QLatin1String("ScrollLeftButton") ? tr("Show the tabs to the left")
                                                                                   : tr("Show the tabs to the right"));
    }
    ui->MainPage->setStyleSheet(QStringLiteral("QTabBar::tab { height: 40px; }"));
    m_infoBar->show();
    m_infoBar->placeAtBottom();
    m_routing = true;
    offerUnstored();
}

MainWindow::~MainWindow()
{
    m_uiTimer.stop();
    m_deviceTimer.stop();
    // Whatever way the program ends, no device stays on air behind it.
    stopAllDevices();
    // A restore writing the data folder has it to itself: the files end all
    // old or all restored, and the next start reads them.
    if (!m_toolsTab || !m_toolsTab->waitForRestore(restoreWaitMs)) {
        leaveTab(m_currentTab);
        // Nobody could be asked about what the editors refused: it waits
        // for the next start. Any other end asked the operator first (a
        // close, a restore), who let it go.
        UnstoredEdits::leave(m_settings.dataFolder(), m_closingForSignal ? m_editors.heldEdits() : QList<UnstoredEdit>());
        m_devices.registry().saveBeside();
        m_settings.setGeometry(saveGeometry());
        m_settings.setOpenClient(m_library.openClientFile());
        for (const ColumnFit *columns : findChildren<ColumnFit *>())
            m_settings.setColumnWidths(columns->view()->objectName(), columns->operatorWidths());
        m_settings.saveSettings();
    } else {
        // The restore asked about them before it began.
        UnstoredEdits::leave(m_settings.dataFolder(), {});
    }
    // The stores written beside the window land whole before the end; a
    // write that hangs (a network folder gone) leaves the file as it was.
    if (!WriteBeside::waitForAll(writeWaitMs))
        qWarning() << "A store is still being written; the program ends without waiting for it";
    // A pool still being read may yet be found damaged; what the operator
    // was not shown is told at the next start.
    m_library.takePools();
    if (const QStringList untold = takeUntold(); !untold.isEmpty())
        UntoldNotice::leave(m_settings.dataFolder(), untold);
    // The stop keys call into the Work tab, which goes now.
    delete findChild<StopKeys *>();
    m_pages = {};
    delete ui;
}

void MainWindow::stopAllDevices()
{
    // The runs the end cuts short go into their histories on the way.
    const int stopped = m_deviceTick.stopAll(DeviceSlots::stopWaitMs);
    if (stopped > 0)
        qDebug() << "stopped" << stopped << "devices on the way out";
}

void MainWindow::closeForSignal()
{
    m_closingForSignal = true;
    stopAllDevices();
    close();
}

void MainWindow::endOfSession()
{
    stopAllDevices();
    // The shown editor commits first; it stays shown as it was.
    leaveTab(m_currentTab);
    m_unstored = m_editors.heldEdits();
    UnstoredEdits::leave(m_settings.dataFolder(), m_unstored);
    enterTab(m_currentTab);
}

void MainWindow::offerUnstored()
{
    m_unstored = UnstoredEdits::read(m_settings.dataFolder());
    if (m_unstored.isEmpty())
        return;
    m_offered = m_editors.offer(m_unstored);
    // The file stays until each edit is stored or let go in its editor.
    m_unstored.removeIf([this](const UnstoredEdit &edit) { return !m_editors.holds(edit.editor); });
    if (m_unstored.isEmpty())
        return;
    const auto tabOf = [](UnstoredEdit::Editor editor) {
        return editor == UnstoredEdit::Preset ? TabPreset : editor == UnstoredEdit::Program ? TabProgram : TabClient;
    };
    // Each editor's tab shows its edit and reason before it is first shown.
    for (const UnstoredEdit &edit : std::as_const(m_unstored))
        enterTab(tabOf(edit.editor));
    ui->MainPage->setCurrentIndex(tabOf(m_unstored.first().editor));
}

void MainWindow::followUnstored()
{
    // An edit stored or discarded in its editor is no longer kept.
    if (m_unstored.removeIf([this](const UnstoredEdit &edit) { return !m_editors.holds(edit.editor); }) > 0)
        UnstoredEdits::leave(m_settings.dataFolder(), m_unstored);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The restart after a restore: an editor's commit or a Cancel here
    // would keep this copy's old data and later store it over the
    // restored files.
    if (m_toolsTab && m_toolsTab->restoreLanded()) {
        stopAllDevices();
        QMainWindow::closeEvent(event);
        return;
    }
    if (!m_closingForSignal && m_devices.anyRunGoing()) {
        // Paused runs have nothing on air; quitting ends them where they paused.
        const QString question = m_devices.anyRunUnpaused()
            ? tr("A device is transmitting. Stop the runs and quit?")
            : tr("A run is paused. End it, cut short where it paused, and quit?");
        const bool quit = m_quitQuestion ? m_quitQuestion() : QMessageBox::question(this, tr("TavikStudio"),
                              StopKeys::duringRun(question, m_devices),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
        if (!quit) {
            event->ignore();
            return;
        }
    }
    // The shown editor commits now, so that an edit it refuses can still
    // be kept by staying.
    leaveTab(m_currentTab);
    if (!m_closingForSignal && !m_wiring->mayDiscardRefused()) {
        enterTab(m_currentTab);
        event->ignore();
        return;
    }
    stopAllDevices();
    QMainWindow::closeEvent(event);
}

void MainWindow::setDiscardQuestion(std::function<bool(const QString &)> question)
{
    m_wiring->setDiscardQuestion(std::move(question));
}

void MainWindow::applyGeometry(bool settingsRead)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (settingsRead && !m_settings.geometry().isEmpty()) {
        restoreGeometry(m_settings.geometry());
        screen = this->screen();
    } else if (settingsRead && screen) {
        const QSize available = screen->availableSize();
        resize(available.width() / 3, available.height() / 2);
        move((available.width() - width()) / 2, (available.height() - height()) / 2);
    }
    // The form's size, or one stored on a larger screen or when a long name
    // still widened the window, is cut to the screen the window opens on.
    if (screen)
        fitInto(screen->availableGeometry());
}

void MainWindow::fitInto(const QRect &available)
{
    // Room for the window manager's frame and title bar, which a window
    // not yet shown cannot measure.
    const QSize frame(frameAllowance, 2 * frameAllowance + titleAllowance);
    const QSize room = (available.size() - frame).expandedTo(QSize(1, 1));
    const QSize fitted = size().boundedTo(room);
    if (fitted != size())
        resize(fitted);
    const int x = qBound(available.left(), pos().x(), qMax(available.left(), available.right() + 1 - width() - frame.width()));
    const int y = qBound(available.top(), pos().y(), qMax(available.top(), available.bottom() + 1 - height() - frame.height()));
    if (QPoint(x, y) != pos())
        move(x, y);
}

void MainWindow::tabIntoCheckedRadioButtons()
{
    // Tab lands on the pool that is picked, where the arrow keys pick
    // another; landing on one not picked, they would only move the focus.
    for (QRadioButton *radio : findChildren<QRadioButton *>()) {
        const auto follow = [radio](bool checked) { radio->setFocusPolicy(checked ? Qt::StrongFocus : Qt::ClickFocus); };
        follow(radio->isChecked());
        connect(radio, &QAbstractButton::toggled, radio, follow);
    }
}

void MainWindow::addStopShortcuts()
{
    // Whatever tab is shown, whatever window or dialog has the focus.
    new StopKeys([this] { m_workTab->on_pushButton_work_stop_clicked(); }, [this] { m_workTab->stopEveryDevice(); },
                 this);
}

void MainWindow::addFocusSteps()
{
    // After the tab is shown: where the operator types or picks next.
    connect(m_presetSelectionTab, &PresetSelectionTab::presetNewRequested, this,
            [this] { focusField(QStringLiteral("lineEdit_preset_name")); });
    connect(m_programSelectionTab, &ProgramSelectionTab::programNewRequested, this,
            [this] { focusField(QStringLiteral("lineEdit_program_name")); });
    connect(m_programTab, &ProgramTab::showTabRequested, this, [this](int tab) {
        if (tab == TabPresetSelection)
            focusField(QStringLiteral("tableWidget_presetSelection"));
    });
}

void MainWindow::focusField(const QString &objectName)
{
    QWidget *widget = findChild<QWidget *>(objectName);
    if (!widget || !widget->isEnabled())
        return;
    widget->setFocus(Qt::OtherFocusReason);
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        edit->selectAll();
}

void MainWindow::addUndo()
{
    // A delete asks no question; it can be taken back while its list
    // changes by nothing else. A text field's own Ctrl+Z and Ctrl+Shift+Z
    // come first. There is no menu to show the next step: the notices do.
    connect(m_session.get(), &LibrarySession::recordDeleted, this,
            [this](const QString &what) { showNotice(tr("%1 deleted. Ctrl+Z puts it back.").arg(what)); });
    auto *undo = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), this);
    connect(undo, &QShortcut::activated, this, &MainWindow::undoStep);
    auto *redo = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), this);
    connect(redo, &QShortcut::activated, this, &MainWindow::redoStep);
}

void MainWindow::undoStep()
{
    const bool left = commitShownEditor();
    QString text;
    QString why;
    const bool done = m_session->undo(text, &why);
    showStep(done, left, text, why, true);
}

void MainWindow::redoStep()
{
    const bool left = commitShownEditor();
    QString text;
    QString why;
    const bool done = m_session->redo(text, &why);
    showStep(done, left, text, why, false);
}

bool MainWindow::commitShownEditor()
{
    // What the shown editor holds becomes a step of its own first, as
    // leaving its tab would make it: the key then takes back that, and the
    // other key gives it again, rather than an older step taking what was
    // typed with it.
    if (m_currentTab != TabPreset && m_currentTab != TabProgram && m_currentTab != TabClient)
        return false;
    leaveTab(m_currentTab);
    return true;
}

void MainWindow::showStep(bool done, bool shownLeft, const QString &text, const QString &why, bool undo)
{
    const QString next = m_session->undoStack().nextText();
    if (done || shownLeft)
        enterTab(m_currentTab);
    if (done) {
        showNotice(next.isEmpty() ? text : text + QLatin1Char(' ') + next);
        return;
    }
    QString said = text.isEmpty() ? (undo ? tr("Nothing to put back.") : tr("Nothing to make again."))
                   : undo         ? tr("The %1 is not taken back: %2.").arg(text, why)
                                  : tr("The %1 is not made again: %2.").arg(text, why);
    showNotice(next.isEmpty() ? said : said + QLatin1Char(' ') + next);
}

TabPage *MainWindow::page(int index) const
{
    return index >= 0 && index < TabCount ? m_pages[size_t(index)].get() : nullptr;
}

void MainWindow::createPages()
{
    auto work = std::make_unique<WorkTab>(m_contents[TabWork], m_devices, m_deviceTick.recorder(), m_library, m_settings);
    auto devices = std::make_unique<DevicesTab>(m_contents[TabTavik], m_devices, m_deviceTick.edits());
    m_workTab = work.get();
    m_devicesTab = devices.get();
    connect(m_devicesTab, &DevicesTab::workTitleChanged, this, &MainWindow::followWorkDevice);
    connect(m_workTab, &WorkTab::noticeRequested, this, &MainWindow::showNotice);
    connect(m_devicesTab, &DevicesTab::noticeRequested, this, &MainWindow::showNotice);
    m_pages[TabWork] = std::move(work);
    m_pages[TabTavik] = std::move(devices);
    m_toolsTab = new ToolsTab(m_contents[TabTools], m_settings, m_library, m_work, m_devices);
    connect(m_toolsTab, &ToolsTab::noticeRequested, this, &MainWindow::showNotice);
    connect(m_toolsTab, &ToolsTab::aboutRequested, m_about, &QWidget::show);
    connect(m_toolsTab, &ToolsTab::restartRequested, this, &restartApplication);
    createEditorPages();
}

void MainWindow::createEditorPages()
{
    m_editors.setAuthor(m_settings.operatorName());
    connect(&m_editors.program, &ProgramEditor::captionChanged, this,
            [this](const QString &caption) { setTabCaption(TabProgram, caption); });
    connect(&m_editors.client, &ClientEditor::captionChanged, this,
            [this](const QString &caption) { setTabCaption(TabClient, caption); });
    m_editors.attach(*m_session);

    auto preset = std::make_unique<PresetTab>(m_editors.preset, m_editors.program, m_contents[TabPreset]);
    auto program = std::make_unique<ProgramTab>(m_editors.program, m_devices, m_contents[TabProgram]);
    m_presetTab = preset.get();
    m_programTab = program.get();
    // The forms bring their own margins; the page adds none around them.
    for (const Tab tab : {TabPreset, TabProgram})
        m_contents[tab]->layout()->setContentsMargins(0, 0, 0, 0);
    m_contents[TabPreset]->layout()->addWidget(m_presetTab);
    m_contents[TabProgram]->layout()->addWidget(m_programTab);
    connect(m_presetTab, &PresetTab::noticeRequested, this, &MainWindow::showNotice);
    connect(m_programTab, &ProgramTab::noticeRequested, this, &MainWindow::showNotice);
    connect(m_programTab, &ProgramTab::showTabRequested, this, &MainWindow::showTab);
    connect(m_programTab, &ProgramTab::nameMissing, m_infoProgramName, &QDialog::show);
    m_pages[TabPreset] = std::move(preset);
    m_pages[TabProgram] = std::move(program);

    const LibraryWiring::Tabs tabs {m_clientSelectionTab, m_clientTab, m_programSelectionTab, m_presetSelectionTab,
                                    TabClient, TabPreset, TabProgram, TabWork};
    m_wiring = new LibraryWiring(m_editors, *m_session, m_devices, tabs, m_notesDialog, this);
    connect(m_wiring, &LibraryWiring::showTabRequested, this, &MainWindow::showTab);
    // A restore replaces what the editors would store: an edit they refuse
    // goes only when the operator says so.
    m_toolsTab->setRestoreGuard([this] { return m_wiring->mayDiscardRefused(); });
    connect(m_wiring, &LibraryWiring::noticeRequested, this, &MainWindow::showNotice);
    connect(m_wiring, &LibraryWiring::workListChanged, m_workTab, &WorkTab::fillWorkTable);
}

void MainWindow::showTab(int index)
{
    ui->MainPage->setCurrentIndex(index);
}

void MainWindow::createLibraryPages()
{
    auto clients = std::make_unique<ClientSelectionTab>(m_contents[TabClientSelection], *m_session);
    auto client = std::make_unique<ClientTab>(m_contents[TabClient], *m_session);
    auto programs = std::make_unique<ProgramSelectionTab>(m_contents[TabProgramSelection], *m_session);
    auto presets = std::make_unique<PresetSelectionTab>(m_contents[TabPresetSelection], *m_session);
    m_clientSelectionTab = clients.get();
    m_clientTab = client.get();
    m_programSelectionTab = programs.get();
    m_presetSelectionTab = presets.get();
    connect(m_session.get(), &LibrarySession::clientOpened, this,
            [this]() { ui->MainPage->setCurrentIndex(TabClient); });
    connect(m_session.get(), &LibrarySession::clientRefused, this, &MainWindow::showNotice);
    m_pages[TabClientSelection] = std::move(clients);
    m_pages[TabClient] = std::move(client);
    m_pages[TabProgramSelection] = std::move(programs);
    m_pages[TabPresetSelection] = std::move(presets);
}

void MainWindow::loadDevices()
{
    Machines &registry = m_devices.registry();
    registry.setFolder(m_settings.dataFolder());
    registry.readBase();
    m_devices.bindDevices();
    // A run a killed program left going: its device is checked at once,
    // and the run is reported with the next device tick.
    m_deviceTick.recorder().recover();
    if (registry.count() > 1)
        setWorkTabTitle(registry.records().first().name);
    m_workTab->fillWorkTable();
}

void MainWindow::stopTimers()
{
    m_uiTimer.stop();
    m_deviceTimer.stop();
    m_uiTimerStopped = true;
    // Whoever stops the ticks drives the window: the pools the first UI
    // tick would have put in place are put there now.
    m_library.takePools();
}

void MainWindow::uiTick()
{
    m_uiTimer.stop();
    // The pools read beside the window go in place between ticks; whatever
    // needed one sooner has waited for it already.
    if (!m_library.poolsInPlace() && m_library.poolsRead()) {
        m_library.takePools();
        // The shown pool's names are folded now, before anyone searches.
        m_session->presetListStore().prepareSearch();
    }
    m_notice->tick();
    followUnstored();
    showKeptAside();
    showDeviceStatus();
    m_wiring->takeNote();
    if (TabPage *shown = page(m_currentTab))
        shown->refresh();
    if (!m_uiTimerStopped)
        m_uiTimer.start(uiTickMs);
}

void MainWindow::showDeviceStatus()
{
    m_devices.takeConnectionEvents();
    // A device deleted from the list is named no more.
    const int slot = m_devices.registry().count() > 0 ? m_devices.selectedSlot() : -1;
    if (slot >= 0)
        m_infoBar->setDeviceText(m_devices.statusLine(slot));
    else
        m_infoBar->clearDeviceText();
}

void MainWindow::deviceTick()
{
    const DeviceTick::Outcome done = m_deviceTick.run();
    if (done.registryChanged || done.statusChanged)
        m_devicesTab->markDirty();
    if (!done.firstSerial.isEmpty() && m_settings.operatorName() == QLatin1String("noname")) {
        m_settings.setOperatorName(done.firstSerial);
        m_editors.setAuthor(m_settings.operatorName());
    }
    if (!done.notices.isEmpty())
        showNotice(done.notices.join(QLatin1Char('\n')));
    // What the screen says of a run that ended is said at once, not at the
    // next UI tick.
    if (done.runEnded)
        showDeviceStatus();

    // What is on air is not replaced from the library.
    const Sequencer *sequencer = m_devices.selectedSequencer();
    const bool idle = !sequencer || sequencer->canStart();
    m_programTab->setToWorkEnabled(idle);
    m_programSelectionTab->setToWorkAllowed(idle);
}

void MainWindow::on_MainPage_currentChanged(int index)
{
    if (!m_routing) {
        m_currentTab = index;
        return;
    }
    leaveTab(m_currentTab);
    qDebug() << "new tab" << index;
    m_currentTab = index;
    enterTab(index);
    m_notice->keepClear();
}

void MainWindow::leaveTab(int index)
{
    qDebug() << "tab close" << index;
    if (TabPage *old = page(index))
        old->leave();
}

void MainWindow::enterTab(int index)
{
    if (TabPage *shown = page(index))
        shown->enter();
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    m_uiTimer.stop();
    if (!m_uiTimerStopped)
        m_uiTimer.start(uiTickMs);
    if (m_infoBar)
        m_infoBar->placeAtBottom();
}

void MainWindow::showNotice(const QString &text)
{
    if (!m_notice)
        return;
    // The window's position includes its frame: under a window manager
    // that put the notice a title bar's height below the pointer.
    m_notice->showNotice(text, mapFromGlobal(QCursor::pos()));
}

void MainWindow::showKeptAside()
{
    // The edits offered again are told once; unstored.dat, not untold.dat,
    // brings them back should this start end before it shows them.
    QStringList lines = takeUntold() + std::exchange(m_offered, {});
    if (!m_restored.isEmpty())
        lines.prepend(m_restored);
    if (lines.isEmpty())
        return;
    showNotice(lines.join(QLatin1Char('\n')));
    UntoldNotice::forget(m_settings.dataFolder());
    if (!std::exchange(m_restored, {}).isEmpty())
        Backup::forgetRestoredNote(m_settings.dataFolder());
}

QStringList MainWindow::takeUntold()
{
    return std::exchange(m_untold, {}) + Container::takeNotices();
}

void MainWindow::setTabCaption(int index, const QString &caption)
{
    // A long name would widen the tab bar and with it the window: the
    // caption is cut short, the tooltip has it whole.
    const QFontMetrics metrics(ui->MainPage->tabBar()->font());
    QStringList lines = caption.split(QLatin1Char('\n'));
    for (QString &line : lines) {
        const QString cut = metrics.elidedText(line, Qt::ElideRight, tabCaptionWidth);
        // Isolated as right-to-left, a cut Arabic or Hebrew name keeps its
        // start on the right and shows its "…" on the left, where it ends.
        line = cut != line && line.isRightToLeft() ? QChar(0x2067) + cut + QChar(0x2069) : cut;
    }
    ui->MainPage->setTabText(index, lines.join(QLatin1Char('\n')));
    ui->MainPage->setTabToolTip(index, lines.join(QLatin1Char('\n')) == caption ? QString() : caption);
}

void MainWindow::setProgramTabTitle(const QString &text)
{
    setTabCaption(TabProgram, QStringLiteral("Program\n") + text);
}

void MainWindow::setProgramTabTitle(const QString &name, int version)
{
    setProgramTabTitle(name.isEmpty() ? QString()
                                      : TextForm::versioned(name, version));
}

void MainWindow::followWorkDevice(const QString &deviceName, int deviceCount)
{
    if (deviceCount > 1 || m_workTitleNamed)
        setWorkTabTitle(deviceName);
}

void MainWindow::setWorkTabTitle(const QString &deviceName)
{
    m_workTitleNamed = !deviceName.isEmpty();
    setTabCaption(TabWork, deviceName.isEmpty() ? QStringLiteral("Work") : QStringLiteral("Work\n") + deviceName);
}
