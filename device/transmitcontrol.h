#pragma once

#include <QtGlobal>

// What a sequencer needs of its device controller: the total time, the LF
// value it wants on air, start and stop requests, and whether the device
// is on air now. The controller consumes these on its own tick, and tells
// what becomes of the run through the slot's run events.
class TransmitControl
{
public:
    virtual ~TransmitControl() = default;

    virtual void setTransmitSeconds(quint32 seconds) = 0;
    virtual void setLfRequested(quint32 value) = 0;
    // The number the controller gives the run; its events carry it.
    virtual quint32 requestStart() = 0;
    virtual void requestStop() = 0;
    virtual bool isTransmitting() const = 0;
    // Whether a start sent now would be taken: the device answers on its
    // link and has been seen to obey the last stop (a slow one stays on air
    // for seconds, and what its count says of that time is still to come).
    virtual bool mayStartAgain() const { return true; }
};
