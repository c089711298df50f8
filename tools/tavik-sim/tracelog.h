#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QString>

// The simulator's two clocks: real milliseconds since start, for the trace,
// and device milliseconds, which run timeScale times faster.
class SimClock
{
public:
    explicit SimClock(double timeScale = 1.0) : m_scale(timeScale) { m_timer.start(); }
    qint64 realMs() const { return m_timer.elapsed(); }
    qint64 deviceMs() const { return qint64(double(m_timer.elapsed()) * m_scale); }
    // Where real time 0 lies on the system's monotonic clock, which other
    // processes on the machine read too (QElapsedTimer).
    qint64 startMonotonicMs() const { return m_timer.msecsSinceReference(); }

private:
    QElapsedTimer m_timer;
    double m_scale;
};

// One line per event, each flushed at once so a test can read the file while
// the simulator runs. Writes nothing when no file was opened.
class TraceLog
{
public:
    explicit TraceLog(const SimClock &clock) : m_clock(clock) {}

    bool open(const QString &path);
    bool isOpen() const { return m_file.isOpen(); }

    // Writes "<ms> <event>".
    void write(const QString &event);

    // Writes "<ms> RX <name> data=<hex> <fields>" for a received frame.
    void received(quint8 code, const QByteArray &data);
    void badFrame(const QByteArray &frame);

private:
    const SimClock &m_clock;
    QFile m_file;
};
