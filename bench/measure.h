#pragma once

#include <QApplication>
#include <QString>
#include <QtGlobal>

// Small helpers of the benchmark: printing one figure per line and reading
// the process's own memory figures.
namespace Measure {

// "label: value" on stdout, flushed at once so a slow run shows progress.
void print(const QString &label, const QString &value);
void print(const QString &label, double value, int decimals = 0);

// Resident set size now and its high-water mark, in KiB, from
// /proc/self/status (VmRSS, VmHWM); getrusage's maximum when that is absent.
qint64 residentKb();
qint64 peakResidentKb();

// Hands freed heap back to the system and lowers the high-water mark to the
// current size, so the next peak belongs to the next phase only. False when
// the kernel does not allow resetting the mark; the peak is then the
// process's peak so far.
bool resetPeak();

// Tracks the peak growth of resident memory over one phase.
class PeakScope
{
public:
    PeakScope();
    // Peak resident size during the phase minus the size at its start, KiB.
    qint64 growthKb() const;
    // Resident size now minus the size at its start, KiB, after freed heap
    // has been handed back.
    qint64 heldKb() const;
    bool exact() const { return m_exact; }

private:
    qint64 m_startKb = 0;
    bool m_exact = false;
};

QString mebibytes(qint64 kb);

// CPU time of the calling thread, ns: the window's own work, which other
// jobs on a busy machine disturb far less than wall time.
qint64 threadCpuNs();

// The bench's application: it times each event the event loop hands over
// on the GUI thread (a timer, a queued call, a paint), in that thread's CPU
// time, so that a figure can name the longest the window was held by one
// event while work beside it landed.
class TimedApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override;
    // The longest event since the last reset, ms of CPU.
    static double longestEventMs();
    static void resetLongestEvent();
};

} // namespace Measure
