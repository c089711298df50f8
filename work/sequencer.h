#pragma once

#include "device/runevents.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTime>
#include <QVector>

#include <limits>

class Clock;
class TransmitControl;
class WorkList;

struct SequenceItem
{
    QString title;
    QString lfText;
    // The LF value the text gives; 0 when it gives none (see lfValid).
    quint32 lf = 0;
    bool lfValid = false;
    QTime duration = QTime(0, 0);
    int progress = 0;
    qint64 startedMs = -1;  // on the sequencer's clock, when its value went out
};

// Where and why a run ended before its last line was done: the device,
// the link, a stall or the operator's stop.
struct CutShort
{
    int item = -1;      // the item on air, or 0 when none had begun
    int progress = 0;   // how far it got, in percent; -1 when not known
    QString title;      // the item's
    QString reason;

    // "cut short at line N (title, P %): reason", as the Work tab, the
    // device's log, the notice and the history say it.
    QString text() const
    {
        if (progress < 0)
            return QStringLiteral("cut short at line %1 (%2): %3").arg(item + 1).arg(title, reason);
        return QStringLiteral("cut short at line %1 (%2, %3 %): %4").arg(item + 1).arg(title).arg(progress).arg(reason);
    }
};

// Runs one device's work list: asks the controller to go on air for the
// whole list, then hands it one LF value after another, each for its
// item's duration. Ticked right after its controller.
class Sequencer : public QObject
{
    Q_OBJECT

public:
    enum State {
        S_IDLE,
        S_START_TRANSMIT,
        S_WAIT_RF_READY,
        S_RF_READY,
        S_SEND_LF,
        S_WAIT_FOR_DONE,
        S_CHECK_NEXT,
        S_STOP_TRANSMIT,
        // Off air at the operator's word, keeping the place; the limit's
        // countdown ends the run in S_PAUSE_EXPIRED.
        S_PAUSED,
        S_PAUSE_EXPIRED,
        // The rest of the list goes on air again: its time, the paused
        // line's value and the start; then S_WAIT_RF_READY.
        S_RESUME_TRANSMIT,
        StateCount
    };

    static constexpr int stopTicks = 20;
    // The device tick that drives the sequencer, for the pause's countdown.
    static constexpr int tickMs = 25;
    static constexpr int defaultPauseLimitMinutes = 30;
    // A tick later than this after the last one means the program was held
    // up (a debugger, a swap storm, a suspend), not that time passed on air.
    static constexpr qint64 stallMs = 1000;
    // The device counts its time in whole seconds.
    static constexpr qint64 deviceSecondMs = 1000;

    explicit Sequencer(QObject *parent = nullptr);

    void setController(TransmitControl *controller) { m_controller = controller; }
    // Where the sequencer tells what becomes of its runs (the slot's queue),
    // and from whose reader it learns what its controller told there.
    // Without one it keeps its own.
    void setRunEvents(RunEvents *events) { m_events = events ? events : &m_ownEvents; }
    RunEvents &runEvents() { return *m_events; }
    // What the controller told of the run: an interruption ends it where it
    // stood; the device's time left bounds it.
    void handle(const RunEvent &event);
    // The clock must outlive the sequencer: a run still going at its end
    // is noted at the clock's time.
    void setClock(const Clock *clock);

    void resize(int count);
    void setItem(int index, const QString &title, const QString &lfText, int minutes);
    // The item a line of this title, value and time makes.
    static SequenceItem makeItem(const QString &title, const QString &lfText, int minutes);
    void setTotalTime(qint64 seconds);

    // False, and nothing changes, unless the sequencer is idle and every
    // item has an LF value to send.
    bool start();
    // Items to run, each with its LF value.
    bool hasRunnableItems() const;
    bool canStart() const { return m_state == S_IDLE; }
    // The operator's stop: a run stopped before its last line is done ends
    // cut short where it stood, so that its history does not say the whole
    // list went out.
    void stop() { stop(QStringLiteral("Stopped by the operator")); }
    // The same, with why the operator's action stopped it.
    void stop(const QString &reason);
    // The controller has stopped the device itself (the program ends): the
    // run ends where it stood, noted as cut short for this reason, and the
    // sequencer sends no stop of its own.
    void endStopped(const QString &reason);
    // The slot is given to another record: a run still going ends.
    void reset();

    // The operator's pause: the device goes off air at once and the run
    // keeps its place (the line on air, its time left, the lines after
    // it). False, and nothing changes, unless a run warms up or is on air.
    bool pause();
    // The rest of the run goes on air again: the device is given the time
    // left in all, the paused line's value and the start, warms up, and the
    // line goes on for its time left. False unless paused and the device
    // may be started again (see mayResume).
    bool resume();
    bool isPaused() const { return m_state == S_PAUSED; }
    // Paused, with the device answering and seen off air since the pause's
    // stop: until then its count of the paused part is still to come, and
    // the resume would send that part's last seconds again.
    bool mayResume() const;
    // By its own count the device had the paused line's value on air `ms`
    // longer than the program saw (before the program saw it on air, or
    // until a slow device obeyed the pause's stop): the line has that much
    // less left, and the part went out for that much more. False, and
    // nothing changes, unless paused.
    bool wentOnAfterPause(qint64 ms);
    // Whether an end's `sent` (a run that paused) says no part of it was
    // seen on air.
    static bool sentNothing(const QString &sent);
    // A run cut short goes on where it was cut: at `item`, `doneMs` into
    // it, as a resume does. False, and nothing changes, unless the
    // sequencer is idle and every item has an LF value to send.
    bool resumeFrom(int item, qint64 doneMs);
    // The run is off air after a pause, until the device is on air again.
    bool pausedPlace() const { return m_pausedAtMs >= 0; }
    // On the clock, when the run paused; -1 when it is not paused.
    qint64 pausedAtMs() const { return m_pausedAtMs; }
    // How long the run has been paused; 0 when it is not.
    qint64 pausedForMs() const;
    // A pause held longer than this ends the run cut short.
    void setPauseLimitMinutes(int minutes);
    int pauseLimitMinutes() const { return m_pauseLimitMinutes; }
    // The controller's number for the run last started.
    quint32 run() const { return m_run; }

    int progress(int index) const;
    int currentItem() const;
    int count() const { return int(m_items.size()); }
    const SequenceItem &item(int index) const { return m_items.at(index); }
    qint64 totalSeconds() const;
    // Milliseconds the run still has to go on the sequencer's clock: the
    // rest of the item on air and every item after it; the whole list
    // while the device warms up; -1 when no run goes on.
    qint64 remainingMs() const;
    QTime totalTime() const { return m_totalTime; }
    bool isRunning() const { return m_running; }
    // The last run's end when the device, the link, a stall or the
    // operator cut it short; item -1 when it was not. Cleared by the next
    // start.
    const CutShort &cutShort() const { return m_cutShort; }
    // The list the last run was cut short on has changed: the lines it
    // names are no longer the ones shown. Nothing changes while a run goes
    // on or before its end has been handed on to be recorded.
    void forgetCutShort();
    State state() const { return m_state; }

    void tick();
    // Only the items' part of the tick: the next item begins when its time
    // has come. For the moment an item is due, between ticks.
    void advance();
    // On the sequencer's clock, when the item on air is done; -1 with none.
    qint64 nextBoundaryMs() const;
    void setState(State state);

    static const char *stateName(State state);

private:
    // Begins the next item at `startMs` on the clock; false after the last.
    bool nextItem(qint64 startMs);
    qint64 elapsedMilliseconds() const;
    // Ends the run where the item on air stood at `atMs` on the clock.
    void endCutShort(const QString &reason, qint64 atMs, bool linkLost = false);
    // Takes down where the item on air stood at `atMs`, and why.
    void noteCutShort(const QString &reason, qint64 atMs, bool linkLost = false);
    // Every line done: the run is whole.
    void noteComplete(qint64 atMs);
    // On the clock, when the device came on air with the first item: when
    // the program saw it, or earlier when the device's own count says so
    // beyond its rounding; -1 when not known.
    qint64 onAirFromMs() const;
    // A second of real time on the clock, which a test may run faster.
    qint64 realSecondMs() const;
    // How far the device came on air before the program saw it (all of
    // it up to `atMs` when the program never did); 0 when it did not, or
    // by no more than its count's rounding.
    qint64 seenLateMs(qint64 atMs) const;
    // How long the run has been on air at `atMs`.
    qint64 onAirMs(qint64 atMs) const;
    // What a start and a resume from a cut clear of the run before.
    void beginRun();
    void push(RunEvent event);
    // What each value begun was sent for, up to `atMs`.
    QString sentText(qint64 atMs) const;
    // The same for a run that paused: per part and in all.
    QString partsText() const;
    // A run is warming up, on air or paused: its end is to be noted.
    bool runOpen() const { return m_state == S_WAIT_RF_READY || m_state == S_SEND_LF || m_state == S_PAUSED; }
    // The paused line goes on air again where it stopped.
    void resumeOnAir(qint64 now);
    void openStretch(int item, qint64 fromMs);
    void closeStretch(qint64 untilMs);

    State m_state = S_IDLE;
    State m_nextState = S_IDLE;
    int m_countdown = 0;
    TransmitControl *m_controller = nullptr;
    const Clock *m_clock = nullptr;
    QVector<SequenceItem> m_items;
    bool m_running = false;
    int m_index = 0;
    QTime m_totalTime = QTime(0, 0);
    QTime m_itemDuration = QTime(0, 0);
    qint64 m_itemStart = 0;  // on the clock, when the item began
    quint32 m_lfValue = 0;
    CutShort m_cutShort;
    RunEvents m_ownEvents;
    RunEvents *m_events = &m_ownEvents;
    quint32 m_run = 0;
    QElapsedTimer m_sinceTick;   // real time, for stalls
    qint64 m_lastTickClock = 0;  // on the clock, at the last tick on air
    qint64 m_heldUpMs = 0;       // on the clock, the stalls of this run
    // On the clock, when the device's own time runs out, as its status
    // replies tell it; the earliest told, since a reply read late tells
    // the time as it was when it was sent.
    qint64 m_deviceEndMs = std::numeric_limits<qint64>::max();
    // On the clock, when the device came on air by its own count; the
    // earliest told, since a reply read late tells less than it was.
    qint64 m_deviceFromMs = std::numeric_limits<qint64>::max();
    QElapsedTimer m_sinceStart;  // real time, since the run's start
    qint64 m_startClock = 0;     // on the clock, at the run's start

    // One value on air without a break: the parts of a run that paused
    // are told from these.
    struct Stretch
    {
        int part = 0;
        int item = 0;
        qint64 fromMs = 0;
        qint64 untilMs = -1;  // -1 while on air
    };
    QVector<Stretch> m_stretches;
    int m_pauseLimitMinutes = defaultPauseLimitMinutes;
    int m_pauses = 0;
    bool m_afterCut = false;      // resumed after the run was cut short
    int m_part = 0;               // the parts begun after the first
    qint64 m_pausedAtMs = -1;     // on the clock; -1 unless paused
    int m_pausedItem = 0;         // the line the run paused in
    qint64 m_pausedDoneMs = 0;    // how far that line had gone
    qint64 m_priorOnAirMs = 0;    // on air in the parts before this one
    qint64 m_partFromMs = -1;     // on the clock, when this part came on air
};

// Hands the list to the sequencer: one item per line, and the total time.
void loadWork(const WorkList &list, Sequencer &sequencer);
