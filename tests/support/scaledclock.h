#pragma once

#include "work/clock.h"

#include <QElapsedTimer>

// A wall clock that runs `scale` times faster than real time, to match a
// simulator started with the same --time-scale.
class ScaledClock : public Clock
{
public:
    explicit ScaledClock(double scale) : m_scale(scale), m_start(QTime::currentTime()) { m_timer.start(); }

    QTime now() const override { return m_start.addMSecs(int(double(m_timer.elapsed()) * m_scale)); }

private:
    double m_scale;
    QTime m_start;
    QElapsedTimer m_timer;
};
