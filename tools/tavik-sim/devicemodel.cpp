#include "devicemodel.h"

#include "device/frame.h"
#include "protocol.h"

#include <utility>

using namespace Protocol;

DeviceModel::DeviceModel(quint32 serial, quint32 firmware, quint32 clockAtStart)
    : m_serial(serial), m_firmware(firmware), m_clockBase(clockAtStart)
{
}

const char *DeviceModel::phaseName(Phase phase)
{
    switch (phase) {
    case Phase::StandBy: return "StandBy";
    case Phase::Ready: return "Ready";
    case Phase::Warming: return "Warming";
    case Phase::OnAir: return "OnAir";
    }
    return "?";
}

void DeviceModel::setPhase(Phase phase, const QString &cause)
{
    if (phase != Phase::OnAir && m_phase == Phase::OnAir)
        endStretch();
    if (phase == Phase::OnAir && m_phase != Phase::OnAir) {
        m_onAirMs = m_stretchFrom = 0;
        m_cutOffDone = false;
        ++m_transmissions;
    }
    m_droppedBits = 0;
    if (phase != Phase::Warming && phase != Phase::OnAir)
        m_stopDueMs = -1;
    m_phase = phase;
    m_cause = cause;
}

void DeviceModel::dropBit(quint32 bit)
{
    if (m_phase == Phase::OnAir)
        m_droppedBits |= bit & (HighVoltage | Oscillator | Transmit);
}

void DeviceModel::cutOff(quint32 errorBits, const QString &cause)
{
    if (m_phase != Phase::Warming && m_phase != Phase::OnAir)
        return;
    m_errorBits = errorBits;
    setPhase(Phase::Ready, cause);
}

void DeviceModel::startByItself(qint64 seconds)
{
    if (m_phase == Phase::Warming || m_phase == Phase::OnAir)
        return;
    m_errorBits = 0;
    m_remainingMs = seconds * 1000;
    setPhase(Phase::OnAir, QStringLiteral("self-start"));
}

void DeviceModel::advanceTo(qint64 deviceMs)
{
    // A slow stop takes effect at its own moment within the step.
    if (m_stopDueMs >= 0 && deviceMs >= m_stopDueMs) {
        const qint64 due = std::exchange(m_stopDueMs, -1);
        advanceTo(due);
        if (m_phase == Phase::Warming || m_phase == Phase::OnAir)
            setPhase(Phase::Ready, QStringLiteral("stop"));
    }
    qint64 delta = deviceMs - m_now;
    if (delta <= 0)
        return;
    m_now = deviceMs;
    // Walk through the phase changes that fall inside this step, so the
    // counters and the countdown stay exact however seldom we are called.
    while (delta > 0 || (m_phase == Phase::OnAir && m_remainingMs <= 0)) {
        if (m_phase == Phase::Warming) {
            const qint64 until = m_warmUpFault ? m_warmUpMs / 2 : m_warmUpMs;
            qint64 step = qMin(delta, until - m_warmedMs);
            if (m_timeCountsWarmUp)
                step = qMin(step, qMax<qint64>(m_remainingMs, 0));
            m_warmedMs += step;
            m_lampMs += step;
            delta -= step;
            if (m_timeCountsWarmUp)
                m_remainingMs -= step;
            if (m_timeCountsWarmUp && m_remainingMs <= 0) {
                m_remainingMs = 0;
                setPhase(Phase::Ready, QStringLiteral("time-out"));
            } else if (m_warmedMs >= until && m_warmUpFault) {
                m_errorBits = m_faultStandBy ? 0 : m_faultErrors;
                setPhase(m_faultStandBy ? Phase::StandBy : Phase::Ready, QStringLiteral("warm-up-fault"));
            } else if (m_warmedMs >= until) {
                setPhase(Phase::OnAir, QStringLiteral("warmed-up"));
            }
        } else if (m_phase == Phase::OnAir) {
            qint64 step = qMin(delta, qMax<qint64>(m_remainingMs, 0));
            if (m_cutOffAfterMs >= 0 && !m_cutOffDone)
                step = qMin(step, qMax<qint64>(m_cutOffAfterMs - m_onAirMs, 0));
            m_remainingMs -= step;
            m_onAirMs += step;
            m_tubeMs += step;
            m_lampMs += step;
            delta -= step;
            if (m_remainingMs <= 0) {
                m_remainingMs = 0;
                setPhase(Phase::Ready, QStringLiteral("time-out"));
            } else if (m_cutOffAfterMs >= 0 && !m_cutOffDone && m_onAirMs >= m_cutOffAfterMs) {
                m_cutOffDone = true;
                if (m_cutOffDrops != 0) {
                    dropBit(m_cutOffDrops);
                } else {
                    m_errorBits = m_cutOffErrors;
                    setPhase(Phase::Ready, QStringLiteral("cut-off"));
                }
            }
        } else {
            break;
        }
    }
}

void DeviceModel::endStretch()
{
    if (m_onAirMs > m_stretchFrom)
        m_stretches.append({m_lf, m_onAirMs - m_stretchFrom});
    m_stretchFrom = m_onAirMs;
}

QList<DeviceModel::Stretch> DeviceModel::takeStretches()
{
    return std::exchange(m_stretches, {});
}

quint32 DeviceModel::statusBits() const
{
    switch (m_phase) {
    case Phase::StandBy: return StandBy;
    case Phase::Ready: return Ready | Power;
    case Phase::Warming: return m_warmUpForm == WarmUp::HvFirst ? Ready | Power | HighVoltage : Ready | Power;
    case Phase::OnAir: return (Ready | Power | HighVoltage | Oscillator | Transmit) & ~m_droppedBits;
    }
    return 0;
}

quint16 DeviceModel::timeValue() const
{
    // Whole seconds left, rounded up so a running transmission never shows 0.
    return quint16(qMin<qint64>((m_remainingMs + 999) / 1000, 0xFFFF));
}

QByteArray DeviceModel::handle(quint8 code, const QByteArray &data)
{
    bool ok = false;
    switch (code) {
    case REQ_QUERY: {
        const quint32 selector = readLittleEndian(data, 1, &ok);
        return ok ? query(quint8(selector)) : QByteArray();
    }
    case REQ_SET_LF: {
        const quint32 value = readLittleEndian(data, 4, &ok);
        if (ok && value != m_lf) {
            if (m_phase == Phase::OnAir)
                endStretch();
            m_lf = value;
        }
        return {};
    }
    case REQ_SET_TIME: {
        const quint32 seconds = readLittleEndian(data, 2, &ok);
        if (ok)
            m_remainingMs = qint64(seconds) * 1000;
        return {};
    }
    case REQ_SET_CLOCK: {
        const quint32 value = readLittleEndian(data, 4, &ok);
        if (ok) {
            m_clockBase = value;
            m_clockSetAt = m_now;
            m_clockSet = true;
        }
        return {};
    }
    case REQ_COMMAND: {
        const quint32 which = readLittleEndian(data, 1, &ok);
        if (ok)
            command(quint8(which));
        return {};
    }
    }
    return {};
}

void DeviceModel::command(quint8 which)
{
    switch (which) {
    case CommandBringUp:
        if (m_phase == Phase::StandBy)
            setPhase(Phase::Ready, QStringLiteral("bring-up"));
        break;
    case CommandStart:
        // A start from stand-by brings the output up on the way.
        if (m_phase == Phase::StandBy || m_phase == Phase::Ready) {
            m_errorBits = 0;
            setPhase(Phase::Warming, QStringLiteral("start"));
            m_warmedMs = 0;
        }
        break;
    case CommandStop:
        if ((m_phase == Phase::Warming || m_phase == Phase::OnAir) && m_stopDelayMs > 0) {
            if (m_stopDueMs < 0)
                m_stopDueMs = m_now + m_stopDelayMs;
        } else if (m_phase == Phase::Warming || m_phase == Phase::OnAir) {
            setPhase(Phase::Ready, QStringLiteral("stop"));
        }
        break;
    default:
        break;
    }
}

QByteArray DeviceModel::query(quint8 selector) const
{
    switch (selector) {
    case QueryStatus: return statusReply();
    case QueryConfig: return configReply();
    case QueryClock: return clockReply();
    case QueryLivetime: return livetimeReply();
    default: return {};  // the secondary poll and unknown selectors go unanswered
    }
}

QByteArray DeviceModel::statusReply() const
{
    const bool onAir = m_phase == Phase::OnAir;
    QByteArray data;
    Frame::appendU32(data, statusBits());
    Frame::appendU32(data, m_errorBits);
    Frame::appendU16(data, timeValue());
    Frame::appendU8(data, onAir ? 200 : 0);  // rf
    Frame::appendU8(data, onAir ? 80 : 0);   // mod
    return Frame::encode(REP_STATUS, data);
}

QByteArray DeviceModel::configReply() const
{
    QByteArray data;
    Frame::appendU32(data, m_firmware);
    Frame::appendU32(data, buildTime);
    Frame::appendU32(data, m_serial);
    return Frame::encode(REP_CONFIG, data);
}

QByteArray DeviceModel::clockReply() const
{
    QByteArray data;
    Frame::appendU32(data, quint32(m_clockBase + (m_now - m_clockSetAt) / 1000));
    Frame::appendU8(data, m_clockSet ? 1 : 0);
    return Frame::encode(REP_CLOCK, data);
}

QByteArray DeviceModel::livetimeReply() const
{
    QByteArray data;
    Frame::appendU32(data, quint32(m_now / 1000));
    Frame::appendU32(data, quint32(m_tubeMs / 1000));
    Frame::appendU32(data, quint32(m_lampMs / 1000));
    return Frame::encode(REP_LIVETIME, data);
}
