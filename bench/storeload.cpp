// Load and save of the record stores against their goals, and the window's
// start-up over a large Legitimate pool.

#include "storeload.h"

#include "measure.h"

#include "data/settings.h"
#include "data/container.h"
#include "data/library.h"
#include "data/presets.h"
#include "data/textforms.h"
#include "work/deviceslots.h"
#include "maintenance/backup.h"
#include "maintenance/csvimport.h"
#include "maintenance/filedownloader.h"
#include "maintenance/offthread.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <QEventLoop>
#include <QTimer>

#include <ctime>
#include <functional>

using Measure::print;

// Presets as a maker's pool holds them: every field filled, accented names.
void fillPresets(Presets &presets, int count)
{
    static const char *const words[] = {"Řez", "Kůra", "Zelí", "Lípa", "Ocet", "Rezeda", "Mléko", "Žito"};
    const QDateTime base(QDate(2024, 3, 1), QTime(8, 0), Qt::UTC);
    QList<Preset> &records = presets.editRecords();
    records.reserve(count);
    for (int i = 0; i < count; ++i) {
        Preset preset;
        preset.created = base.addSecs(qint64(i) * 60);
        preset.modified = preset.created.when.addDays(3);
        preset.name = QString::fromUtf8(words[i % 8]) + QLatin1Char(' ') + QString::number(i);
        preset.version = i % 5;
        preset.forMachine = i % 2;
        preset.notes = QStringLiteral("Two sessions a week, then a pause of a fortnight; note %1").arg(i);
        preset.time = 5 + i % 40;
        preset.variable = QString::number(1000.0 + (i % 9000) * 0.5, 'f', 1);
        preset.obtained = i % 3;
        preset.author = QStringLiteral("Jiří Dvořák");
        records.append(preset);
    }
}

namespace {

// Wall time is what the goals are about; the process's CPU time beside it
// shows how much of a figure is other work on a shared machine.
class Stopwatch
{
public:
    Stopwatch() { restart(); }
    void restart()
    {
        m_wall.start();
        m_cpu = cpuNs();
    }
    double wallMs() const { return double(m_wall.nsecsElapsed()) / 1e6; }
    double cpuMs() const { return double(cpuNs() - m_cpu) / 1e6; }

private:
    static qint64 cpuNs()
    {
        timespec t {};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
    }
    QElapsedTimer m_wall;
    qint64 m_cpu = 0;
};

// A goal of 0 is none.
void printAgainst(const QString &label, const Stopwatch &watch, double goalMs)
{
    const double wall = watch.wallMs();
    const QString figure = QStringLiteral("%1 (CPU %2)").arg(wall, 0, 'f', 1).arg(watch.cpuMs(), 0, 'f', 1);
    if (goalMs <= 0)
        print(label, figure);
    else
        print(label, QStringLiteral("%1 goal <= %2 ms%3").arg(figure).arg(goalMs)
                         .arg(wall <= goalMs ? QString() : QStringLiteral(" MISSED")));
}

void presetsAgainstGoals(const QString &folder, int count, double loadGoalMs, double saveGoalMs)
{
    const QString path = folder + QStringLiteral("presets-%1.dat").arg(count);
    const QString size = QString::number(count);
    {
        Presets presets;
        presets.setPath(path);
        fillPresets(presets, count);
        const Stopwatch watch;
        if (!presets.saveBase()) {
            print("stores: presets save failed", path);
            return;
        }
        printAgainst(QStringLiteral("stores: presets save ms (%1)").arg(size), watch, saveGoalMs);
    }
    const qint64 fileKb = QFileInfo(path).size() / 1024;
    Presets presets;
    presets.setPath(path);
    const Measure::PeakScope peak;
    const Stopwatch watch;
    presets.readBase();
    printAgainst(QStringLiteral("stores: presets load ms (%1)").arg(size), watch, loadGoalMs);
    const qint64 growth = peak.growthKb();
    print(QStringLiteral("stores: presets load peak extra memory (%1)").arg(size),
          QStringLiteral("%1 = %2 x the file (%3) goal <= 4 x%4")
              .arg(Measure::mebibytes(growth))
              .arg(double(growth) / double(qMax<qint64>(1, fileKb)), 0, 'f', 2)
              .arg(Measure::mebibytes(fileKb))
              .arg(growth <= 4 * fileKb ? QString() : QStringLiteral(" MISSED")));
    if (presets.count() != count)
        print(QStringLiteral("stores: presets read back (%1)").arg(size), presets.count());
    // What leaving Preset Selection costs when nothing changed.
    const Stopwatch leave;
    presets.saveIfChanged();
    printAgainst(QStringLiteral("stores: leave an unchanged list of %1 presets, ms").arg(size), leave, 100);
}

#ifdef TAVIK_APP_PATH
// From the program's start to its line "readBase machines", which it writes
// after the library is loaded and the tabs are built, just before the
// window shows.
double startUpMs(const QString &home)
{
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("default.debug=true"));
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    program.start(QStringLiteral(TAVIK_APP_PATH), {});
    QByteArray output;
    double ms = -1;
    while (timer.elapsed() < 60000 && program.waitForReadyRead(60000)) {
        output += program.readAll();
        if (output.contains("readBase machines")) {
            ms = double(timer.nsecsElapsed()) / 1e6;
            break;
        }
    }
    program.terminate();
    if (!program.waitForFinished(10000))
        program.kill();
    return ms;
}

void windowStartUp(bool quick)
{
    const int count = quick ? 10000 : 100000;
    QTemporaryDir empty;
    QTemporaryDir full;
    const QString data = full.path() + QStringLiteral("/.local/share/TavikStudio/data/");
    Presets pool;
    pool.setPath(data + QStringLiteral("genpresets.dat"));
    if (!QDir().mkpath(data))
        return;
    fillPresets(pool, count);
    pool.saveBase();
    Container::writeFile(data + QStringLiteral("settings.dat"), {{"presetsGenuine", "2"}});
    print("stores: window start-up ms (empty data folder)", startUpMs(empty.path()), 0);
    print(QStringLiteral("stores: window start-up ms (%1-preset Legitimate pool)").arg(count),
          QStringLiteral("%1 goal < 1000 ms").arg(startUpMs(full.path()), 0, 'f', 0));
}
#endif

} // namespace

// A frequency table of `lines` lines imported into an empty pool, then the
// same file again (every line then updates a preset).
void importAgainstGoal(int lines, double goalMs)
{
    QByteArray csv = "Actinomyces israelii ,1234.5\n";
    for (int i = 0; i < lines; ++i)
        csv += "Preset " + QByteArray::number(i) + " " + QByteArray::number(i % 7) + ","
               + QByteArray::number(1000 + i % 9000) + ".5\n";
    Presets pool;
    Import import;
    Stopwatch watch;
    import.importBytes(pool, csv);
    printAgainst(QStringLiteral("stores: import %1 lines into an empty pool (%2 added), ms").arg(lines).arg(import.added()),
                 watch, goalMs);
    watch.restart();
    import.importBytes(pool, csv);
    printAgainst(QStringLiteral("stores: import the same %1 lines again, ms").arg(lines), watch, goalMs);
}

namespace {

// The longest gap between the 25 ms ticks of a timer on this thread while
// `start` runs its work: the device tick has no better measure of how long
// the GUI thread was held up. `start` is given the function to call when
// everything, the GUI thread's part included, is done.
double longestTickGapMs(const std::function<void(std::function<void()>)> &start)
{
    QEventLoop loop;
    QTimer tick;
    QElapsedTimer since;
    double longest = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = qMax(longest, double(since.nsecsElapsed()) / 1e6);
        since.restart();
    });
    tick.start(25);
    since.start();
    bool done = false;
    start([&] {
        done = true;
        loop.quit();
    });
    if (!done)
        loop.exec();
    longest = qMax(longest, double(since.nsecsElapsed()) / 1e6);
    return longest;
}

void printGap(const QString &label, double gapMs)
{
    print(label, QStringLiteral("%1 goal <= 100 ms%2").arg(gapMs, 0, 'f', 1)
                     .arg(gapMs <= 100 ? QString() : QStringLiteral(" MISSED")));
}

// An import and a download's decoding as the Tools tab runs them: off the
// GUI thread, then the pool replaced (and, for the import, saved) on it.
void tickGapsAgainstGoal(const QString &folder, int lines, int downloaded)
{
    QByteArray csv = "Actinomyces israelii ,1234.5\n";
    for (int i = 0; i < lines; ++i)
        csv += "Preset " + QByteArray::number(i) + " " + QByteArray::number(i % 7) + ","
               + QByteArray::number(1000 + i % 9000) + ".5\n";
    const QString csvPath = folder + QStringLiteral("import.csv");
    QFile file(csvPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size())
        return;
    file.close();
    QObject context;
    Presets pool;
    pool.setPath(folder + QStringLiteral("genpresets.dat"));
    printGap(QStringLiteral("stores: longest 25 ms tick gap during a %1-line import, ms").arg(lines),
             longestTickGapMs([&](std::function<void()> done) {
                 const QList<Preset> records = pool.records();
                 const QString poolPath = pool.path();
                 runOffThread<ImportedPool>(&context,
                                            [records, poolPath, csvPath] { return importOnPool(records, poolPath, csvPath); },
                                            [&pool, done](ImportedPool run) {
                                                pool.editRecords() = std::move(run.records);
                                                done();
                                            });
             }));

    Presets maker;
    fillPresets(maker, downloaded);
    const QByteArray bytes = maker.encoded();
    printGap(QStringLiteral("stores: longest 25 ms tick gap during a %1-preset download's decoding, ms").arg(downloaded),
             longestTickGapMs([&](std::function<void()> done) {
                 runOffThread<FileDownloader::PresetSet>(&context, [bytes] { return FileDownloader::decodePresets(bytes, QString()); },
                                                         [&pool, done](FileDownloader::PresetSet set) {
                                                             QString notice;
                                                             FileDownloader::install(pool, set, notice);
                                                             done();
                                                         });
             }));
}

// A restore of a backup of about `mebibytes` MiB as the Tools tab runs it:
// reading and checking beside the window, the copies of the stores taken on
// it, the safety backup and every file written beside it again, then the
// restored records put in place on it.
void restoreTickGapAgainstGoal(const QString &folder, int mebibytes)
{
    // The stores' folders follow the environment, as at a start.
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder + QStringLiteral("home/.local/share")));
    qputenv("HOME", QFile::encodeName(folder + QStringLiteral("home")));
    Settings settings;
    settings.init(QStringLiteral("settings.dat"));
    InstalledStores installed(settings);

    // About 190 bytes a preset in a installed.backup.
    fillPresets(installed.library.generalPresets(), mebibytes * 1024 * 1024 / 190);
    installed.library.generalPresets().saveBase();
    const QString path = folder + QStringLiteral("big.bkp");
    QString why;
    if (!installed.backup.write(path, &why)) {
        print("stores: restore bench", QStringLiteral("the backup could not be written: ") + why);
        return;
    }
    const double sizeMib = double(QFileInfo(path).size()) / (1024 * 1024);
    QObject context;
    QElapsedTimer whole;
    whole.start();
    Backup::Outcome outcome = Backup::Refused;
    const double gap = longestTickGapMs([&](std::function<void()> done) {
        runOffThread<Backup::Read>(&context, [path] { return Backup::read(path); }, [&, done](Backup::Read read) {
            const Backup::Stores stores = installed.backup.stores();
            const QString safetyPath = installed.backup.nextSafetyPath();
            runOffThread<Backup::Applied>(
                &context, [read, stores, safetyPath] { return Backup::apply(read, stores, safetyPath); },
                [&, done](Backup::Applied applied) {
                    outcome = installed.backup.finish(std::move(applied));
                    done();
                });
        });
    });
    if (outcome != Backup::Restored) {
        print("stores: restore bench", QStringLiteral("the restore failed: ") + installed.backup.message());
        return;
    }
    printGap(QStringLiteral("stores: longest 25 ms tick gap during a %1 MiB restore (%2 s in all), ms")
                 .arg(sizeMib, 0, 'f', 1).arg(double(whole.elapsed()) / 1000, 0, 'f', 1),
             gap);
}

} // namespace

void benchStores(bool quick)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');
    importAgainstGoal(quick ? 10000 : 100000, quick ? 100 : 1000);
    presetsAgainstGoals(folder, 10000, 30, 0);
    if (!quick)
        presetsAgainstGoals(folder, 100000, 300, 300);
    tickGapsAgainstGoal(folder, quick ? 10000 : 100000, quick ? 15000 : 150000);
    restoreTickGapAgainstGoal(folder, quick ? 4 : 40);
#ifdef TAVIK_APP_PATH
    windowStartUp(quick);
#else
    print("stores: window start-up", "skipped, built without the program");
#endif
}

InstalledStores::InstalledStores(Settings &settings) : backup(settings, library, work, devices)
{
    library.load(settings);
    // In place before anything is measured: the pools are read beside.
    library.takePools();
    work.setPath(settings.dataFolder() + QStringLiteral("work.dat"));
    devices.registry().setFolder(settings.dataFolder());
}
