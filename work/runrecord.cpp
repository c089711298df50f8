#include "work/runrecord.h"

#include "data/clients.h"
#include "data/library.h"
#include "data/textforms.h"
#include "data/worklist.h"
#include "data/writebeside.h"
#include "device/tavik.h"
#include "work/deviceslots.h"
#include "work/runhistory.h"
#include "work/runstart.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <algorithm>
#include <QFileInfo>

namespace {

// Why a journaled run ended, when the program that ran it could not say.
const char *const killedReason = "The program ended during the run without stopping it";
// The same for a run it had paused: the device was sent its stop then.
const char *const killedPausedReason = "The program ended while the run was paused";
// The journal's word for a run whose every line was done.
const char *const completeWord = "complete";

QString minutesSeconds(qint64 ms)
{
    const qint64 seconds = (qMax<qint64>(0, ms) + 500) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// "12.3": seconds to a tenth, as the notes give the device's count.
QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 1);
}

QString wentOnText(const RunRecord &record)
{
    // Stopped before the program saw it on air: the device's count is all
    // there is of this start.
    if (record.sentNothing() && record.beyondMs > 0)
        return QStringLiteral("; the device was on air %1 s before it obeyed the stop, %2 s on air in all")
            .arg(seconds(record.beyondMs), seconds(record.onAirMs));
    // The parts of a run that paused were told before the device's word.
    if (!record.sent.isEmpty() && record.beyondMs > 0)
        return QStringLiteral("; the device went on until it obeyed the stop, %1 s more than the parts say, %2 s on air "
                              "in all")
            .arg(seconds(record.beyondMs), seconds(record.onAirMs));
    return QStringLiteral("; the device went on until it obeyed the stop, %1 s on air in all").arg(seconds(record.onAirMs));
}

} // namespace

QList<RunRecord::Line> RunRecord::linesOf(const WorkList &work)
{
    // What loadWork hands the sequencer, taken the same way.
    QList<Line> lines;
    for (const WorkLine &line : work.records()) {
        const SequenceItem item = Sequencer::makeItem(TextForm::versioned(line.name, line.version), line.value,
                                                      qMax(0, line.time));
        lines.append({item.title, item.lf, item.duration.msecsSinceStartOfDay(), -1, 0});
    }
    return lines;
}

bool RunRecord::ran(const QList<Line> &other) const
{
    if (other.size() != lines.size())
        return false;
    for (int i = 0; i < lines.size(); ++i) {
        const Line &a = lines.at(i);
        const Line &b = other.at(i);
        if (a.title != b.title || a.lf != b.lf || a.ms != b.ms)
            return false;
    }
    return true;
}

QString RunRecord::planOf(const QList<Line> &lines)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const Line &line : lines) {
        hash.addData(line.title.toUtf8());
        hash.addData(QByteArray(1, '\x1f') + QByteArray::number(line.lf) + '\x1f' + QByteArray::number(line.ms) + '\x1e');
    }
    return QString::fromLatin1(hash.result().toHex());
}

qint64 RunRecord::cutLineDoneMs() const
{
    if (cut.item < 0 || cut.item >= lines.size())
        return 0;
    const qint64 lineMs = lines.at(cut.item).ms;
    // A run whose exact place was not heard goes by its percent.
    return qBound<qint64>(0, cutDoneMs >= 0 ? cutDoneMs : lineMs * qMax(0, cut.progress) / 100, lineMs);
}

qint64 RunRecord::resumeMs() const
{
    if (!ended || complete || cut.item < 0 || cut.item >= lines.size())
        return -1;
    qint64 ms = lines.at(cut.item).ms - cutLineDoneMs();
    for (int i = cut.item + 1; i < lines.size(); ++i)
        ms += lines.at(i).ms;
    // A device that went on by itself to the end of the list left nothing.
    return ms > 0 ? ms : -1;
}

namespace {

// The device is given the list's time and 3 s for its warm-up, at most
// what it takes.
qint64 timeGivenMs(const Sequencer &sequencer)
{
    return qMin<qint64>(sequencer.totalSeconds() + 3, Tavik::maxTransmitTime) * 1000;
}

} // namespace

RunRecorder::RunRecorder(DeviceSlots &devices, Library &library)
    : m_devices(devices), m_library(library)
{
    m_devices.setRunSink([this](int slot, const RunEvent &event) { handle(slot, event); });
}

RunRecorder::~RunRecorder()
{
    m_devices.setRunSink({});
}

RunRules::Outcome RunRecorder::start(QString &notice)
{
    notice.clear();
    const RunRules::Outcome checked = RunStart::outcome(m_devices);
    if (checked != RunRules::Outcome::Ready)
        return checked;
    Sequencer &sequencer = *m_devices.selectedSequencer();
    WorkList &work = *m_devices.selectedWork();
    const int slot = m_devices.selectedSlot();
    loadWork(work, sequencer);
    // Recorded only once the sequencer has taken the run.
    if (!sequencer.start())
        return checked;

    const Machine &machine = m_devices.registry().records().at(m_devices.selectedRow());
    RunRecord &record = m_records[size_t(slot)];
    // Started again while the device is still going off air: the run
    // stopped is written with what is known, not lost with its record.
    if (record.endOwed)
        tellOwed(record);
    record = RunRecord();
    record.run = sequencer.run();
    record.key = m_devices.selectedKey();
    record.serial = machine.serialNumber;
    record.deviceName = machine.name;
    record.historyPath = m_library.hasOpenClient() ? m_library.history().path() : QString();
    record.program = work.programName;
    record.version = work.programVersion;
    record.started = TextForm::stampText(QDateTime::currentDateTime(), TextForm::dateTimePattern);
    record.timeGivenMs = timeGivenMs(sequencer);
    record.lines = RunRecord::linesOf(work);
    record.parts = {{record.run, 0, -1, false, m_devices.clockMs()}};
    record.going = true;
    record.journaled = true;
    // On disk before the device is sent anything and before the history
    // shows the run: a program killed from here on leaves word of it.
    writeJournal();
    // The record the journal names, with its log and list, follows.
    saveRegistry();
    if (record.historyPath.isEmpty()) {
        notice = QStringLiteral(" No client open: this run is not recorded in a history");
        return checked;
    }
    RunStart::recordRun(m_library, work);
    return checked;
}

bool RunRecorder::stillEnding() const
{
    const RunRecord *last = selectedRecord();
    return last && last->ended && last->endOwed;
}

int RunRecorder::resumableLine() const
{
    const RunRecord *last = selectedRecord();
    const WorkList *work = m_devices.selectedWork();
    if (!last || last->endOwed || last->resumeMs() < 0 || !work || !last->ran(RunRecord::linesOf(*work)))
        return -1;
    // A run a killed program left: only once its device has read the stop
    // the start sent it, and only from the place its journal told.
    if (last->recovered && (last->cutDoneMs < 0 || m_devices.controller(m_devices.selectedSlot()).owesStop()))
        return -1;
    return last->cut.item;
}

qint64 RunRecorder::resumableMs() const
{
    return resumableLine() < 0 ? -1 : selectedRecord()->resumeMs();
}

RunRules::Outcome RunRecorder::resumeCut(QString &notice)
{
    notice.clear();
    const RunRules::Outcome checked = RunStart::outcome(m_devices);
    const int line = resumableLine();
    if (checked != RunRules::Outcome::Ready)
        return checked;
    if (line < 0)
        return RunRules::Outcome::NothingToRun;
    const int slot = m_devices.selectedSlot();
    RunRecord &record = m_records[size_t(slot)];
    Sequencer &sequencer = *m_devices.selectedSequencer();
    loadWork(*m_devices.selectedWork(), sequencer);
    const qint64 doneMs = record.cutLineDoneMs();
    if (!sequencer.resumeFrom(line, doneMs))
        return checked;
    if (record.recovered) {
        // Its number was the killed program's: the one this resume was
        // given is the run's from here on, and the earlier program's part
        // is one whose count nobody will hear.
        record.run = sequencer.run();
        record.recovered = false;
        record.end.clear();
        record.parts = {{0, 0, 0, true, 0}};
        record.timeGivenMs = timeGivenMs(sequencer);
    }
    // The same run, resumed: its history entry and its journal entry go
    // on; the Resumed event the sequencer tells moves the record to the
    // run's new number and says so in the log and the history.
    record.going = true;
    record.ended = false;
    record.awaitingDevice = false;
    record.endOwed = false;
    record.stopped = false;
    record.journaled = true;
    record.line = line;
    record.lineDoneMs = doneMs;
    record.pointAtMs = record.deviceEndMs = -1;
    record.sent.clear();
    // The sequencer counts the time on air from nothing again.
    record.beforeCutMs = qMax<qint64>(0, record.onAirMs);
    record.beyondMs = 0;
    record.pausedOnAirMs = 0;
    writeJournal();
    saveRegistry();
    if (record.historyPath.isEmpty())
        notice = QStringLiteral(" No client was open at its start: this run is not recorded in a history");
    return checked;
}

void RunRecorder::handle(int slot, const RunEvent &event)
{
    if (slot < 0 || slot >= int(m_records.size()))
        return;
    RunRecord &record = m_records[size_t(slot)];
    if (event.kind == RunEvent::FoundStopped) {
        if (record.recovered && record.endOwed && record.key == m_devices.boundKey(slot))
            found(record, event);
        return;
    }
    // A resumed run goes on under the number its controller gave the resume.
    if (event.kind == RunEvent::Resumed && event.resumedFrom != 0 && event.resumedFrom == record.run
        && record.key == m_devices.boundKey(slot))
        record.run = event.run;
    const bool earlierPart = event.kind == RunEvent::DeviceHeard
        && std::any_of(record.parts.cbegin(), record.parts.cend(), [&](const RunRecord::Part &part) { return part.run == event.run; });
    if (event.run == 0 || (event.run != record.run && !earlierPart) || record.key != m_devices.boundKey(slot))
        return;
    switch (event.kind) {
    case RunEvent::Paused:
        if (record.going)
            paused(record, event);
        break;
    case RunEvent::Resumed:
        if (record.going)
            resumed(record, event);
        break;
    case RunEvent::ItemBegun:
        if (event.item >= 0 && event.item < record.lines.size())
            record.lines[event.item].beganMs = event.ms;
        // Written at the next tick, not here: an item's boundary may be met
        // between ticks, when every moment counts for the other devices.
        if (record.going && event.item != record.line) {
            record.line = event.item;
            record.lineDoneMs = 0;
            record.pointAtMs = m_devices.clockMs();
            m_journalOwed = true;
        }
        break;
    case RunEvent::DeviceTimeLeft:
        if (record.going) {
            const qint64 end = m_devices.clockMs() + event.ms;
            record.deviceEndMs = record.deviceEndMs < 0 ? end : qMin(record.deviceEndMs, end);
        }
        break;
    case RunEvent::Ended:
        if (record.going)
            ended(record, slot, event);
        break;
    case RunEvent::Idle:
        record.stopped = true;
        break;
    case RunEvent::DeviceHeard:
        heard(slot, record, event);
        break;
    default:
        break;
    }
}

void RunRecorder::ended(RunRecord &record, int slot, const RunEvent &event)
{
    record.going = false;
    record.ended = true;
    record.complete = event.complete;
    if (!record.parts.isEmpty() && record.parts.last().ms < 0)
        record.parts.last().ms = qMax<qint64>(0, event.ms - record.parts.last().fromMs);
    record.onAirMs = record.beforeCutMs + event.ms + record.beyondMs;
    record.sent = event.sent;
    if (record.complete && record.beyondMs > 0 && !record.sent.isEmpty())
        record.sent += wentOnText(record);
    const Sequencer &sequencer = m_devices.sequencer(slot);
    for (int i = 0; i < record.lines.size() && i < sequencer.count(); ++i)
        record.lines[i].progress = record.complete ? 100 : sequencer.progress(i);
    if (!record.complete) {
        record.cut.item = event.item;
        record.cut.progress = event.progress;
        record.cutDoneMs = event.doneMs;
        record.cut.title = event.title;
        record.cut.reason = event.text;
        // A device that fell silent or dropped the link may have gone on
        // with the value it had: its own count tells how long, once it
        // answers again.
        record.awaitingDevice = event.linkLost;
        // A device sent the stop goes on until it obeys, a slow one for
        // seconds: the reply that shows it off air tells how long, and the
        // end waits for it.
        record.endOwed = !event.linkLost && record.run != 0 && m_devices.controller(slot).stoppingRun() == record.run;
        if (record.endOwed) {
            record.owedTicks = endOwedTicks;
            if (record.journaled)
                writeJournal();
            return;
        }
        if (record.beyondMs > 0)
            record.cut.reason += wentOnText(record);
    }
    writeEnd(record);
}

void RunRecorder::heard(int slot, RunRecord &record, const RunEvent &event)
{
    const bool lostLink = record.awaitingDevice && event.run == record.run;
    if (lostLink)
        record.awaitingDevice = false;
    // The answer to the stop at the run's end, which its record waits for.
    const bool owed = record.endOwed && !record.recovered && event.run == record.run;
    // A run that never paused and kept its link was seen off air by the
    // program itself, but for the time the device took to obey its stop.
    const bool paused = record.pausedOnce();
    const qint64 beyondBefore = record.beyondMs;
    const bool more = counted(slot, record, event, paused || lostLink || owed) && record.ended;
    const int item = record.cut.item;
    if (more && item >= 0 && item < record.lines.size()) {
        // Nothing reached the device after its stop or after the link
        // went: it went on with the value of the line on air then. A resume
        // from that line must not send it again.
        RunRecord::Line &line = record.lines[item];
        if (!paused) {
            const qint64 onLine = record.onAirMs - qMax<qint64>(0, line.beganMs);
            record.cutDoneMs = qMax(record.cutDoneMs, qBound<qint64>(0, onLine, line.ms));
        } else {
            record.cutDoneMs = qBound<qint64>(0, record.cutLineDoneMs() + record.beyondMs - beyondBefore, line.ms);
        }
        line.progress = qMax(line.progress, line.progressAt(record.cutDoneMs));
        record.cut.progress = line.progress;
    }
    if (owed) {
        tellOwed(record);
    } else if (more) {
        record.cut.reason += wentOnText(record);
        writeEnd(record);
    }
}

bool RunRecorder::counted(int slot, RunRecord &record, const RunEvent &event, bool wanted)
{
    // What the device's own count says it transmitted for the start it
    // last had: the time left it showed while warming (the time it was
    // given, unless it counts its warm-up too) less the time it has left.
    // Taken for a start of this run that has ended, when it says more than
    // the program saw.
    const bool paused = record.pausedOnce();
    const auto part = std::find_if(record.parts.begin(), record.parts.end(),
                                   [&](const RunRecord::Part &p) { return p.run == event.countRun; });
    if (!wanted || part == record.parts.end() || part->counted || part->ms < 0 || record.complete || event.onAirMs < 0)
        return false;
    // A device that restarted, or fell to stand-by, shows a time left that
    // says nothing of the run; nor can a count be longer than the time
    // since the start was sent.
    const qint64 limitMs = qMin(paused ? qint64(Tavik::maxTransmitTime) * 1000 : record.timeGivenMs,
                                m_devices.clockMs() - part->sentAtMs + 1000);
    if ((event.bits & Protocol::StandBy) || event.onAirMs > limitMs)
        return false;
    part->counted = true;
    const qint64 beyond = event.onAirMs - part->ms;
    if (beyond <= 1000)
        return false;
    // Paused in this part: the device had the paused line's value on air
    // for longer than the program saw (before it saw the device on air, and
    // until a slow device obeyed the stop). The line has that much less
    // left, so that the resume does not send those seconds again, and the
    // part says it.
    const bool pausedHere = !record.pausedAt.isEmpty() && part + 1 == record.parts.end() && record.line >= 0
        && record.line < record.lines.size();
    if (pausedHere && m_devices.sequencer(slot).wentOnAfterPause(beyond)) {
        part->ms += beyond;
        record.pausedOnAirMs += beyond;
        const RunRecord::Line &line = record.lines.at(record.line);
        record.lineDoneMs = qMin(line.ms, record.lineDoneMs + beyond);
        if (record.journaled)
            writeJournal();
        tell(record, QStringLiteral("paused: by its own count the device was on air %1 s longer than the program "
                                    "saw, with LF %2; line %3 has %4 left")
                         .arg(seconds(beyond))
                         .arg(line.lf)
                         .arg(record.line + 1)
                         .arg(minutesSeconds(line.ms - record.lineDoneMs)));
        return false;
    }
    record.beyondMs += beyond;
    // A run still paused says it when it ends.
    if (record.ended)
        record.onAirMs += beyond;
    return true;
}

void RunRecorder::tellOwed(RunRecord &record)
{
    record.endOwed = false;
    if (!record.recovered && record.beyondMs > 0)
        record.cut.reason += wentOnText(record);
    writeEnd(record);
}

void RunRecorder::found(RunRecord &record, const RunEvent &event)
{
    const qint64 left = event.ms;
    QString word;
    // A device in stand-by restarted: its count says nothing of the run.
    if (record.pointLeftMs >= 0 && !(event.bits & Protocol::StandBy)) {
        const QString until = left == 0 ? QStringLiteral("until its own time ran out")
                                        : QStringLiteral("until it was stopped");
        const qint64 ms = record.pointLeftMs - left;
        // Both ends of the count go by whole seconds rounded up, and the
        // point's by a reply read a little late.
        constexpr qint64 roundingMs = 1500;
        const qint64 lineMs = record.cut.item >= 0 && record.cut.item < record.lines.size()
            ? record.lines.at(record.cut.item).ms : -1;
        if (ms < -roundingMs) {
            // More time left than the journal knew of: another host started
            // it since; its count says nothing of the run.
        } else if (record.pointWarming && ms <= roundingMs) {
            word = QStringLiteral("; by its own count the device had not gone on air when the next start stopped it");
        } else if (record.pointWarming) {
            // A device may count its warm-up too: the count bounds the time
            // on air from above, once a second is added for its two ends'
            // rounding.
            word = QStringLiteral("; the device may have gone on air with LF %1 %2: at most %3 s on air by its own count")
                       .arg(record.pointLf).arg(until, seconds(ms + 1000));
        } else if (ms > roundingMs) {
            const qint64 doneMs = qMax<qint64>(0, record.lineDoneMs);
            word = QStringLiteral("; the device went on with LF %1 %2: %3 s on air from %4 into line %5, where the program "
                                  "last placed the run, by its own count")
                       .arg(record.pointLf).arg(until, seconds(ms), minutesSeconds(doneMs)).arg(record.cut.item + 1);
            if (lineMs >= 0 && doneMs + ms > lineMs)
                word += QStringLiteral(", %1 s beyond the line's time").arg(seconds(doneMs + ms - lineMs));
            // A resume goes on from where the device got to, and the bars show it.
            if (lineMs > 0 && record.cutDoneMs >= 0) {
                record.cutDoneMs = qMin(lineMs, record.cutDoneMs + ms);
                record.lines[record.cut.item].progress = record.lines.at(record.cut.item).progressAt(record.cutDoneMs);
            }
        }
    }
    // Told once: a start after another kill adds nothing more.
    record.pointLeftMs = -1;
    if (!record.end.isEmpty())
        record.end += word;
    else
        record.cut.reason += word;
    tellOwed(record);
}

namespace {

// How far into its line a pause or a resume finds the run.
qint64 lineDoneOf(const RunRecord &record, const RunEvent &event)
{
    if (event.item < 0 || event.item >= record.lines.size())
        return 0;
    const qint64 ms = record.lines.at(event.item).ms;
    return qBound<qint64>(0, ms - event.ms, ms);
}

} // namespace

void RunRecorder::paused(RunRecord &record, const RunEvent &event)
{
    record.pausedAt = TextForm::stampText(QDateTime::currentDateTime(), "dd.MM.yyyy hh:mm:ss");
    record.pausedOnAirMs = qMax<qint64>(0, event.onAirMs);
    if (!record.parts.isEmpty() && record.parts.last().ms < 0)
        record.parts.last().ms = qMax<qint64>(0, record.pausedOnAirMs - record.parts.last().fromMs);
    record.line = qBound(0, event.item, qMax(0, int(record.lines.size()) - 1));
    record.lineDoneMs = lineDoneOf(record, event);
    record.pointAtMs = m_devices.clockMs();
    // The journal knows before anything else that the run is paused: a
    // program killed now leaves word that it was.
    if (record.journaled)
        writeJournal();
    tell(record, QStringLiteral("paused at line %1 (%2, %3 %, %4 left in it) at %5")
                     .arg(event.item + 1)
                     .arg(event.title)
                     .arg(event.progress)
                     .arg(minutesSeconds(event.ms), record.pausedAt));
}

void RunRecorder::resumed(RunRecord &record, const RunEvent &event)
{
    record.pausedAt.clear();
    record.parts.append({event.run, record.pausedOnAirMs, -1, false, m_devices.clockMs()});
    record.line = qBound(0, event.item, qMax(0, int(record.lines.size()) - 1));
    record.lineDoneMs = lineDoneOf(record, event);
    record.pointAtMs = record.deviceEndMs = -1;
    if (record.journaled)
        writeJournal();
    tell(record, QStringLiteral("resumed at line %1 (%2, %3 left in it)")
                     .arg(event.item + 1)
                     .arg(event.title, minutesSeconds(event.ms)));
}

void RunRecorder::tell(RunRecord &record, const QString &text)
{
    if (Machine *machine = machineOf(record))
        machine->logs.add(QStringLiteral("Run ") + text);
    RunHistory::addNote(m_library, record.historyPath, QStringLiteral("Tavik %1: run ").arg(record.deviceName) + text);
    saveRegistry();
}

void RunRecorder::saveRegistry()
{
    // A registry of no file (a test's, the benchmark's) keeps its logs in
    // memory only.
    if (!m_devices.registry().path().isEmpty())
        m_devices.registry().saveIfChanged();
}

Machine *RunRecorder::machineOf(const RunRecord &record)
{
    Machines &registry = m_devices.registry();
    return registry.recordAt(registry.indexOfKey(record.key));
}

void RunRecorder::writeEnd(RunRecord &record)
{
    m_report.ended = true;
    ++record.revision;
    // The end is in the journal before the log and the history are asked
    // to take it: a program killed in between finishes it at its next start.
    if (record.journaled)
        writeJournal();
    if (record.complete) {
        // A run that paused says what went out in each part.
        if (!record.sent.isEmpty())
            tell(record, QStringLiteral("complete; ") + record.sent);
        return;
    }
    const QString logLine = QStringLiteral("Run ") + record.endText();
    const QString note = record.noteText();
    // A start after a kill finds some of it there already.
    if (Machine *machine = machineOf(record)) {
        const QList<LogEntry> &log = machine->logs.records();
        const bool logged = record.recovered
            && std::any_of(log.cbegin(), log.cend(), [&](const LogEntry &entry) { return entry.text == logLine; });
        if (!logged)
            machine->logs.add(logLine);
    }
    if (!(record.recovered && RunHistory::holdsNote(m_library, record.historyPath, note)))
        RunHistory::addNote(m_library, record.historyPath, note);
    saveRegistry();
    m_report.notices.append(note);
}

RunJournal::Entry RunRecorder::entryOf(const RunRecord &record) const
{
    RunJournal::Entry entry;
    entry.serial = record.serial;
    const int index = m_devices.registry().indexOfKey(record.key);
    if (index >= 0)
        entry.address = AddressText::fromIpv4(m_devices.registry().records().at(index).connectAddress);
    entry.history = record.historyPath.isEmpty() ? QString() : QFileInfo(record.historyPath).completeBaseName();
    entry.program = record.program;
    entry.version = record.version;
    entry.started = record.started;
    entry.line = record.line;
    entry.title = record.line >= 0 && record.line < record.lines.size() ? record.lines.at(record.line).title
                                                                         : record.cut.title;
    if (record.ended)
        entry.end = record.complete ? QLatin1String(completeWord) : record.endText();
    else
        entry.paused = record.pausedAt;
    entry.lineDone = !record.ended ? record.lineDoneMs : record.complete ? -1 : record.cutDoneMs;
    if (!record.lines.isEmpty())
        entry.plan = RunRecord::planOf(record.lines);
    // A run going on, or one a killed program left whose device has not
    // told yet how long it went on.
    if ((!record.ended || record.recovered) && record.pointLeftMs >= 0) {
        entry.deviceLeft = record.pointLeftMs;
        entry.warming = record.pointWarming;
        entry.lf = record.pointLf;
    }
    return entry;
}

void RunRecorder::takePoint(int slot, RunRecord &record) const
{
    if (record.ended || record.recovered)
        return;
    // On air since the point, the device's count ran down from there.
    record.pointWarming = record.pointAtMs < 0 || record.deviceEndMs < 0;
    record.pointLeftMs = record.pointWarming ? m_devices.controller(slot).givenMs(record.run)
                                             : qMax<qint64>(0, record.deviceEndMs - record.pointAtMs);
    record.pointLf = record.line >= 0 && record.line < record.lines.size() ? record.lines.at(record.line).lf : 0;
}

void RunRecorder::writeJournal()
{
    m_journalOwed = false;
    m_journal.setFolder(m_devices.registry().path().isEmpty() ? QString()
                                                             : QFileInfo(m_devices.registry().path()).path());
    QList<RunJournal::Entry> entries;
    for (size_t slot = 0; slot < m_records.size(); ++slot) {
        RunRecord &record = m_records[slot];
        if (!record.journaled || record.key != m_devices.boundKey(int(slot)))
            continue;
        takePoint(int(slot), record);
        entries.append(entryOf(record));
    }
    m_journal.write(entries);
}

bool RunRecorder::resumable(int slot, const RunRecord &record) const
{
    return record.key == m_devices.boundKey(slot) && record.resumeMs() >= 0 && record.cutDoneMs >= 0;
}

bool RunRecorder::offerStands(int slot, const RunRecord &record) const
{
    if (!resumable(slot, record))
        return false;
    const Machine *machine = m_devices.registry().record(record.key);
    return machine && record.ran(RunRecord::linesOf(machine->work));
}

bool RunRecorder::settled(int slot, const RunRecord &record) const
{
    if (!record.ended || record.awaitingDevice || record.endOwed || m_devices.controller(slot).owesStop())
        return false;
    return record.recovered || record.stopped || m_devices.sequencer(slot).canStart();
}

void RunRecorder::tick()
{
    bool changed = std::exchange(m_journalOwed, false);
    for (size_t slot = 0; slot < m_records.size(); ++slot) {
        RunRecord &record = m_records[slot];
        if (!record.journaled)
            continue;
        // The record left the list (at the operator's word, its run ended
        // first): nobody is left to stop or to tell.
        if (record.key != m_devices.boundKey(int(slot))) {
            if (record.endOwed)
                tellOwed(record);
            record.journaled = false;
            changed = true;
            continue;
        }
        const Tavik &tavik = m_devices.controller(int(slot));
        // The start went out: the journal takes the time the device was
        // given, which a start after a kill tells its count from.
        if (record.going && record.pointLeftMs < 0 && tavik.givenMs(record.run) >= 0)
            changed = true;
        // ... and the device's count there, once a reply on air told it.
        if (record.going && record.pointWarming && record.pointAtMs >= 0 && record.deviceEndMs >= 0)
            changed = true;
        if (record.endOwed) {
            const bool waiting = record.recovered ? tavik.tellsFound() : tavik.stoppingRun() == record.run;
            if (waiting && --record.owedTicks > 0)
                continue;
            // The link went before the device was seen off air: its count
            // comes when it answers again.
            if (!record.recovered && !waiting && !tavik.isLinkUp())
                record.awaitingDevice = true;
            tellOwed(record);
        }
        if (!settled(int(slot), record))
            continue;
        // A cut run stays journaled while it may be resumed, so that the
        // program's end, however it comes, leaves the offer to the next
        // start. Whether its list is still the one it ran is asked at the
        // end and at that start, not every tick.
        if (resumable(int(slot), record))
            continue;
        // What the end wrote beside the window lands before its entry goes.
        if (!WriteBeside::waitForAll(0))
            break;
        record.journaled = false;
        changed = true;
    }
    if (changed)
        writeJournal();
}

void RunRecorder::settle(int waitMs)
{
    // The program ends before the device's word on them: what is known.
    for (RunRecord &record : m_records) {
        if (record.endOwed)
            tellOwed(record);
    }
    if (!WriteBeside::waitForAll(waitMs))
        return;
    bool changed = false;
    for (size_t slot = 0; slot < m_records.size(); ++slot) {
        RunRecord &record = m_records[slot];
        if (!record.journaled || !record.ended)
            continue;
        if (record.key == m_devices.boundKey(int(slot)) && !settled(int(slot), record)
            && !m_devices.controller(int(slot)).exitStopRead())
            continue;
        // Left for the next start to offer its resume.
        if (offerStands(int(slot), record))
            continue;
        record.journaled = false;
        changed = true;
    }
    if (changed)
        writeJournal();
}

int RunRecorder::recover()
{
    m_journal.setFolder(m_devices.registry().path().isEmpty() ? QString()
                                                             : QFileInfo(m_devices.registry().path()).path());
    QList<RunJournal::Entry> entries;
    const RunJournal::Read read = m_journal.read(entries);
    if (read == RunJournal::Read::Nothing)
        return 0;
    Machines &registry = m_devices.registry();
    QList<Machine> &machines = registry.editRecords();
    if (read == RunJournal::Read::Unreadable) {
        // Nobody can say which device ran what: every one is reached and
        // stopped, and the operator is told to look.
        QStringList names;
        for (int i = 0; i < machines.size(); ++i) {
            const int slot = machines.at(i).slot;
            if (!machines.at(i).hasDeviceSlot() || m_devices.boundKey(slot) != registry.keyAt(i))
                continue;
            m_devices.controller(slot).stopAtOnce();
            machines[i].logs.add(QStringLiteral("The run journal could not be read: a run may have been interrupted; "
                                                "the device is checked and stopped"));
            names.append(QStringLiteral("Tavik ") + machines.at(i).name);
        }
        m_report.notices.append(QStringLiteral("The run journal %1 could not be read: a run may have been interrupted "
                                               "when the program last ended. %2 checked and stopped if on air.")
                                    .arg(QLatin1String(RunJournal::fileName),
                                         names.isEmpty() ? QStringLiteral("No device is") : names.join(QStringLiteral(", "))));
        saveRegistry();
        writeJournal();
        return 0;
    }

    const QString folder = QFileInfo(registry.path()).path() + QLatin1Char('/');
    int found = 0;
    int strangers = 0;
    for (const RunJournal::Entry &entry : entries) {
        // Only what the registry can name is taken, each device once.
        int slot = -1;
        int index = -1;
        for (int i = 0; i < machines.size() && slot < 0; ++i) {
            const Machine &machine = machines.at(i);
            if (machine.serialNumber == entry.serial && machine.hasDeviceSlot()
                && m_devices.boundKey(machine.slot) == registry.keyAt(i) && !m_records[size_t(machine.slot)].journaled) {
                slot = machine.slot;
                index = i;
            }
        }
        if (slot < 0) {
            // A second entry of a device already taken says nothing more.
            strangers += std::none_of(machines.cbegin(), machines.cend(),
                                      [&](const Machine &machine) { return machine.serialNumber == entry.serial; });
            continue;
        }
        ++found;
        RunRecord &record = m_records[size_t(slot)];
        record = RunRecord();
        record.recovered = true;
        record.key = registry.keyAt(index);
        record.serial = entry.serial;
        record.deviceName = machines.at(index).name;
        if (Client::isPlainIdentifier(entry.history))
            record.historyPath = folder + entry.history + QStringLiteral(".dat");
        record.program = entry.program;
        record.version = entry.version;
        record.started = entry.started;
        record.line = entry.line;
        record.ended = true;
        record.journaled = true;
        record.complete = entry.end == QLatin1String(completeWord);
        record.cut.item = entry.line;
        record.cut.progress = -1;
        record.cut.title = entry.title;
        // Resumed from where the journal last placed it, while the device's
        // work list is the one it ran.
        const QList<RunRecord::Line> lines = RunRecord::linesOf(machines.at(index).work);
        if (!record.complete && entry.lineDone >= 0 && entry.line < lines.size()
            && entry.plan == RunRecord::planOf(lines)) {
            record.lines = lines;
            record.cutDoneMs = qMin(entry.lineDone, lines.at(entry.line).ms);
            // The bars show how far it got, as for a run cut while the program ran.
            for (int i = 0; i < entry.line; ++i)
                record.lines[i].progress = 100;
            record.lines[entry.line].progress = lines.at(entry.line).progressAt(record.cutDoneMs);
        }
        if (!record.complete && !entry.end.isEmpty()) {
            record.end = entry.end;
        } else if (!record.complete) {
            record.cut.reason = entry.paused.isEmpty()
                ? QLatin1String(killedReason)
                : QStringLiteral("%1 (paused at %2)").arg(QLatin1String(killedPausedReason), entry.paused);
        }
        record.pointLeftMs = record.complete ? -1 : entry.deviceLeft;
        record.lineDoneMs = entry.lineDone;
        record.pointWarming = entry.warming;
        record.pointLf = entry.lf;
        // Its device may still be warming or on air.
        m_devices.controller(slot).stopAtOnce();
        // What it did after the program ended is told with the end, once
        // the device has been seen off air after that stop.
        if (record.pointLeftMs >= 0) {
            record.endOwed = true;
            record.owedTicks = endOwedTicks;
            continue;
        }
        writeEnd(record);
    }
    if (strangers > 0)
        m_report.notices.append(QStringLiteral("The run journal names %1 run(s) of devices not on the list; they are not "
                                               "recorded").arg(strangers));
    writeJournal();
    return found;
}

const RunRecord *RunRecorder::record(int slot) const
{
    if (slot < 0 || slot >= int(m_records.size()))
        return nullptr;
    const RunRecord &record = m_records[size_t(slot)];
    return record.run != 0 || record.recovered ? (record.key == m_devices.boundKey(slot) ? &record : nullptr) : nullptr;
}

const RunRecord *RunRecorder::selectedRecord() const
{
    const RunRecord *found = record(m_devices.selectedSlot());
    return found && found->key == m_devices.selectedKey() ? found : nullptr;
}

RunRecorder::Report RunRecorder::takeReport()
{
    return std::exchange(m_report, {});
}
