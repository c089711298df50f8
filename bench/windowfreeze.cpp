// How long the real window holds the GUI thread (and with it the 25 ms
// device tick) at a tab change, a Start's history record, an edit and the
// way out, over a large library.

#include "windowfreeze.h"

#include "measure.h"
#include "storeload.h"

#include "app/mainwindow.h"
#include "app/noticepopup.h"
#include "data/container.h"
#include "data/library.h"
#include "data/settings.h"
#include "data/worklist.h"
#include "editors/libraryeditors.h"
#include "editors/librarysession.h"
#include "maintenance/backup.h"
#include "maintenance/filedownloader.h"
#include "ui/toolstab.h"
#include "work/deviceslots.h"
#include "work/runstart.h"
#include "work/sendtowork.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QCursor>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <memory>

using Measure::print;

namespace WindowFreezeBench {

namespace {

double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

void runFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// The longest a 25 ms timer on the GUI thread waited past its period while
// the event loop ran for `milliseconds`: writes beside the window show here.
double longestTickGapMs(int milliseconds)
{
    QTimer tick;
    QElapsedTimer since;
    double longest = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, msSince(since));
        since.restart();
    });
    tick.start(25);
    since.start();
    runFor(milliseconds);
    return longest;
}

// The first time each of the window's own timers fires, from the moment
// the window starts being built: what the operator and a device wait for.
class FirstTicks : public QObject
{
public:
    explicit FirstTicks(const QElapsedTimer &start) : m_start(start) { qApp->installEventFilter(this); }
    ~FirstTicks() override { qApp->removeEventFilter(this); }
    double uiMs = -1;
    double deviceMs = -1;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Timer && qobject_cast<QTimer *>(watched)) {
            double &first = watched->objectName() == QLatin1String("UiTick")       ? uiMs
                            : watched->objectName() == QLatin1String("DeviceTick") ? deviceMs
                                                                                    : m_other;
            if (first < 0)
                first = msSince(m_start);
        }
        return false;
    }

private:
    const QElapsedTimer &m_start;
    double m_other = 0;
};

void figure(const QString &label, double ms, double goalMs = 100)
{
    print(label, QStringLiteral("%1 goal <= %2 ms%3").arg(ms, 0, 'f', 1).arg(goalMs)
                     .arg(ms <= goalMs ? QString() : QStringLiteral(" MISSED")));
}

// An operator's action on the GUI thread: its own CPU time with the events
// it handles at once, and the longest single event of the second after it
// (what it posted, the ticks that follow). The larger is the figure.
template <typename Action>
void cpuFigure(const QString &label, Action action, double goalMs = 100)
{
    QApplication::processEvents();
    Measure::TimedApplication::resetLongestEvent();
    const qint64 start = Measure::threadCpuNs();
    action();
    QApplication::processEvents();
    const double own = double(Measure::threadCpuNs() - start) / 1e6;
    runFor(1000);
    const double after = Measure::TimedApplication::longestEventMs();
    figure(label + QStringLiteral(", GUI thread CPU ms (itself %1, longest event after %2)")
                       .arg(own, 0, 'f', 1).arg(after, 0, 'f', 1),
           std::max(own, after), goalMs);
}

// What the operator does most with the lists at this size, each timed on
// the GUI thread: a rename, a delete and its undo, a pool switch, a
// program sent to a device, a downloaded set installed.
void everydayActions(MainWindow &window, QTabWidget *pages)
{
    Library &library = window.library();
    pages->setCurrentIndex(MainWindow::TabPresetSelection);
    QApplication::processEvents();
    Presets &general = library.generalPresets();
    const int middle = general.count() / 2;

    auto *name = window.findChild<QLineEdit *>(QStringLiteral("lineEdit_preset_name"));
    window.editors().preset.open(PresetPool::General, general.keyAt(middle));
    pages->setCurrentIndex(MainWindow::TabPreset);
    QApplication::processEvents();
    cpuFigure(QStringLiteral("scale: a letter typed into a preset's name (checked against every pool)"),
              [&] { name->setText(name->text() + QLatin1Char('x')); });
    cpuFigure(QStringLiteral("scale: rename a preset and go back to the list"),
              [&] { pages->setCurrentIndex(MainWindow::TabPresetSelection); });

    auto *view = window.findChild<QTableView *>(QStringLiteral("tableWidget_presetSelection"));
    auto *remove = window.findChild<QPushButton *>(QStringLiteral("pushButton_presetSelection_delete"));
    view->selectRow(middle);
    QApplication::processEvents();
    const int before = general.count();
    cpuFigure(QStringLiteral("scale: delete a preset"), [&] { remove->click(); });
    QShortcut *undo = nullptr;
    for (QShortcut *shortcut : window.findChildren<QShortcut *>()) {
        if (shortcut->key() == QKeySequence(Qt::CTRL | Qt::Key_Z))
            undo = shortcut;
    }
    if (undo)
        cpuFigure(QStringLiteral("scale: Ctrl+Z puts it back"), [&] { Q_EMIT undo->activated(); });
    if (general.count() != before)
        print(QStringLiteral("scale: note"), QStringLiteral("the delete and its undo left %1 presets of %2")
                                                 .arg(general.count()).arg(before));

    for (const char *pool : {"radioButton_presetGenuine", "radioButton_presetGeneral"}) {
        auto *button = window.findChild<QRadioButton *>(QLatin1String(pool));
        cpuFigure(QStringLiteral("scale: switch the list to %1").arg(button->text()), [&] { button->click(); });
    }

    // Lines of a table imported into Legitimate from the Tools tab, then
    // the list switched to it: the first look at the pool the import made.
    {
        const QString csv = QDir::temp().filePath(QStringLiteral("tavik-bench-import.csv"));
        QFile table(csv);
        if (table.open(QIODevice::WriteOnly)) {
            // A frequency table begins with the first name of the maker's own.
            QByteArray lines = "Actinomyces israelii ,440\n";
            for (int i = 0; i < 150000; ++i)
                lines += "Imported " + QByteArray::number(i) + ',' + QByteArray::number(1000 + i % 900) + '\n';
            table.write(lines);
            table.close();
        }
        auto *tools = window.findChild<ToolsTab *>();
        tools->setFileChooser([csv](ToolsTab::FileDialog, const QString &, const QString &, const QString &) { return csv; });
        QStringList notices;
        const QMetaObject::Connection heard = QObject::connect(tools, &ToolsTab::noticeRequested, [&](const QString &notice) {
            notices << notice;
        });
        pages->setCurrentIndex(MainWindow::TabTools);
        QApplication::processEvents();
        tools->findChild<QPushButton *>(QStringLiteral("pushButton_import"))->click();
        QElapsedTimer waited;
        waited.start();
        while (notices.isEmpty() && waited.elapsed() < 120000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QObject::disconnect(heard);
        QFile::remove(csv);
        runFor(1000);
        if (notices.filter(QStringLiteral("Imported")).isEmpty())
            print(QStringLiteral("scale: note"), QStringLiteral("the import did not end: ") + notices.join(QLatin1Char(' ')));
        cpuFigure(QStringLiteral("scale: Preset Selection entered after an import into Legitimate"),
                  [&] { pages->setCurrentIndex(MainWindow::TabPresetSelection); });
        auto *legitimate = window.findChild<QRadioButton *>(QStringLiteral("radioButton_presetGenuine"));
        auto *back = window.findChild<QRadioButton *>(QStringLiteral("radioButton_presetGeneral"));
        cpuFigure(QStringLiteral("scale: the first switch to Legitimate after it (%1 presets)")
                      .arg(library.legitimatePresets().count()),
                  [&] { legitimate->click(); });
        back->click();
        QApplication::processEvents();
    }

    // A program of ten lines from both pools, sent to a device's list.
    Program program = Program::newRecord();
    program.name = QStringLiteral("Spring");
    for (int i = 0; i < 10; ++i) {
        const Presets &from = i % 2 ? library.legitimatePresets() : general;
        const Preset &preset = from.records().at(from.count() * i / 10);
        program.insertLine(program.count());
        program.setLineName(preset.name);
        program.setLineVersion(preset.version);
    }
    Machines &registry = window.devices().registry();
    registry.setCurrent(0);
    if (registry.addMachine(Machine::deviceSlots)) {
        registry.change(registry.keyAt(registry.current()), [](Machine &machine) {
            machine.scanAddress = machine.connectAddress = {127, 0, 0, 1};
        });
        window.devices().setSelectedRow(registry.current());
        cpuFigure(QStringLiteral("scale: Program To Work, 10 lines"), [&] {
            SendToWork::program(library, window.devices(), program, true);
        });
    }

    // A downloaded set installed as the Tools tab does once it is decoded
    // beside the window: in place at once, and written beside it.
    FileDownloader::PresetSet set;
    {
        Presets made;
        fillPresets(made, 150000);
        set.records = made.records();
    }
    // The keys the set's records take are carried beside the window, as
    // the Tools tab carries them while it decodes the set.
    const Presets &legitimate = library.legitimatePresets();
    FileDownloader::carryKeysFrom(set, legitimate.records(), legitimate.keys(), legitimate.revision());
    cpuFigure(QStringLiteral("scale: install a downloaded set of 150 000 presets"), [&] {
        QString notice;
        if (FileDownloader::install(library.legitimatePresets(), set, notice))
            library.legitimatePresets().saveIfChanged();
    });
    set = {};
}

// The open client's history: `entries` runs' records, written.
void fillHistory(Library &library, int entries)
{
    QList<Note> &notes = library.history().notes().editRecords();
    notes.reserve(entries);
    const QDateTime base(QDate(2024, 3, 1), QTime(8, 0), Qt::UTC);
    for (int i = 0; i < entries; ++i) {
        Note note = Note::newRecord(i % 11 == 0 ? LineType::Program : LineType::PresetNote);
        note.created = base.addSecs(qint64(i) * 600);
        note.text = QStringLiteral("Rezeda %1, the second week").arg(i % 500);
        note.version = i % 5;
        note.variable = QString::number(1000 + i % 900);
        note.time = 5 + i % 30;
        notes.append(note);
    }
    library.history().saveBase();
}

// A data folder with two pools of `presets`, `clients` clients and the
// first client's history of `history` entries, that client open.
void makeLibrary(int presets, int clients, int history)
{
    Settings settings;
    settings.init(QStringLiteral("settings.dat"));
    Library library;
    library.load(settings);
    fillPresets(library.generalPresets(), presets);
    fillPresets(library.legitimatePresets(), presets);
    Clients &store = library.clients();
    QList<Client> &records = store.editRecords();
    for (int i = 0; i < clients; ++i) {
        Client client = Client::newRecord();
        client.name = QStringLiteral("Client %1").arg(i);
        client.notes1 = QStringLiteral("Mondays and Thursdays");
        records.append(client);
    }
    library.generalPresets().saveBase();
    library.legitimatePresets().saveBase();
    store.saveBase();
    library.openClient(records.first().file);
    fillHistory(library, history);
    settings.setOpenClient(records.first().file);
    settings.setPresetsPool(PresetPool::General);
    settings.saveSettings();
}

} // namespace

void run(int presets, int clients, int history, const QString &folder)
{
    QTemporaryDir temporary;
    const QDir home(folder.isEmpty() ? temporary.path() : folder);
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("share")).toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("HOME", home.path().toUtf8());
    makeLibrary(presets, clients, history);
    // The library the bench made is freed beside it: gone before the window
    // starts, as it would be had another program made it.
    QThreadPool::globalInstance()->waitForDone();
    const QString size = QStringLiteral("%1 presets a pool, %2 clients, %3 history entries").arg(presets).arg(clients).arg(history);

    QElapsedTimer start;
    start.start();
    auto ticks = std::make_unique<FirstTicks>(start);
    auto window = std::make_unique<MainWindow>();
    window->resize(1280, 800);
    window->show();
    QApplication::processEvents();
    print(QStringLiteral("freeze: window built and shown ms (%1)").arg(size), msSince(start), 1);
    {
        // The operator goes to the presets at once, while the pools may
        // still be read beside the window.
        auto *pages = window->findChild<QTabWidget *>(QStringLiteral("MainPage"));
        QElapsedTimer early;
        early.start();
        pages->setCurrentIndex(MainWindow::TabPresetSelection);
        QApplication::processEvents();
        figure(QStringLiteral("freeze: Preset Selection entered at once, ms"), msSince(early));
        // The pools arrive while the list is shown: it fills by itself.
        Measure::TimedApplication::resetLongestEvent();
        while (!window->library().poolsInPlace() && msSince(start) < 120000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        runFor(1000);
        figure(QStringLiteral("freeze: the pools arriving while Preset Selection is shown, longest event, GUI thread CPU ms"),
               Measure::TimedApplication::longestEventMs());
        early.restart();
        pages->setCurrentIndex(MainWindow::TabClientSelection);
        QApplication::processEvents();
        figure(QStringLiteral("freeze: and left, ms"), msSince(early));
    }
    while (ticks->uiMs < 0 && msSince(start) < 60000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    figure(QStringLiteral("freeze: start to the first UI tick, ms"), ticks->uiMs, 1500);
    print(QStringLiteral("freeze: start to the first device tick, ms"), ticks->deviceMs, 1);
    ticks.reset();
    runFor(500);

    auto *pages = window->findChild<QTabWidget *>(QStringLiteral("MainPage"));
    double worstTab = 0;
    // Every change the operator makes most: into and out of each list, and
    // the Client tab from and to each of its neighbours.
    const QList<int> road = {MainWindow::TabClient, MainWindow::TabClientSelection, MainWindow::TabClient,
                             MainWindow::TabPresetSelection, MainWindow::TabPreset, MainWindow::TabProgramSelection,
                             MainWindow::TabWork, MainWindow::TabClient, MainWindow::TabTavik,
                             MainWindow::TabPresetSelection, MainWindow::TabClientSelection};
    for (const int to : road) {
        const int from = pages->currentIndex();
        QElapsedTimer change;
        change.start();
        pages->setCurrentIndex(to);
        QApplication::processEvents();
        const double ms = msSince(change);
        worstTab = std::max(worstTab, ms);
        print(QStringLiteral("freeze: tab %1 -> %2 ms").arg(from).arg(to), ms, 1);
    }
    figure(QStringLiteral("freeze: worst tab change, nothing changed, ms (%1)").arg(size), worstTab);
    figure(QStringLiteral("freeze: longest 25 ms tick gap after the changes, ms"), longestTickGapMs(1500));

    // A notice looks for its place beside the pointer clear of every
    // control of the tab shown, and again on every UI tick it stays up.
    double worstNotice = 0;
    for (int tab = 0; tab < MainWindow::TabCount; ++tab) {
        pages->setCurrentIndex(tab);
        QApplication::processEvents();
        QCursor::setPos(window->mapToGlobal(window->rect().center()));
        QElapsedTimer notice;
        notice.start();
        window->showNotice(QStringLiteral("Will not be saved: the name and version are taken.\n"
                                          "No client open: this run is not recorded in a history"));
        window->notice()->tick();
        worstNotice = std::max(worstNotice, msSince(notice));
    }
    window->notice()->hide();
    figure(QStringLiteral("freeze: a notice placed clear of every control and its next tick, worst tab, ms"),
           worstNotice, 16);

    everydayActions(*window, pages);

    // An edit of the open history, then the Client tab left: it is written.
    Library &library = window->library();
    pages->setCurrentIndex(MainWindow::TabClient);
    QApplication::processEvents();
    library.history().notes().setCurrent(0);
    library.history().notes().insertNote(LineType::Notes);
    library.history().notes().setText(QStringLiteral("Called in sick"));
    QElapsedTimer leave;
    leave.start();
    pages->setCurrentIndex(MainWindow::TabWork);
    QApplication::processEvents();
    figure(QStringLiteral("freeze: leave the Client tab after an edit, ms"), msSince(leave));
    figure(QStringLiteral("freeze: longest 25 ms tick gap while it is written, ms"), longestTickGapMs(3000));

    // What a Start adds to the history: the run's record, then the save.
    WorkList work;
    work.programName = QStringLiteral("Spring");
    work.programVersion = 1;
    for (int i = 0; i < 10; ++i) {
        work.setCurrent(work.count());
        work.insertNew();
        work.setName(QStringLiteral("Rezeda %1").arg(i));
        work.setValue(QString::number(1000 + i));
        work.setTime(10);
    }
    QElapsedTimer record;
    record.start();
    RunStart::recordRun(library, work);
    figure(QStringLiteral("freeze: a Start's history record, ms"), msSince(record));
    figure(QStringLiteral("freeze: longest 25 ms tick gap while it is written, ms"), longestTickGapMs(3000));

    // A preset with a very long note opened in its editor, and left.
    for (const int mebibytes : {1, 16}) {
        Presets &general = library.generalPresets();
        general.setCurrent(0);
        general.setNotes(QString(mebibytes * 1024 * 1024, QLatin1Char('n')));
        pages->setCurrentIndex(MainWindow::TabPresetSelection);
        QApplication::processEvents();
        QElapsedTimer open;
        open.start();
        window->editors().preset.open(PresetPool::General, window->library().generalPresets().keyAt(0));
        pages->setCurrentIndex(MainWindow::TabPreset);
        QApplication::processEvents();
        figure(QStringLiteral("freeze: open a preset with a %1 MiB note in its editor, ms").arg(mebibytes), msSince(open));
        QElapsedTimer leavePreset;
        leavePreset.start();
        pages->setCurrentIndex(MainWindow::TabPresetSelection);
        QApplication::processEvents();
        figure(QStringLiteral("freeze: leave it, ms"), msSince(leavePreset));
    }

    // An edit left at once by the way out: the exit finishes the write.
    library.history().notes().setCurrent(0);
    library.history().notes().insertNote(LineType::Notes);
    library.history().notes().setText(QStringLiteral("Last words"));
    pages->setCurrentIndex(MainWindow::TabClientSelection);
    QElapsedTimer close;
    close.start();
    window->close();
    window.reset();
    print(QStringLiteral("freeze: window closed and gone ms (a history write in flight)"), msSince(close), 1);
}

namespace {

// A backup made and restored from the Tools tab of a window over the
// library `run` left: the longest the GUI thread is held from the click
// until the restore asks for the restart, and the window's end after it,
// which the restart waits for.
void restoreInWindow()
{
    auto window = std::make_unique<MainWindow>();
    window->resize(1280, 800);
    window->show();
    QElapsedTimer waited;
    waited.start();
    while (!window->library().poolsInPlace() && waited.elapsed() < 120000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    auto *pages = window->findChild<QTabWidget *>(QStringLiteral("MainPage"));
    pages->setCurrentIndex(MainWindow::TabTools);
    QApplication::processEvents();
    auto *tools = window->findChild<ToolsTab *>();
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("window.bkp"));
    tools->setFileChooser([path](ToolsTab::FileDialog, const QString &, const QString &, const QString &) { return path; });
    QStringList notices;
    QObject::connect(tools, &ToolsTab::noticeRequested, [&notices](const QString &notice) { notices << notice; });
    bool restarting = false;
    QObject::connect(tools, &ToolsTab::restartRequested, [&restarting] { restarting = true; });
    tools->findChild<QPushButton *>(QStringLiteral("pushButton_backup"))->click();
    waited.restart();
    while (notices.isEmpty() && waited.elapsed() < 120000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    runFor(500);
    notices.clear();
    Measure::TimedApplication::resetLongestEvent();
    QElapsedTimer restore;
    restore.start();
    tools->findChild<QPushButton *>(QStringLiteral("pushButton_restore"))->click();
    while (!restarting && notices.isEmpty() && restore.elapsed() < 300000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double wall = msSince(restore);
    runFor(1000);
    if (!restarting) {
        print(QStringLiteral("scale: restore in the window"), QStringLiteral("not restored: ") + notices.join(QLatin1Char(' ')));
        return;
    }
    figure(QStringLiteral("scale: a committed restore of %1 in the window (%2 ms), longest event, GUI thread CPU ms")
               .arg(Measure::mebibytes(QFileInfo(path).size() / 1024)).arg(wall, 0, 'f', 0),
           Measure::TimedApplication::longestEventMs());
    // The program ends for its restart: the window goes, and the copy
    // started next waits for the data folder it frees.
    const qint64 cpu = Measure::threadCpuNs();
    QElapsedTimer end;
    end.start();
    window.reset();
    figure(QStringLiteral("scale: the window's end after it, GUI thread CPU ms (wall %1)").arg(msSince(end), 0, 'f', 0),
           double(Measure::threadCpuNs() - cpu) / 1e6);
    // The stores it let go are freed beside it; the figures after this
    // one start from a quiet machine.
    QElapsedTimer freed;
    freed.start();
    QThreadPool::globalInstance()->waitForDone();
    print(QStringLiteral("scale: its stores freed beside it, ms after its end"), msSince(freed));
}

// A backup of everything in the data folder, then its restore, with the
// pools read again: time and peak extra memory.
void backupAndRestore(Settings &settings, const QString &home, const QString &what)
{
    InstalledStores installed(settings);
    qint64 dataKb = 0;
    for (const QFileInfo &file : QDir(settings.dataFolder()).entryInfoList(QDir::Files))
        dataKb += file.size() / 1024;
    const QString path = home + QStringLiteral("/scale.bkp");
    {
        const Measure::PeakScope peak;
        QElapsedTimer whole;
        whole.start();
        QString why;
        if (!installed.backup.write(path, &why)) {
            print("scale: backup", QStringLiteral("failed: ") + why);
            return;
        }
        figure(QStringLiteral("scale: backup of %1 of data (%2), ms").arg(Measure::mebibytes(dataKb), what),
               msSince(whole), 10000);
        print(QStringLiteral("scale: backup peak extra memory"), QStringLiteral("%1 = %2 x the data, goal <= 2 x")
                  .arg(Measure::mebibytes(peak.growthKb()))
                  .arg(double(peak.growthKb()) / double(qMax<qint64>(1, dataKb)), 0, 'f', 2));
    }
    const Measure::PeakScope peak;
    QElapsedTimer whole;
    whole.start();
    const Backup::Read read = Backup::read(path);
    const double readMs = msSince(whole);
    Backup::Applied applied = Backup::apply(read, installed.backup.stores(), installed.backup.nextSafetyPath());
    const double applyMs = msSince(whole) - readMs;
    QElapsedTimer finish;
    finish.start();
    const Backup::Outcome outcome = installed.backup.finish(std::move(applied));
    const double finishMs = msSince(finish);
    // The pools are read again from the restored files beside the window;
    // the restore is over when they are in place.
    QElapsedTimer reread;
    reread.start();
    installed.library.takePools();
    const double rereadMs = msSince(reread);
    if (outcome != Backup::Restored) {
        print("scale: restore", QStringLiteral("failed: ") + installed.backup.message());
        return;
    }
    figure(QStringLiteral("scale: restore of a %1 backup (%2), ms").arg(Measure::mebibytes(QFileInfo(path).size() / 1024), what),
           msSince(whole), 20000);
    print(QStringLiteral("scale: restore's parts: read and check, safety backup and files, put in place, "
                         "the rest of the pools' reading, ms"),
          QStringLiteral("%1, %2, %3, %4").arg(readMs, 0, 'f', 0).arg(applyMs, 0, 'f', 0).arg(finishMs, 0, 'f', 0)
              .arg(rereadMs, 0, 'f', 0));
    print(QStringLiteral("scale: restore peak extra memory"), QStringLiteral("%1 = %2 x the data, goal <= 2 x")
              .arg(Measure::mebibytes(peak.growthKb()))
              .arg(double(peak.growthKb()) / double(qMax<qint64>(1, dataKb)), 0, 'f', 2));
    QFile::remove(path);
}

void scaleLoadBackupRestore(const QString &home)
{
    Settings settings;
    settings.init(QStringLiteral("settings.dat"));
    // The General pool: the bench installed a smaller download as the Legitimate one.
    const QString poolPath = settings.dataFolder() + QStringLiteral("presets.dat");
    const qint64 fileKb = QFileInfo(poolPath).size() / 1024;
    {
        Presets pool;
        pool.setPath(poolPath);
        const Measure::PeakScope peak;
        QElapsedTimer load;
        load.start();
        const qint64 cpu = Measure::threadCpuNs();
        pool.readBase();
        const double cpuMs = double(Measure::threadCpuNs() - cpu) / 1e6;
        figure(QStringLiteral("scale: load one pool of %1 presets, ms (CPU %2)").arg(pool.count()).arg(cpuMs, 0, 'f', 0),
               msSince(load), 1000);
        print(QStringLiteral("scale: its peak extra memory"), QStringLiteral("%1 = %2 x the file (%3) goal <= 3.5 x")
                  .arg(Measure::mebibytes(peak.growthKb()))
                  .arg(double(peak.growthKb()) / double(qMax<qint64>(1, fileKb)), 0, 'f', 2)
                  .arg(Measure::mebibytes(fileKb)));
    }
    backupAndRestore(settings, home, QStringLiteral("two pools of a million"));
}

// A library whose weight is in its histories: `clients` clients of
// `entries` history entries each, and small pools.
void scaleHistories(const QString &home, int clients, int entries)
{
    const QDir folder(home + QStringLiteral("/histories"));
    folder.mkpath(QStringLiteral("."));
    qputenv("XDG_DATA_HOME", folder.filePath(QStringLiteral("share")).toUtf8());
    Settings settings;
    settings.init(QStringLiteral("settings.dat"));
    {
        Library library;
        library.load(settings);
        fillPresets(library.generalPresets(), 1000);
        library.generalPresets().saveBase();
        QList<Client> &records = library.clients().editRecords();
        for (int i = 0; i < clients; ++i) {
            Client client = Client::newRecord();
            client.name = QStringLiteral("Client %1").arg(i);
            records.append(client);
        }
        library.clients().saveBase();
        for (const Client &client : std::as_const(records)) {
            library.openClient(client.file);
            fillHistory(library, entries);
        }
    }
    backupAndRestore(settings, home, QStringLiteral("%1 clients of %2 history entries").arg(clients).arg(entries));
}

} // namespace

void runHistories(int clients, int entries)
{
    QTemporaryDir home;
    scaleHistories(home.path(), clients, entries);
}

void runScale()
{
    QTemporaryDir home;
    run(1000000, 10000, 100000, home.path());
    restoreInWindow();
    scaleLoadBackupRestore(home.path());
    scaleHistories(home.path(), 200, 10000);
}

} // namespace WindowFreezeBench
