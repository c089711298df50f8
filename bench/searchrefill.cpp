#include "searchrefill.h"

#include "measure.h"

#include "data/settings.h"
#include "data/library.h"
#include "data/textforms.h"
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

#include <algorithm>

#include <time.h>

using Measure::print;

namespace SearchRefillBench {

namespace {

constexpr double goalMs = 16.0;

void fill(Presets &presets, int count)
{
    static const char *const words[] = {"Řez", "Kůra", "Zelí", "Lípa", "Ocet", "Rezeda", "Mléko", "Žito"};
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

void benchKeystrokes(int count)
{
    Screen screen(count, 0);
    // "rez", back to nothing, "ko", back to nothing: narrowing, widening,
    // a miss, and the whole list again.
    const QList<QPair<int, QString>> keys{
        {Qt::Key_R, "r"}, {Qt::Key_E, "e"}, {Qt::Key_Z, "z"},
        {Qt::Key_Backspace, ""}, {Qt::Key_Backspace, ""}, {Qt::Key_Backspace, ""},
        {Qt::Key_K, "k"}, {Qt::Key_O, "o"}, {Qt::Key_Backspace, ""}, {Qt::Key_Backspace, ""},
    };
    // The list folds every name once it is shown (done by the events
    // processed in Screen); timed here on a store of its own.
    Presets fresh;
    fill(fresh, count);
    QElapsedTimer timer;
    timer.start();
    fresh.prepareSearch();
    const qint64 foldNs = timer.nsecsElapsed();
    const Cost first = keystroke(screen.field, screen.view, Qt::Key_X, QStringLiteral("x"));
    keystroke(screen.field, screen.view, Qt::Key_Backspace, QString());

    QList<qint64> wall;
    QList<qint64> cpu;
    for (int round = 0; round < 5; ++round) {
        for (const auto &key : keys) {
            const Cost cost = keystroke(screen.field, screen.view, key.first, key.second);
            wall.append(cost.wallNs);
            cpu.append(cost.cpuNs);
        }
    }
    const QString goal = QStringLiteral(" (goal <= %1 at 100000)").arg(goalMs);
    print(QStringLiteral("search refill ms (%1 presets)").arg(count), QString::number(ms(median(wall)), 'f', 2) + goal);
    print(QStringLiteral("search refill ms, GUI thread CPU (%1 presets)").arg(count), ms(median(cpu)), 2);
    print(QStringLiteral("search refill ms, worst of %1 keystrokes (%2 presets)").arg(wall.size()).arg(count),
          ms(*std::max_element(wall.cbegin(), wall.cend())), 2);
    print(QStringLiteral("search refill ms, first keystroke (%1 presets)").arg(count), ms(first.wallNs), 2);
    print(QStringLiteral("search names folded ms, once after the list is shown (%1 presets)").arg(count), ms(foldNs), 2);
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
    benchKeystrokes(20000);
    if (!quick)
        benchKeystrokes(100000);
    benchPoolSwitch(quick ? 20000 : 100000);
}

} // namespace SearchRefillBench
