#pragma once

#include <QString>
#include <QtGlobal>

// What a sequencer needs of its device controller: the total time, the LF
// value it wants on air, start and stop requests, whether the device is on
// air now, and whether the transmission it asked for ended without its stop.
// The controller consumes these on its own tick.
class TransmitControl
{
public:
    virtual ~TransmitControl() = default;

    virtual void setTransmitSeconds(quint32 seconds) = 0;
    virtual void setLfRequested(quint32 value) = 0;
    virtual void requestStart() = 0;
    virtual void requestStop() = 0;
    virtual bool isTransmitting() const = 0;
    // The time the device says it has left of its transmission, once for
    // each status reply that tells it while on air; false when no new one
    // has come.
    virtual bool takeDeviceTimeLeft(qint64 &ms) = 0;
    // Why the transmission that requestStart() asked for ended (or never
    // began) without a requestStop(), once; empty when it has not.
    virtual QString takeInterruption() = 0;
};
