#pragma once

#include <QString>

class Sequencer;
class Tavik;
class WorkList;
struct WorkLine;

// What decides whether a device's work list may go on air, and what the
// operator is told when it may not. The Work tab only shows the outcome.
namespace RunRules {

enum class Outcome {
    Ready,            // Start may go ahead
    NoDevice,         // no device picked, or it has no slot
    NothingToRun,     // no lines, or none with a time
    LineNotRunnable,  // a line has no preset or no valid LF value
    TooLong,          // more than the device's time field holds
    DeviceNotReady,   // not connected, or still initialising
    StillRunning,     // a run is on air or still stopping
};

// Whether the line's preset was found when it was sent (pools above the
// three are the "Not found" and "Duplicate" markers).
bool presetFound(const WorkLine &line);
// A line goes on air only with a known preset pool and an LF value the
// device can take.
bool lineRunnable(const WorkLine &line);
// Why the line cannot go on air; empty when it can.
QString lineProblem(const WorkLine &line);
// The row of the first line that cannot go on air, or -1.
int firstUnrunnable(const WorkList &work);
// Seconds the list runs: the lines whose preset was found, a line with no
// valid time counting 0.
qint64 listSeconds(const WorkList &work);

Outcome check(const WorkList *work, const Tavik *tavik, const Sequencer *sequencer);

// The longest run a device takes at once, in minutes.
int maxMinutes();
// What is wrong with this run time or LF text for a device; empty when
// nothing is. Editors refuse such a value with this reason.
QString timeProblem(int minutes);
QString timeProblem(const QString &text);
QString frequencyProblem(const QString &text);
// Empty for Ready.
QString text(Outcome outcome, const WorkList *work);

} // namespace RunRules
