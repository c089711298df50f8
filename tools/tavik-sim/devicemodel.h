#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// The inside of one simulated Tavik device: its power phases, the
// transmission countdown, the LF value, the clock and the counters, and the
// replies built from them. It knows nothing of sockets; the caller moves its
// time on with advanceTo() before each request.
class DeviceModel
{
public:
    enum class Phase { StandBy, Ready, Warming, OnAir };
    // What the status shows while warming: HV at once, or only Ready and POW
    // until the oscillator comes up with HV; the protocol allows either.
    enum class WarmUp { HvFirst, ReadyAndPower };

    // How long the oscillator takes to come up after a start, in device
    // time, unless set otherwise.
    static constexpr qint64 defaultWarmUpMs = 5000;
    // Build time reported in the configuration: 2026-01-01 00:00 UTC.
    static constexpr quint32 buildTime = 1767225600;
    // The status bits a device on air shows, each of which may drop alone.
    static constexpr quint32 highVoltageBit = 0x8;
    static constexpr quint32 oscillatorBit = 0x10;
    static constexpr quint32 transmitBit = 0x20;

    DeviceModel(quint32 serial, quint32 firmware, quint32 clockAtStart);

    // Moves device time on to deviceMs, counted from the device's start.
    // Time never runs backwards; an earlier value is ignored.
    void advanceTo(qint64 deviceMs);

    // Applies one request and returns the reply frame, or an empty array
    // for the requests the device does not answer.
    QByteArray handle(quint8 code, const QByteArray &data);

    Phase phase() const { return m_phase; }
    static const char *phaseName(Phase phase);
    // The last reason the phase changed: a command, the time running out,
    // or one of the faults below.
    QString phaseCause() const { return m_cause; }

    // The device leaves the air by itself (HV lost, a tube fault...), with
    // these error bits raised until the next start.
    void cutOff(quint32 errorBits, const QString &cause);
    // Goes on air with no host asking, for this many seconds.
    void startByItself(qint64 seconds);
    // Every transmission ends by itself this long after it came on air.
    void setCutOffAfter(qint64 onAirMs, quint32 errorBits) { m_cutOffAfterMs = onAirMs; m_cutOffErrors = errorBits; }
    // ... or, with a status bit given here (HV, OSC or Transmit), only that
    // bit drops then, and the device stays on air without it.
    void setCutOffDrops(quint32 bit) { m_cutOffDrops = bit; }
    // While on air, one of HV, OSC and Transmit drops and the rest stays on,
    // until the next stop or start.
    void dropBit(quint32 bit);
    quint32 droppedBits() const { return m_droppedBits; }
    // Device ms on air in the present transmission.
    qint64 onAirMs() const { return m_phase == Phase::OnAir ? m_onAirMs : 0; }
    // Transmissions begun so far.
    int transmissions() const { return m_transmissions; }
    void setWarmUp(WarmUp form, qint64 ms) { m_warmUpForm = form; m_warmUpMs = ms; }
    // Whether the transmission time counts down from the start, through the
    // warm-up, or only once on air; the protocol allows either.
    void setTimeCountsWarmUp(bool counts) { m_timeCountsWarmUp = counts; }
    // Halfway through every warm-up the device falls to stand-by, or back
    // to ready with these error bits.
    void setWarmUpFault(bool standBy, quint32 errorBits) { m_warmUpFault = true; m_faultStandBy = standBy; m_faultErrors = errorBits; }
    // A stop leaves the air this long after it is read (device ms): a
    // device slow to obey it, which takes no start meanwhile.
    void setStopDelay(qint64 ms) { m_stopDelayMs = ms; }
    quint32 statusBits() const;
    quint16 timeValue() const;
    quint32 lf() const { return m_lf; }

    // A stretch on air at one LF value: the value and how long it was on
    // air, in device ms. Stretches that ended since the last call, oldest
    // first; one ends when another value is set on air and when the
    // transmission ends.
    struct Stretch
    {
        quint32 lf;
        qint64 ms;
    };
    QList<Stretch> takeStretches();

    QByteArray statusReply() const;
    QByteArray configReply() const;
    QByteArray clockReply() const;
    QByteArray livetimeReply() const;

private:
    void command(quint8 which);
    QByteArray query(quint8 selector) const;

    const quint32 m_serial;
    const quint32 m_firmware;

    void setPhase(Phase phase, const QString &cause);
    void endStretch();

    Phase m_phase = Phase::StandBy;
    QString m_cause;
    quint32 m_errorBits = 0;
    qint64 m_onAirMs = 0;         // time on air in this transmission
    qint64 m_cutOffAfterMs = -1;
    qint64 m_stopDelayMs = 0;
    qint64 m_stopDueMs = -1;      // device time a stop read takes effect; -1 none
    WarmUp m_warmUpForm = WarmUp::HvFirst;
    qint64 m_warmUpMs = defaultWarmUpMs;
    bool m_warmUpFault = false;
    bool m_timeCountsWarmUp = false;
    bool m_faultStandBy = false;
    quint32 m_faultErrors = 0;
    quint32 m_cutOffErrors = 0;
    quint32 m_cutOffDrops = 0;
    bool m_cutOffDone = false;    // this transmission's cut-off has come
    quint32 m_droppedBits = 0;
    int m_transmissions = 0;
    qint64 m_now = 0;            // device ms since start
    qint64 m_warmedMs = 0;       // progress of the current warm-up
    qint64 m_remainingMs = 0;    // transmission time left, set by REQ_SET_TIME
    quint32 m_lf = 0;
    qint64 m_stretchFrom = 0;    // m_onAirMs when the value on air was set
    QList<Stretch> m_stretches;

    quint32 m_clockBase;         // clock value at m_clockSetAt
    qint64 m_clockSetAt = 0;
    bool m_clockSet = false;

    // Counters carried over from the device's "past", in ms.
    qint64 m_tubeMs = 412ll * 3600 * 1000;
    qint64 m_lampMs = 530ll * 3600 * 1000;
};
