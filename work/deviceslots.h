#pragma once

#include "device/runevents.h"
#include "device/statustext.h"
#include "device/tavik.h"
#include "discovery/machines.h"
#include "work/sequencer.h"

#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class Clock;
class QTimer;

// The five device slots: a controller and its sequencer each, bound to the
// registry's records, with one queue of run events per slot, and their
// tick. The window keeps only what it shows.
class DeviceSlots
{
public:
    static constexpr int count = Machine::deviceSlots;
    static constexpr int holdTicks = 20;

    DeviceSlots();
    ~DeviceSlots();
    DeviceSlots(const DeviceSlots &) = delete;
    DeviceSlots &operator=(const DeviceSlots &) = delete;

    Machines &registry() { return m_registry; }
    const Machines &registry() const { return m_registry; }
    Tavik &controller(int slot);
    const Tavik &controller(int slot) const;
    Sequencer &sequencer(int slot);
    const Sequencer &sequencer(int slot) const;
    // For every sequencer; the clock must outlive the slots.
    void setClock(const Clock *clock);
    qint64 clockMs() const;
    // How long any run may stay paused.
    void setPauseLimitMinutes(int minutes);

    // The device picked in the devices table; also the device the Work tab
    // shows and runs. The pick follows the record, not its row: a device
    // announcing itself goes on top and moves the others down, and the
    // pick must not slide onto another device. -1 when the picked record
    // has left the registry (nothing is shown or run then).
    int selectedRow() const;
    // Picks the record at this row; a row outside the registry picks none.
    void setSelectedRow(int row);
    // The registry key of the picked record; 0 for none.
    quint64 selectedKey() const { return m_selectedKey; }
    void selectKey(quint64 key) { m_selectedKey = key; }
    // The selected record's device slot, controller, sequencer and work
    // list; -1 or null when no record is selected or it has no device
    // slot (no work list when none is selected). The record found by the
    // pick is the one shown, so that what the Work tab shows and what it
    // runs are always the same device. None of them moves the registry's
    // cursor.
    int selectedSlot() const;
    Tavik *selectedController() { return slotPointer(m_controllers); }
    const Tavik *selectedController() const { return slotPointer(m_controllers); }
    Sequencer *selectedSequencer() { return slotPointer(m_sequencers); }
    const Sequencer *selectedSequencer() const { return slotPointer(m_sequencers); }
    WorkList *selectedWork();
    const WorkList *selectedWork() const;
    // Points the registry's cursor at the selected record, for the
    // registry's accessors of the current record; false when none is
    // selected.
    bool moveCursorToSelected();

    // Gives each of the first five records the controller and sequencer
    // of its slot, reached at the record's address. Records without a
    // device slot are never bound. A slot whose record left the registry,
    // or went to another record, first lets go of its device: a run on it
    // ends and the connection closes, so that no record inherits another
    // device's session.
    void bindDevices();
    // The registry key of the record the slot's controller is bound to; 0
    // for none. A record read anew (a restore, another file) is another
    // record, and its slot is bound afresh.
    quint64 boundKey(int slot) const { return slot >= 0 && slot < count ? m_boundKey[size_t(slot)] : 0; }
    // The controller of its slot is bound to the record at `index`.
    bool bound(int index) const;
    // The record's device is connected, connecting or has a run.
    bool slotBusy(int index) const;
    // The same, but only a device on the link is known to be where it is:
    // a controller still reaching for one follows its announcements.
    bool onLink(int index) const;
    // The serial number the slot's device reported on its link this
    // session; empty before it did.
    QString linkSerial(int slot) const { return m_linkSerial.at(size_t(slot)); }

    // Who is handed each run event of a slot, in order, after the slot's
    // sequencer has had those its controller told.
    using RunSink = std::function<void(int slot, const RunEvent &event)>;
    void setRunSink(RunSink sink) { m_sink = std::move(sink); }
    // Hands on every event the slot's queue holds. The queue's one reader.
    void drain(int slot);

    // What the operator should be told about the devices (a serial number
    // that changed), since the last call.
    QStringList takeNotices();

    // A run is going (or starting, or stopping) on some device.
    bool anyRunGoing() const;
    // A run going and not paused: its device may be on air.
    bool anyRunUnpaused() const;
    // The same on the device of the registry's record at `index`.
    bool runGoing(int index) const;
    // For a program about to end: every device that may be on air is sent
    // the stop command at once; waits at most waitMs for each to go out,
    // and at most waitMs more for every device to have read its stop.
    // The lines the controllers log go into their records' logs, and the
    // runs it ends are handed on. Returns how many were sent a stop.
    int stopAll(int waitMs = stopWaitMs);
    // How long an ending program waits for each device's stop to go out.
    static constexpr int stopWaitMs = 2000;

    // Reads and ticks every bound controller, moves its progress lines into
    // its record's log, then ticks its sequencer; what each tells of its
    // run is handed on in the order it happened. An item boundary that
    // falls between two ticks is met when it comes, not at the next tick.
    void tickBound();

    // Takes the connection events of every bound controller since the last
    // call into the words the status line shows.
    void takeConnectionEvents();
    QString eventWord(int slot) const
    {
        const std::optional<Tavik::Event> &last = m_events.at(size_t(slot)).last;
        return last ? StatusText::eventWord(*last) : QString();
    }
    // "Tavik " and the device's name, then its last event word.
    QString statusLine(int slot) const;

private:
    // The slot's run is going, starting or stopping.
    bool slotRunning(int slot) const;
    // The serial number the device reported on its link, taken into its
    // record; a change is said in the log, the notices and the status.
    void takeLinkSerial(Machine &machine, const QString &reported);
    void forgetSlot(int slot);
    void tickSlot(int index);
    // The next item boundary of the slot's run, met by a timer when it
    // falls before the next tick.
    void armBoundary(int slot);
    void passBoundary(int slot);

    struct Event
    {
        std::optional<Tavik::Event> last;
        int hold = 0;
    };

    Machines m_registry;
    template <typename T>
    T *slotPointer(const std::array<std::unique_ptr<T>, count> &objects) const
    {
        const int slot = selectedSlot();
        return slot >= 0 ? objects[size_t(slot)].get() : nullptr;
    }

    const Clock *m_clock;
    std::array<std::unique_ptr<Tavik>, count> m_controllers;
    std::array<std::unique_ptr<Sequencer>, count> m_sequencers;
    std::array<RunEvents, count> m_runEvents;
    std::array<std::unique_ptr<QTimer>, count> m_boundaries;
    RunSink m_sink;
    std::array<Event, count> m_events;
    std::array<quint64, count> m_boundKey {};
    // Per slot, this session: the serial number the device reported on its
    // link, and what its record was told when that changed.
    std::array<QString, count> m_linkSerial;
    std::array<QString, count> m_serialChange;
    QStringList m_notices;
    quint64 m_selectedKey = 0;
};
