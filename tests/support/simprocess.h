#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

// The device simulator as a child process of a test: started on a free TCP
// port with a trace file, killed when the object goes.
class SimProcess
{
public:
    SimProcess();
    ~SimProcess();

    // Starts tavik-sim with the arguments (announcements off unless given);
    // false when it did not report its port.
    bool start(QStringList arguments = {});
    void stop();

    quint16 port() const { return m_port; }
    // Holds the simulator still (it neither reads nor answers nor acts:
    // a hung device) or lets it go on; false where processes cannot be.
    bool hold(bool on);
    qint64 processId() const { return m_process.processId(); }
    QString tracePath() const;
    // Trace lines "RX <NAME> ..." without their time stamps.
    QStringList received() const;
    // Every trace line (frames, phases, LF stretches) without its stamp.
    QStringList trace() const;
    // The same lines with their stamps (ms since the simulator started).
    QList<std::pair<qint64, QString>> stampedTrace() const;
    // The time stamp of the first trace line that contains `text`, -1 if none.
    qint64 timeOf(const QString &text) const;

private:
    QProcess m_process;
    QTemporaryDir m_dir;
    quint16 m_port = 0;
};

class Tavik;
class WorkList;

// Polling the device and bringing its output up: ready for a run.
bool inReadyCycle(const Tavik &tavik);

// A UDP port nothing listens on now, for a listener of the test's own.
quint16 freeUdpPort();

// Appends a line for preset (name, version) of `pool` to the list.
void addWorkLine(WorkList &work, const QString &name, const QString &value, int minutes, int version = 1,
                 int pool = 0);

// The 25 ms device tick as the window runs it, paced for tests: events are
// processed, the reply bytes read, then the controller ticks.
void tickDevice(Tavik &tavik, int pauseMs = 2);

// Runs `step` until the condition holds; false after timeoutMs.
template <typename Step, typename Condition>
bool stepUntil(Step step, Condition condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        step();
    }
    return true;
}

// Ticks the controller until the condition holds; false after timeoutMs.
template <typename Condition>
bool tickUntil(Tavik &tavik, Condition condition, int timeoutMs = 15000, int pauseMs = 2)
{
    return stepUntil([&] { tickDevice(tavik, pauseMs); }, condition, timeoutMs);
}

// The same for the device slots' tick, which ticks every bound controller
// and its sequencer.
template <typename Slots, typename Condition>
bool tickSlotsUntil(Slots &devices, Condition condition, int timeoutMs = 15000, int pauseMs = 2)
{
    return stepUntil([&] {
        QTest::qWait(pauseMs);
        devices.tickBound();
    }, condition, timeoutMs);
}
