#pragma once

#include "work/clock.h"

#include <QElapsedTimer>

// A clock that runs `scale` times faster than real time, to match a
// simulator started with the same --time-scale.
class ScaledClock : public Clock
{
public:
    explicit ScaledClock(double scale) : m_scale(scale) { m_timer.start(); }

    qint64 msecs() const override { return qint64(double(m_timer.elapsed()) * m_scale); }
    qint64 realMsUntil(qint64 ms) const override { return qint64(double(ms - msecs()) / m_scale + 0.999); }

private:
    double m_scale;
    QElapsedTimer m_timer;
};
