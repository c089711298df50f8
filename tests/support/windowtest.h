#pragma once

#include "app/mainwindow.h"
#include "device/tavik.h"
#include "work/sequencer.h"

#include "support/scaledclock.h"
#include "support/simprocess.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

// A widget of the window by its object name; a missing one ends the test
// program at once rather than failing on a null pointer later.
template <typename T>
T *child(const QObject &parent, const char *name)
{
    T *found = parent.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

template <typename T>
T *child(const QObject &parent, const QString &name)
{
    return child<T>(parent, qPrintable(name));
}

inline void click(const QObject &parent, const char *name) { child<QAbstractButton>(parent, name)->click(); }

inline QTabWidget *mainTabs(const MainWindow &window) { return child<QTabWidget>(window, "MainPage"); }

// The window's two ticks as its timers would run them: the device tick
// every time, the UI tick every tenth.
struct WindowDriver
{
    MainWindow &window;
    int ticks = 0;

    void step()
    {
        QTest::qWait(2);
        window.deviceTick();
        if (++ticks % 10 == 0)
            window.uiTick();
    }

    template <typename Condition>
    bool until(Condition condition, int timeoutMs)
    {
        return stepUntil([this] { step(); }, condition, timeoutMs);
    }
};

inline bool selectedReady(MainWindow &window)
{
    const Tavik *tavik = window.devices().selectedController();
    return tavik && inReadyCycle(*tavik);
}

// A simulated device announcing itself on the fixed ports, and the window,
// its ticks driven by the test and its clock as fast as the device's.
struct WindowRig
{
    static constexpr double timeScale = 20;

    SimProcess sim;
    ScaledClock clock {timeScale};  // outlives the window, whose end reads it
    MainWindow window;
    WindowDriver driver {window};

    static QStringList simArguments(const QString &serial, double scale = timeScale)
    {
        return {"--port", "8888", "--serial", serial, "--time-scale", QString::number(scale),
                "--announce-to", "127.0.0.1:11000", "--announce-interval-ms", "300"};
    }

    // The device announced and on the list.
    bool start(const QString &serial, const QStringList &faults = {})
    {
        window.stopTimers();
        window.devices().setClock(&clock);
        if (!sim.start(simArguments(serial) + faults))
            return false;
        return driver.until([this] { return window.devices().registry().count() == 1; }, 10000);
    }

    // The device ready for a run and its record current; its work list,
    // or null.
    WorkList *ready()
    {
        if (!driver.until([this] { return selectedReady(window); }, 20000))
            return nullptr;
        Machines &registry = window.devices().registry();
        registry.setCurrent(0);
        return registry.work();
    }

    // The window shown and active, and the device ready with one ten-minute
    // line on its list.
    bool showReadyLongLine()
    {
        window.show();
        QApplication::setActiveWindow(&window);
        WorkList *work = QTest::qWaitForWindowActive(&window) ? ready() : nullptr;
        if (work)
            addWorkLine(*work, "Long", "777", 10, 1, 1);
        return work != nullptr;
    }

    // Start clicked on the Work tab; the sequencer it started.
    Sequencer *clickStart()
    {
        mainTabs(window)->setCurrentIndex(MainWindow::TabWork);
        window.uiTick();
        click(window, "pushButton_work_start");
        return window.devices().selectedSequencer();
    }

    // Once the device is ready, Start on the Work tab with one ten-minute
    // line; the sequencer on air, or null.
    Sequencer *startLongRun()
    {
        WorkList *work = ready();
        if (!work)
            return nullptr;
        addWorkLine(*work, "Long", "777", 10, 1, 1);
        Sequencer *sequencer = clickStart();
        const bool onAir = driver.until([&] { return sequencer->state() == Sequencer::S_SEND_LF; }, 10000);
        return onAir ? sequencer : nullptr;
    }
};
