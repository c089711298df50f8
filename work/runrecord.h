#pragma once

#include "device/runevents.h"
#include "discovery/machine.h"
#include "work/runjournal.h"
#include "work/runrules.h"
#include "work/sequencer.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

class DeviceSlots;
class Library;
class WorkList;

// One device's last run as the program records it: what was started, how it
// ended, and what of it is still owed (the device's stop, the device's own
// word after a lost link, the journal entry).
struct RunRecord
{
    struct Line
    {
        QString title;
        quint32 lf = 0;
        qint64 ms = 0;        // its time in the list
        qint64 beganMs = -1;  // on air from this far into the run, by the program's clock
        int progress = 0;     // percent, as recorded

        // The percent `doneMs` into it makes; a line of no time is done.
        int progressAt(qint64 doneMs) const
        {
            return ms > 0 ? int(qBound(qint64(0), doneMs * 100 / ms, qint64(100))) : 100;
        }
    };

    quint32 run = 0;  // the controller's number for it
    quint64 key = 0;  // the registry record of its device
    QString serial;
    QString deviceName;
    QString historyPath;  // empty: recorded in no history
    QString program;
    int version = 0;
    QString started;
    qint64 timeGivenMs = 0;  // the transmission time the device was given
    QList<Line> lines;
    int line = 0;  // the line on air
    // How far into that line the run had gone at the last word the journal
    // took of it (its start, a pause, a resume).
    qint64 lineDoneMs = 0;
    // How far into its line a run cut short had gone; -1 when not known.
    qint64 cutDoneMs = -1;

    bool going = false;
    bool ended = false;
    bool complete = false;
    CutShort cut;          // where it ended, when cut short
    QString end;           // the end as a killed program's journal recorded it
    qint64 onAirMs = -1;   // how long it was on air, as far as known
    // The link went with the run: the device may have gone on transmitting
    // until it read the stop, and its status says how long when it answers.
    bool awaitingDevice = false;
    bool stopped = false;    // the stop at its end has run its course
    bool journaled = false;  // its entry is in the journal
    bool recovered = false;  // from the journal a killed program left
    // "dd.MM.yyyy hh:mm:ss" when the run paused; empty while it is not.
    QString pausedAt;
    // Each start the device was sent for the run: the controller's number
    // for it, how long the run had been on air by the program's clock when
    // it was sent, how long it went by that clock once it was stopped (-1
    // while it goes), and whether the device's own count of it was heard.
    struct Part
    {
        quint32 run = 0;
        qint64 fromMs = 0;
        qint64 ms = -1;
        bool counted = false;
        qint64 sentAtMs = 0;  // by the slots' clock
    };
    QList<Part> parts;
    qint64 pausedOnAirMs = 0;  // on air when it last paused, by the program's clock
    qint64 beforeCutMs = 0;    // on air before a resume after its cut
    // On air after a stop the device read late, by its own count.
    qint64 beyondMs = 0;
    // For a run that paused: what each value went out for, per part and in
    // all.
    QString sent;
    // When the device's own time runs out in this part, by the slots'
    // clock, as its replies on air tell it (the earliest told: a reply
    // read late tells a later end); -1 before one did.
    qint64 deviceEndMs = -1;
    // The last point the journal took of the run (its start, a line begun,
    // a pause, a resume): when it was by the slots' clock (-1 when the
    // device was not on air then), and the device's own count there
    // (RunJournal::Entry): what a start after a kill tells how long the
    // device went on by itself from.
    qint64 pointAtMs = -1;
    qint64 pointLeftMs = -1;
    bool pointWarming = false;
    quint32 pointLf = 0;
    // The end is in the journal, but the device's log, the history and the
    // notice wait for the device's word on it (the answer to the stop at
    // its end, or, after a kill, how the next start found it), so that the
    // run's end is recorded once, with what the device did; for at most
    // endOwedTicks device ticks.
    bool endOwed = false;
    int owedTicks = 0;
    int revision = 0;        // grows with each word on its end

    // It paused at some time: the device's count of it is taken part by
    // part.
    bool pausedOnce() const { return parts.size() > 1 || pausedOnAirMs > 0 || !pausedAt.isEmpty(); }
    // "cut short at line N (...): why", or empty for a complete run.
    QString endText() const
    {
        if (complete)
            return QString();
        // "Nothing sent" is what the program saw; the device's own count,
        // when it went on air after all, is in the reason.
        const bool told = !sent.isEmpty() && !(sentNothing() && beyondMs > 0);
        return !end.isEmpty() ? end : told ? cut.text() + QStringLiteral("; ") + sent : cut.text();
    }
    // The sequencer saw no part of a run that paused or resumed on air.
    bool sentNothing() const { return Sequencer::sentNothing(sent); }
    // What the history and the notice say: "Tavik NAME: run cut short ...".
    QString noteText() const { return QStringLiteral("Tavik %1: run ").arg(deviceName) + endText(); }
    // The lines a run of this work list has, as the sequencer takes them.
    static QList<Line> linesOf(const WorkList &work);
    // Every line of the list it ran, with these titles, values and times.
    bool ran(const QList<Line> &other) const;
    // The lines in short, as the journal keeps them.
    static QString planOf(const QList<Line> &lines);
    // How far into its line the run was cut.
    qint64 cutLineDoneMs() const;
    // What a resume would send: the cut line's time left and every line
    // after it; -1 when it cannot be resumed.
    qint64 resumeMs() const;
};

// The one writer of a run's record: its start (the journal, then the open
// client's history) and its end, whichever way it comes (the device, the
// link, the operator, the program's end, a delete, or a killed program's
// journal): the journal first, then the device's log, the history and the
// notice. Fed the slots' run events in the order they happened.
class RunRecorder
{
public:
    // How long an end waits for the device's word: a device slow to leave
    // the air takes some seconds, and a device that has not answered in
    // ten may never do so.
    static constexpr int endOwedTicks = 400;

    RunRecorder(DeviceSlots &devices, Library &library);
    ~RunRecorder();
    RunRecorder(const RunRecorder &) = delete;
    RunRecorder &operator=(const RunRecorder &) = delete;

    // Starts the picked device's work list: the rules checked, the list
    // loaded into its sequencer and, once the sequencer has taken the run,
    // the run journaled and recorded in the open client's history. `notice`
    // says when there is no client to record it for.
    RunRules::Outcome start(QString &notice);

    // The picked device's last run, cut short, goes on where it was cut
    // (its line, and how far that line got), recorded as the same run
    // resumed; only while its work list is the one it ran.
    RunRules::Outcome resumeCut(QString &notice);
    // The picked device's last run was stopped and the device is still
    // going off air (a slow one, for seconds): its end is recorded once it
    // is off, and a new start waits for that, as the screen has it.
    bool stillEnding() const;
    // The line the picked device's last run may be resumed from, or -1.
    int resumableLine() const;
    // What its resume would send, in ms; -1 with none.
    qint64 resumableMs() const;

    // At start-up, once the registry is bound: the runs a killed program
    // left in the journal. Each device is reached at once and stopped; each
    // run's end goes into its history and its device's log, unless it is
    // there already. An unreadable journal is kept aside, every device is
    // checked, and the operator is told. Returns how many runs were found.
    int recover();

    // Once per device tick: a run whose end is recorded and of which
    // nothing is owed any more leaves the journal.
    void tick();
    // For a program about to end, after its stops have gone out: the
    // entries of devices that read their stop leave the journal once what
    // was written beside the window is on disk.
    void settle(int waitMs);

    // The last run of the record now bound to the slot; null for none.
    const RunRecord *record(int slot) const;
    // The last run of the picked device.
    const RunRecord *selectedRecord() const;

    // What the operator is told, and whether a run ended, since the last
    // call.
    struct Report
    {
        QStringList notices;
        bool ended = false;
    };
    Report takeReport();

private:
    void handle(int slot, const RunEvent &event);
    void ended(RunRecord &record, int slot, const RunEvent &event);
    void heard(int slot, RunRecord &record, const RunEvent &event);
    // Takes the device's count of a part of the run, when it says more
    // than the program saw; true when it did.
    bool counted(int slot, RunRecord &record, const RunEvent &event, bool wanted);
    // How the next start found the device a killed program's run left.
    void found(RunRecord &record, const RunEvent &event);
    // The end the device's word was waited for, recorded with what is known.
    void tellOwed(RunRecord &record);
    // The journal's point of a run going on, with its device's count now.
    void takePoint(int slot, RunRecord &record) const;
    // A pause or a resume into the journal, the device's log and the history.
    void paused(RunRecord &record, const RunEvent &event);
    void resumed(RunRecord &record, const RunEvent &event);
    // A line into the device's log and a note into the run's history.
    void tell(RunRecord &record, const QString &text);
    // The end (or a later word on it) into the journal, the device's log,
    // the history and the notice.
    void writeEnd(RunRecord &record);
    Machine *machineOf(const RunRecord &record);
    void saveRegistry();
    void writeJournal();
    RunJournal::Entry entryOf(const RunRecord &record) const;
    bool settled(int slot, const RunRecord &record) const;
    // A run the program's end cut short that the next start may resume.
    bool offerStands(int slot, const RunRecord &record) const;
    bool resumable(int slot, const RunRecord &record) const;

    DeviceSlots &m_devices;
    Library &m_library;
    RunJournal m_journal;
    std::array<RunRecord, Machine::deviceSlots> m_records;
    Report m_report;
    bool m_journalOwed = false;  // a line changed since the journal was written
};
