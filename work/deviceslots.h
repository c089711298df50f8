#pragma once

#include "device/statustext.h"
#include "device/tavik.h"
#include "discovery/machines.h"
#include "work/sequencer.h"

#include <QStringList>

#include <array>
#include <memory>
#include <optional>

class BroadcastUDP;
class Clock;

// The five device slots: a controller and its sequencer each, bound to the
// registry's records, and the device work of the 25 ms tick that needs no
// window. The window keeps only what it shows.
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
    Tavik &controller(int slot);
    Sequencer &sequencer(int slot);
    // For every sequencer; the clock must outlive the slots.
    void setClock(const Clock *clock);

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
    // of its slot. Records without a device slot are never bound. A slot
    // whose record left the registry, or went to another record, first
    // lets go of its device: a run on it ends and the connection closes,
    // so that no record inherits another device's session.
    void bindDevices();

    // Merges one decoded announcement into the registry. True when it
    // came from a device not known before and was added. An unknown serial
    // announced from the address of a device that reported another serial
    // on its link is that device: it makes no second record. A record whose
    // device is connected or running never takes another address from an
    // announcement (two devices with one serial number); one not on its
    // link follows its device to a new address at once. A sixth device
    // drops only a record that is idle and holds no work list.
    bool mergeAnnouncement(const Machine &announced);

    // The operator's edits of the registry. Each keeps the devices bound
    // to their records and the pick on its record, or, when the picked
    // record went, on the one now in its row.
    //
    // A device added by hand at this address goes on top and is picked.
    void addByHand(const QString &address);
    // A record with the factory address and port, named "--", on top.
    void addFactoryDefault();
    void removeSelected();
    void removeUnresponsive(const QDateTime &now = QDateTime::currentDateTime());
    void removeAll();
    // Moves the picked record one place up (-1) or down (+1); false when
    // there is no such place. The slots move with their records.
    bool moveSelected(int step);

    // A run on a slot that ended before its last line was done.
    struct RunCutShort
    {
        int slot = -1;
        QString deviceName;
        QString historyPath;  // the history the run was recorded in, or empty
        CutShort cut;
    };
    // The history file a run now starting on the slot was recorded in.
    // From here until the run ends, a small journal beside the registry
    // says that it goes on and at which line, and the registry is saved,
    // so that a program killed mid-run leaves word of it.
    void setRunHistory(int slot, const QString &path);
    // The history file the slot's run is recorded in; empty for none.
    QString runHistory(int slot) const { return slot >= 0 && slot < count ? m_runHistory[size_t(slot)] : QString(); }
    // For a program starting: the runs a killed program left in the
    // journal. Each device is pinged at once and stopped if it is on air;
    // each run is reported cut short (takeCutShorts) and written into its
    // device's log. Returns how many there were.
    int recoverInterruptedRuns();
    // "runs.dat" beside the registry file; empty when the registry has no file.
    QString journalPath() const;
    QList<RunCutShort> takeCutShorts();
    // What the operator should be told about the registry (conflicts,
    // devices not added), since the last call.
    QStringList takeNotices();

    // A run is going (or starting, or stopping) on some device.
    bool anyRunGoing();
    // The same on the device of the registry's record at `index`.
    bool runGoing(int index);
    // For a program about to end: every device that may be on air is sent
    // the stop command at once; waits at most waitMs for each to go out,
    // and at most waitMs more for every device to have read its stop.
    // The lines the controllers log go into their records' logs. Returns
    // how many were sent a stop.
    int stopAll(int waitMs = stopWaitMs);
    // How long an ending program waits for each device's stop to go out.
    static constexpr int stopWaitMs = 2000;

    // Reads and ticks every bound controller, moves its progress lines into
    // its record's log, then ticks its sequencer.
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
    QString statusLine(int slot);

private:
    void pickAfterRemoval(int rowBefore);
    // The slot's run is going, starting or stopping.
    bool slotRunning(int slot);
    // The controller of its slot is bound to the record at `index`.
    bool bound(int index) const;
    // The record's device is connected, connecting or has a run.
    bool slotBusy(int index);
    // The same, but only a device on the link is known to be where it is:
    // a controller still reaching for one follows its announcements.
    bool onLink(int index);
    void writeJournal();
    // The serial number the device reported on its link, taken into its
    // record; a change is said in the log, the notices and the status.
    void takeLinkSerial(Machine &machine, const QString &reported);
    void forgetSlot(int slot);
    // A record leaving the registry at the operator's word ends its run
    // like any other: stopped, and recorded as cut short where it stood.
    void endRunOfRemoved(int index);
    // Reports the run of the record at `index` as cut short, in the
    // record's log and for its history, and drops it from the journal.
    void endRun(int index, const CutShort &cut);

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

    std::array<std::unique_ptr<Tavik>, count> m_controllers;
    std::array<std::unique_ptr<Sequencer>, count> m_sequencers;
    std::array<Event, count> m_events;
    // The registry key of the record each slot's controller is bound to; 0
    // for none. A record read anew (a restore, another file) is another
    // record, and its slot is bound afresh.
    std::array<quint64, count> m_boundKey {};
    std::array<QString, count> m_runHistory;
    // The line each slot's run is at, as the journal has it; -1 for none.
    std::array<int, count> m_journalLine;
    // Per slot, this session: the serial number the device reported on its
    // link, and what its record was told when that changed.
    std::array<QString, count> m_linkSerial;
    std::array<QString, count> m_serialChange;
    QList<RunCutShort> m_cutShorts;
    QStringList m_notices;
    // Announcements already reported, so that one every two seconds does
    // not repeat the notice: "serial@address".
    QStringList m_reported;
    quint64 m_selectedKey = 0;
};
