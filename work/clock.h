#pragma once

#include <QtGlobal>

// Where the sequencer reads the time. Items are timed on a clock that only
// runs forward: the wall clock may be stepped by a daylight-saving change or
// a correction in the middle of a run, and an item must neither end early
// nor last an hour longer for it. Tests substitute a clock they move by
// hand, or one as fast as a time-scaled device simulator.
class Clock
{
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start; never decreases.
    virtual qint64 msecs() const = 0;
    // Real milliseconds from now until the clock reads `ms`: a clock that
    // runs faster than real time says so here.
    virtual qint64 realMsUntil(qint64 ms) const { return ms - msecs(); }

    static const Clock &system();
};
