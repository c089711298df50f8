#pragma once

#include <QTime>

// Where the sequencer reads the wall clock. The program uses the system
// clock; tests substitute one they can move, or one that runs as fast as a
// time-scaled device simulator.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QTime now() const = 0;

    static const Clock &system();
};
