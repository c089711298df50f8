#pragma once

#include <QString>
#include <QtGlobal>

#include <deque>

// What happens to one device's run, in the order it happened: the
// controller tells what the device and its link did, the sequencer what
// became of the list. One queue per device slot, written by both and read
// by one owner only, who hands each event on in turn; so no event is seen
// twice, none is taken by a reader it was not meant for, and none overtakes
// another.
struct RunEvent
{
    enum Kind {
        // From the controller.
        Interrupted,     // the transmission asked for ended (or never began) without a stop: text says why
        DeviceTimeLeft,  // an on-air status reply told the time the device has left: ms
        // The device answered again after a lost link, or was seen off air
        // after the stop of run `countRun`: ms is its time left, bits its
        // status, onAirMs its count of run `countRun`.
        DeviceHeard,
        // A device a killed program's run may have left on air is off air
        // after the stop a start sent it: ms is its time left, bits its
        // status. Of no run of this program: run is 0.
        FoundStopped,
        // From the sequencer.
        ItemBegun,       // item `item` went on air (its value handed over)
        Ended,           // the run is over: complete, or cut short at `item`, `progress` %, for `text`
        Idle,            // the stop at the end has run its course; nothing of the run is left
        Paused,          // off air at the operator's word at `item`, `progress` %, ms left in it
        Resumed,         // going on air again at `item` with ms left in it, as run `run` (was `resumedFrom`)
    };

    Kind kind = Interrupted;
    // The run the event belongs to, as the controller numbered it at the
    // start; an event of an earlier run tells the present one nothing.
    quint32 run = 0;
    // DeviceTimeLeft, DeviceHeard: the device's time left. Ended: how long
    // the run was on air by the program's clock.
    qint64 ms = 0;
    int item = -1;
    int progress = -1;
    quint32 bits = 0;
    // DeviceTimeLeft, DeviceHeard, Interrupted: how long the device has
    // been on air in the run by its own count (the time left it showed
    // while warming less the time it has left now); -1 when not told.
    // Paused: how long the run was on air in all by the program's clock.
    qint64 onAirMs = -1;
    bool complete = false;  // Ended: every line was done
    bool linkLost = false;  // Interrupted: the link went, the device may have gone on
    QString title;  // Ended: the title of the line cut short
    QString text;   // Interrupted, Ended: why
    // Ended, for a run that paused: what each value went out for, per part
    // and in all.
    QString sent;
    quint32 resumedFrom = 0;  // Resumed: the run's number before
    // Ended, cut short: how far into its line the run had gone, in ms.
    qint64 doneMs = -1;
    // DeviceHeard: the run the device last had a start of, whose time its
    // count tells; not `run` when the link went before that run's start.
    quint32 countRun = 0;
};

class RunEvents
{
public:
    void push(RunEvent event) { m_events.push_back(std::move(event)); }
    // The oldest event not yet taken; false when none is left.
    bool take(RunEvent &event)
    {
        if (m_events.empty())
            return false;
        event = std::move(m_events.front());
        m_events.pop_front();
        return true;
    }
    bool isEmpty() const { return m_events.empty(); }
    void clear() { m_events.clear(); }

private:
    std::deque<RunEvent> m_events;
};
