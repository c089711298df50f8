#include "searchrefill.h"

#include "measure.h"

#include "data/settings.h"
#include "data/library.h"
#include "data/textforms.h"
#include "data/textmatch.h"
#include "editors/librarysession.h"
#include "ui/presetselectiontab.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <QThread>

#include <algorithm>

#include <malloc.h>
#include <time.h>

using Measure::print;

namespace SearchRefillBench {

namespace {

constexpr double goalMs = 16.0;

void fill(Presets &presets, int count, bool otherScript = false)
{
    static const char *const latin[] = {"Řez", "Kůra", "Zelí", "Lípa", "Ocet", "Rezeda", "Mléko", "Žito"};
    static const char *const cyrillic[] = {"Рез", "Кора", "Зеле", "Липа", "Оцет", "Резеда", "Млеко", "Жито"};
    const char *const *words = otherScript ? cyrillic : latin;
    QList<Preset> &records = presets.editRecords();
    records.clear();
    records.reserve(count);
    for (int i = 0; i < count; ++i) {
        Preset preset;
        preset.name = QString::fromUtf8(words[i % 8]) + QLatin1Char(' ') + QString::number(i);
        preset.version = i % 5;
        preset.notes = QStringLiteral("Two sessions a week, then a pause; note %1").arg(i);
        preset.time = 5 + i % 40;
        preset.variable = QString::number(1000.0 + (i % 9000) * 0.5, 'f', 1);
        records.append(preset);
    }
}

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

qint64 threadCpuNs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

struct Cost
{
    qint64 wallNs = 0;
    qint64 cpuNs = 0;  // of the GUI thread alone: less disturbed by a busy machine
};

// One key as the user types it, then the list painted as the screen would.
Cost keystroke(QLineEdit *field, QTableView *view, int key, const QString &text)
{
    QElapsedTimer timer;
    const qint64 cpu = threadCpuNs();
    timer.start();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(field, &press);
    QApplication::sendEvent(field, &release);
    view->viewport()->repaint();
    return {timer.nsecsElapsed(), threadCpuNs() - cpu};
}

qint64 median(QList<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

struct Screen
{
    QTemporaryDir dir;
    Library library;
    Settings settings;
    std::unique_ptr<LibrarySession> session;
    QWidget page;
    std::unique_ptr<PresetSelectionTab> tab;
    QLineEdit *field = nullptr;
    QTableView *view = nullptr;

    Screen(int general, int legitimate)
    {
        // Leaving a pool writes it: each has its file in the temporary folder.
        const QString folder = dir.path() + QLatin1Char('/');
        library.generalPresets().setPath(folder + QStringLiteral("presets.dat"));
        library.legitimatePresets().setPath(folder + QStringLiteral("genpresets.dat"));
        library.programs().setFolder(folder);
        library.clients().setFolder(folder);
        fill(library.generalPresets(), general);
        fill(library.legitimatePresets(), legitimate);
        settings.setPresetsPool(PresetPool::General);
        session = std::make_unique<LibrarySession>(library, settings);
        new QVBoxLayout(&page);
        page.resize(1280, 800);
        tab = std::make_unique<PresetSelectionTab>(&page, *session);
        page.show();
        QApplication::processEvents();
        field = page.findChild<QLineEdit *>(QStringLiteral("lineEdit_presetSelection_search"));
        view = page.findChild<QTableView *>(QStringLiteral("tableWidget_presetSelection"));
    }
};

// Waits, as the window's ticks would, until the keys made beside are in.
// Returns the longest time one call kept this thread.
qint64 waitForKeys(Presets &presets)
{
    QElapsedTimer call;
    qint64 longest = 0;
    do {
        QThread::msleep(2);
        call.start();
        presets.prepareSearch();
        longest = std::max(longest, call.nsecsElapsed());
    } while (presets.searchPending());
    return longest;
}

qint64 heapBytes()
{
    return qint64(mallinfo2().uordblks);
}

// The keys that type `word` and erase it again.
QList<QPair<int, QString>> typeAndErase(const QString &word)
{
    QList<QPair<int, QString>> keys;
    for (const QChar c : word) {
        const int key = c.isDigit() ? Qt::Key_0 + c.digitValue() : Qt::Key_A + (c.unicode() - 'a');
        keys.append({key, QString(c)});
    }
    for (qsizetype i = 0; i < word.size(); ++i)
        keys.append({Qt::Key_Backspace, QString()});
    return keys;
}

void benchKeystrokes(int count)
{
    Screen screen(count, 0);
    // Words typed and erased: narrowing, widening, a miss, the whole list
    // again; a new pair each round, so that no round only repeats patterns
    // searched before.
    QList<QPair<int, QString>> keys;
    for (const char *word : {"e", "rez", "ko", "lip", "ze", "mle", "oc", "zit", "ku", "ra", "12"})
        keys += typeAndErase(QString::fromLatin1(word));
    waitForKeys(screen.session->presetListStore());
    // The first keystroke once the keys are in finds a common letter in
    // every record, with no earlier result to start from.
    const Cost first = keystroke(screen.field, screen.view, Qt::Key_E, QStringLiteral("e"));
    keystroke(screen.field, screen.view, Qt::Key_Backspace, QString());

    // The search alone, without the list, on a store of its own.
    Presets fresh;
    fill(fresh, count);
    fresh.prepareSearch();
    waitForKeys(fresh);
    QList<qint64> scans;
    QString typed;
    QElapsedTimer timer;
    for (const auto &key : std::as_const(keys)) {
        typed = key.second.isEmpty() ? typed.chopped(1) : typed + key.second;
        timer.start();
        fresh.setFilter(typed);
        const QList<int> rows = fresh.shownRows();
        scans.append(timer.nsecsElapsed());
    }

    QList<qint64> wall;
    QList<qint64> cpu;
    for (const auto &key : std::as_const(keys)) {
        const Cost cost = keystroke(screen.field, screen.view, key.first, key.second);
        wall.append(cost.wallNs);
        cpu.append(cost.cpuNs);
    }
    const QString goal = QStringLiteral(" (goal <= %1 at 1000000)");
    print(QStringLiteral("search refill ms (%1 presets)").arg(count), QString::number(ms(median(wall)), 'f', 2) + goal.arg(16));
    print(QStringLiteral("search refill ms, GUI thread CPU (%1 presets)").arg(count), ms(median(cpu)), 2);
    print(QStringLiteral("search refill ms, worst of %1 keystrokes (%2 presets)").arg(wall.size()).arg(count),
          QString::number(ms(*std::max_element(wall.cbegin(), wall.cend())), 'f', 2) + goal.arg(33));
    print(QStringLiteral("search refill ms, GUI thread CPU, worst (%1 presets)").arg(count),
          ms(*std::max_element(cpu.cbegin(), cpu.cend())), 2);
    print(QStringLiteral("search alone ms, median and worst (%1 presets)").arg(count),
          QStringLiteral("%1, %2").arg(ms(median(scans)), 0, 'f', 2).arg(ms(*std::max_element(scans.cbegin(), scans.cend())), 0, 'f', 2));
    print(QStringLiteral("search refill ms, first keystroke, \"e\" (%1 presets)").arg(count),
          QStringLiteral("%1, GUI thread CPU %2").arg(ms(first.wallNs), 0, 'f', 2).arg(ms(first.cpuNs), 0, 'f', 2));
}

// The one-off folding of every name after the list is shown, the longest
// the GUI thread is kept by it, and the memory the keys hold against the
// names' own.
void benchFirstFold(int count, bool otherScript)
{
    Presets presets;
    fill(presets, count, otherScript);
    qint64 namesBytes = heapBytes();
    {
        QList<QString> copies;
        copies.reserve(count);
        for (const Preset &preset : presets.records())
            copies.append(QString(preset.name.constData(), preset.name.size()));
        namesBytes = heapBytes() - namesBytes;
    }
    const qint64 before = heapBytes();
    QElapsedTimer timer;
    timer.start();
    QElapsedTimer call;
    call.start();
    presets.prepareSearch();
    const qint64 firstCall = call.nsecsElapsed();
    const qint64 longest = std::max(firstCall, waitForKeys(presets));
    const qint64 whole = timer.nsecsElapsed();
    const qint64 held = heapBytes() - before;
    const QString what = otherScript ? QStringLiteral("Cyrillic") : QStringLiteral("Latin");
    print(QStringLiteral("search keys made ms, once after the list is shown (%1 %2 names)").arg(count).arg(what),
          QString::number(ms(whole), 'f', 1) + (otherScript ? QString() : QStringLiteral(" (goal <= 1000 at 1000000)")));
    print(QStringLiteral("search keys, longest the GUI thread is kept ms (%1 %2 names)").arg(count).arg(what),
          QString::number(ms(longest), 'f', 1) + QStringLiteral(" (goal <= 100)"));
    print(QStringLiteral("search keys memory / names' own memory (%1 %2 names)").arg(count).arg(what),
          QStringLiteral("%1 MiB / %2 MiB = %3 (goal <= 1.5)")
              .arg(double(held) / 1048576.0, 0, 'f', 1)
              .arg(double(namesBytes) / 1048576.0, 0, 'f', 1)
              .arg(double(held) / double(namesBytes), 0, 'f', 2));
}

// Keystrokes typed while the keys are still folded beside, one every 10 ms
// from the moment the list asks for them: how long each keeps the thread,
// and how many of the rows the finished keys give it found.
void benchKeystrokesDuringFold(int count)
{
    Presets presets;
    fill(presets, count);
    const QStringList typed{"r", "re", "rez", "re", "r", "k", "ko", "k", "z", "zi", "zit"};
    QList<qint64> costs;
    QList<qint64> cpu;
    qsizetype firstFound = 0;
    QElapsedTimer timer;
    presets.prepareSearch();
    for (int k = 0; presets.searchPending(); ++k) {
        QThread::msleep(10);
        presets.prepareSearch();
        const qint64 cpuBefore = threadCpuNs();
        timer.start();
        presets.setFilter(typed.at(k % typed.size()));
        const qsizetype shown = presets.shownRows().size();
        costs.append(timer.nsecsElapsed());
        cpu.append(threadCpuNs() - cpuBefore);
        if (k == 0)
            firstFound = shown;
    }
    // Now with every key in.
    presets.setFilter(QString());
    presets.setFilter(typed.at(0));
    const qsizetype due = presets.shownRows().size();
    if (costs.isEmpty())
        return;
    print(QStringLiteral("search keystroke during the first fold ms, median and worst of %1 (%2 presets)")
              .arg(costs.size())
              .arg(count),
          QStringLiteral("%1, %2 (goal <= 33 at 1000000)")
              .arg(ms(median(costs)), 0, 'f', 2)
              .arg(ms(*std::max_element(costs.cbegin(), costs.cend())), 0, 'f', 2));
    print(QStringLiteral("search keystroke during the first fold, GUI thread CPU ms, median and worst (%1 presets)").arg(count),
          QStringLiteral("%1, %2").arg(ms(median(cpu)), 0, 'f', 2).arg(ms(*std::max_element(cpu.cbegin(), cpu.cend())), 0, 'f', 2));
    print(QStringLiteral("search rows found by the first of them / all (%1 presets)").arg(count),
          QStringLiteral("%1 / %2").arg(firstFound).arg(due));
}

void benchPoolSwitch(int count)
{
    // A small General pool: leaving it writes it, which is not what is measured.
    Screen screen(100, count);
    auto *legitimate = screen.page.findChild<QRadioButton *>(QStringLiteral("radioButton_presetGenuine"));
    QElapsedTimer timer;
    timer.start();
    legitimate->click();
    screen.view->viewport()->repaint();
    print(QStringLiteral("switch to the Legitimate pool ms (%1 presets, leaving a General pool of 100)").arg(count),
          ms(timer.nsecsElapsed()), 2);
}

} // namespace

void chooseOffscreenPlatform()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void run(bool quick)
{
    // The table every fold looks letters up in is built on first use (on
    // whichever thread folds first): near nothing when an earlier figure
    // of the same run has folded already.
    QElapsedTimer table;
    table.start();
    foldForSearch(u"x");
    print(QStringLiteral("search fold table built ms, once per process"), ms(table.nsecsElapsed()), 1);
    for (const int count : quick ? QList<int>{20000} : QList<int>{20000, 100000, 1000000}) {
        benchKeystrokes(count);
        benchFirstFold(count, false);
        benchKeystrokesDuringFold(count);
    }
    benchFirstFold(quick ? 10000 : 100000, true);
    benchPoolSwitch(quick ? 20000 : 100000);
}

} // namespace SearchRefillBench
