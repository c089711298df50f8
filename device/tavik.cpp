#include "device/tavik.h"

#include "device/statustext.h"

#include <QDateTime>
#include <QDebug>

#include <cstdlib>
#include <utility>

using namespace Protocol;

// One row per state: its name and what entering it does. `after(S, D)`
// schedules S in D ticks; `armWatchdog()` gives the device 150 ticks to send
// a status reply before the link counts as lost.
struct Tavik::Row
{
    State state;
    const char *name;
    void (*enter)(Tavik &t);
};

const Tavik::Row &Tavik::row(State state)
{
    static const Row rows[StateCount] = {
        {M_IDLE, "M_IDLE", [](Tavik &t) {
            t.m_watchdog = 0;
            t.after(M_PING, 200);
        }},
        {M_PING, "M_PING", [](Tavik &t) {
            t.startPing();
            t.after(M_PING_STARTED, 10);
        }},
        {M_PING_STARTED, "M_PING_STARTED", [](Tavik &t) {
            t.after(M_IDLE, 400);
        }},
        {M_PING_FINISH, "M_PING_FINISH", [](Tavik &t) {
            t.after(M_IDLE, 10);
        }},
        {M_MACHINE_CONNECT, "M_MACHINE_CONNECT", [](Tavik &t) {
            t.m_connecting = true;
            t.m_tryingToConnect = true;
            t.m_watchdog = 0;
            t.logProgress(QStringLiteral("Try to connect"));
            t.connectToDevice();
            ++t.m_unanswered;
            t.armWatchdog();
            t.after(M_MACHINE_RECONNECT_DISCONNECT, 200);
        }},
        {M_MACHINE_CONNECTED, "M_MACHINE_CONNECTED", [](Tavik &t) {
            t.armWatchdog();
            t.m_statusThisLink = t.m_answeredThisLink = false;
            t.m_statusQueries = t.m_statusReplies = t.m_startMark = t.m_stopMark = 0;
            t.sendOwedStop();
            t.m_connectingShown = true;
            t.logProgress(QStringLiteral("Connecting"));
            t.after(M_MACHINE_GET_CONFIG, 5);
        }},
        {M_MACHINE_RECONNECT_DISCONNECT, "M_MACHINE_RECONNECT_DISCONNECT", [](Tavik &t) {
            t.m_watchdog = 0;
            t.m_linkUp = false;
            t.m_ready = t.m_warming = t.m_transmitting = false;
            t.stopOnLostLink();
            t.clearRequests(QStringLiteral("The connection to the device was lost"), true);
            t.logProgress(QStringLiteral("Lost connection disconnected"));
            t.disconnectFromDevice();
            t.m_pendingRounds = 0;
            t.after(M_MACHINE_RECONNECT, t.retryTicks());
        }},
        // A device that still holds our last connection turns a new one
        // away, and a handshake lost on a link that was down is retried by
        // the system only seconds later: either way a fresh attempt follows
        // at once, so that the device is back under watch as soon as it can
        // be.
        {M_MACHINE_RECONNECT, "M_MACHINE_RECONNECT", [](Tavik &t) {
            t.m_watchdog = 0;
            if (t.connectionPending() && ++t.m_pendingRounds < attemptRounds) {
                t.after(M_MACHINE_RECONNECT, reconnectTicks);
                return;
            }
            t.m_pendingRounds = 0;
            t.abortConnectionAttempt();
            t.connectToDevice();
            if (++t.m_unanswered == 3 && !t.m_quietLog) {
                t.log(QStringLiteral("The device has not answered the last attempts to connect (held by another host, "
                                     "or hung): trying again every few seconds"));
                t.m_quietLog = true;
            }
            t.after(M_MACHINE_RECONNECT, t.retryTicks());
        }},
        // Back after a lost link: initialise again as after a first
        // connection, so that polling and transmission can resume.
        {M_MACHINE_RECONNECTED, "M_MACHINE_RECONNECTED", [](Tavik &t) {
            t.armWatchdog();
            t.m_statusThisLink = t.m_answeredThisLink = false;
            t.m_statusQueries = t.m_statusReplies = t.m_startMark = t.m_stopMark = 0;
            t.sendOwedStop();
            t.m_connecting = true;
            t.m_connectingShown = true;
            t.logProgress(QStringLiteral("Connecting"));
            t.after(M_MACHINE_GET_CONFIG, 5);
        }},
        {M_MACHINE_GET_CONFIG, "M_MACHINE_GET_CONFIG", [](Tavik &t) {
            t.armWatchdog();
            t.m_connectedShown = true;
            t.sendQuery(QueryConfig);
            // Whether the device is on air decides what initialising may
            // send it; the answer comes long before that.
            t.sendQuery(QueryStatus);
            t.after(M_MACHINE_GET_RTC1, 3);
        }},
        {M_MACHINE_GET_RTC1, "M_MACHINE_GET_RTC1", [](Tavik &t) {
            t.armWatchdog();
            t.sendQuery(QueryClock);
            t.after(M_MACHINE_SET_RTC, 10);
        }},
        // Through the set-up the device's status is asked for at every
        // step: one that goes on air by itself meanwhile is stopped within
        // a step, and no set-up value reaches it on air.
        {M_MACHINE_SET_RTC, "M_MACHINE_SET_RTC", [](Tavik &t) {
            t.armWatchdog();
            t.sendU32(REQ_SET_CLOCK, quint32(QDateTime::currentSecsSinceEpoch()));
            t.sendQuery(QueryStatus);
            t.after(M_MACHINE_GET_RTC2, 10);
        }},
        {M_MACHINE_GET_RTC2, "M_MACHINE_GET_RTC2", [](Tavik &t) {
            t.armWatchdog();
            t.m_connectedShown = true;
            t.logProgress(QStringLiteral("Connected"));
            t.sendQuery(QueryClock);
            t.sendQuery(QueryStatus);
            t.after(M_MACHINE_SET_LF, 10);
        }},
        {M_MACHINE_GET_LIVETIME, "M_MACHINE_GET_LIVETIME", [](Tavik &t) {
            if (t.m_firmwareVersion > 356)
                t.sendQuery(QueryLivetime);
            t.after(M_MACHINE_GET_STATUS, 3);
        }},
        // A device on air (or one whose state is not known yet) keeps its
        // LF value and time: they belong to the transmission under way.
        {M_MACHINE_SET_LF, "M_MACHINE_SET_LF", [](Tavik &t) {
            if (t.knownOffAir()) {
                t.sendU32(REQ_SET_LF, initialLf);
                t.m_lfSent = initialLf;
            }
            t.sendQuery(QueryStatus);
            t.after(M_MACHINE_SET_TRANS_TIME, 10);
        }},
        {M_MACHINE_SET_TRANS_TIME, "M_MACHINE_SET_TRANS_TIME", [](Tavik &t) {
            if (t.knownOffAir())
                t.sendU16(REQ_SET_TIME, 100);
            t.sendQuery(QueryStatus);
            t.after(M_MACHINE_GET_LIVETIME, 10);
        }},
        {M_MACHINE_GET_STATUS, "M_MACHINE_GET_STATUS", [](Tavik &t) {
            // Back from a run: what it raised and nobody took is past.
            t.m_warming = t.m_transmitting = false;
            // Ready only for a device that has answered on this connection:
            // one that accepts it and says nothing may still obey a start,
            // with nobody to see it on air. Its first reply makes it ready.
            t.m_linkUp = t.isConnected() && t.m_statusThisLink;
            t.m_connecting = !t.m_linkUp;
            t.m_ready = t.m_ready || t.m_linkUp;
            t.sendQuery(QueryStatus);
            t.m_statusBits = 0;
            t.m_errorBits = 0;
            t.after(M_MACHINE_COMMAND_BRING_UP, 5);
        }},
        {M_MACHINE_WARMING, "M_MACHINE_WARMING", [](Tavik &t) {
            if (++t.m_warmingRounds > maxWarmingRounds) {
                t.endCutShort(QStringLiteral("The device showed no OSC within %1 s of its start")
                                  .arg(maxWarmingRounds * warmingRoundTicks * tickMs / 1000));
                return;
            }
            t.sendQuery(QueryStatus);
            t.after(t.m_oscSeen ? M_MACHINE_ON_AIR_STATUS : M_MACHINE_WARMING2, 10);
        }},
        {M_MACHINE_WARMING2, "M_MACHINE_WARMING2", [](Tavik &t) {
            t.sendQuery(QuerySecondary);
            t.after(M_MACHINE_WARMING, warmingRoundTicks - 10);
        }},
        {M_MACHINE_ON_AIR_PRESET_TIME, "M_MACHINE_ON_AIR_PRESET_TIME", [](Tavik &t) {
            t.m_warmingRounds = 0;
            t.m_oscSeen = false;
            t.m_pendingEnd.clear();
            t.m_leastTimeLeft = t.m_countFrom = t.m_timeGiven;
            t.m_countRun = t.m_run;
            t.m_stoppingRun = 0;
            t.m_countedOnAirMs = -1;
            t.m_startMark = t.m_statusQueries;
            t.sendCommand(CommandStart);
            t.after(M_MACHINE_WARMING, 10);
        }},
        {M_MACHINE_ON_AIR_PRESET_LF, "M_MACHINE_ON_AIR_PRESET_LF", [](Tavik &t) {
            t.sendU32(REQ_SET_LF, t.m_lfSent);
            t.log(QStringLiteral("Preset lf:") + QString::number(t.m_lfSent));
            t.after(M_MACHINE_ON_AIR_STATUS, 2);
        }},
        // Each status reply is judged as it arrives (applyStatus) and a new
        // LF value goes out at once (handOverLf); this keeps the polling
        // going.
        {M_MACHINE_ON_AIR_STATUS, "M_MACHINE_ON_AIR_STATUS", [](Tavik &t) {
            t.sendQuery(QueryStatus);
            // With no run of ours left on air, back to the ready cycle,
            // where a device still on air is stopped.
            if (!t.m_runActive) {
                t.after(M_MACHINE_COMMAND_BRING_UP, 5);
                return;
            }
            t.m_transmitting = true;
            t.after(M_MACHINE_ON_AIR_STATUS2, 10);
        }},
        {M_MACHINE_ON_AIR_STATUS2, "M_MACHINE_ON_AIR_STATUS2", [](Tavik &t) {
            t.sendQuery(QuerySecondary);
            t.after(M_MACHINE_ON_AIR_STATUS, 10);
        }},
        // A device found on air here is stopped by applyStatus when its
        // reply arrives, however late that is.
        {M_MACHINE_COMMAND_BRING_UP, "M_MACHINE_COMMAND_BRING_UP", [](Tavik &t) {
            t.after(M_MACHINE_GET_STATUS, 10);
            if (t.m_statusBits & StandBy)
                t.sendCommand(CommandBringUp);
            // A device still on air (slow to obey the stop of a pause, or
            // on air by itself) is stopped first: a start sent now would
            // be lost, and the run would take its going off air for an end.
            if (t.m_startRequest && !t.statusShowsOnAir()) {
                t.m_startRequest = false;
                t.after(M_MACHINE_COMMAND_START_TRANSMIT, 2);
            }
        }},
        {M_MACHINE_COMMAND_START_TRANSMIT, "M_MACHINE_COMMAND_START_TRANSMIT", [](Tavik &t) {
            if (t.m_lfRequested == 0) {
                t.interrupt(QStringLiteral("No LF value to transmit"));
                t.after(M_MACHINE_GET_STATUS, 2);
                return;
            }
            t.m_warming = true;
            // The device counts 16 bits of seconds: a longer time would wrap
            // to a short one and cut the run, so it is held at the maximum.
            const quint64 wanted = quint64(t.m_transmitSeconds) + 3;
            const quint16 sent = quint16(qMin<quint64>(wanted, maxTransmitTime));
            if (wanted > maxTransmitTime)
                t.log(QStringLiteral("Transmit time %1 s too long, sending %2").arg(wanted).arg(sent));
            // The run's first value goes out before the start, whatever
            // the device was given before: the device must not transmit
            // the first item at a value left from initialising or from
            // another run.
            t.m_lfSent = t.m_lfRequested;
            t.sendU32(REQ_SET_LF, t.m_lfSent);
            t.log(QStringLiteral("Preset lf:") + QString::number(t.m_lfSent));
            t.log(QStringLiteral("Request transmit, preset time:") + QString::number(sent));
            t.sendU16(REQ_SET_TIME, sent);
            t.m_timeGiven = sent;
            t.after(M_MACHINE_ON_AIR_PRESET_TIME, 10);
        }},
        {M_MACHINE_COMMAND_STOP_TRANSMIT, "M_MACHINE_COMMAND_STOP_TRANSMIT", [](Tavik &t) {
            t.log(QStringLiteral("Stop transmit"));
            // Replies already under way may still show the device on air;
            // it is stopped again, but it was ours, not unsupervised.
            t.m_unsupervisedLogged = true;
            t.m_stopMark = t.m_statusQueries;
            t.sendCommand(CommandStop);
            t.after(M_MACHINE_GET_STATUS, 10);
        }},
        {M_MACHINE_DISCONNECT, "M_MACHINE_DISCONNECT", [](Tavik &t) {
            t.sendCommand(CommandStop);
            t.clearRequests(QStringLiteral("The device was disconnected"));
            t.m_watchdog = 0;
            t.m_connecting = false;
            t.after(M_MACHINE_DISCONNECT2, 10);
        }},
        {M_MACHINE_DISCONNECT2, "M_MACHINE_DISCONNECT2", [](Tavik &t) {
            t.log(QStringLiteral("Disconnected"));
            t.disconnectFromDevice();
            t.m_linkUp = false;
            t.m_watchdog = 0;
            t.m_connecting = false;
            t.after(M_IDLE, 100);
        }},
        {M_MACHINE_DELAYLED_DISCONNECT, "M_MACHINE_DELAYLED_DISCONNECT", [](Tavik &t) {
            t.disconnectFromDevice();
            t.clearRequests(QStringLiteral("The device's address changed"));
            t.m_linkUp = false;
            t.m_pingReachable = false;
            t.m_pingDone = false;
            t.m_watchdog = 0;
            t.after(M_IDLE, 100);
        }},
    };
    return rows[state];
}

Tavik::Tavik(QObject *parent)
    : Link(parent)
{
    setState(M_IDLE);
}

const char *Tavik::stateName(State state)
{
    return state >= 0 && state < StateCount ? row(state).name : "?";
}

void Tavik::setState(State state)
{
    qDebug() << row(state).name;
    m_state = state;
    m_countdown = 0;
    row(state).enter(*this);
}

void Tavik::after(State next, int ticks)
{
    m_nextState = next;
    m_countdown = ticks;
}

void Tavik::log(const QString &text)
{
    if (m_pendingLog.size() >= maxPendingLogLines)
        m_pendingLog.removeFirst();
    m_pendingLog.append(text);
}

QStringList Tavik::takeLogLines()
{
    return std::exchange(m_pendingLog, {});
}

quint32 Tavik::requestStart()
{
    m_run = ++m_runs == 0 ? ++m_runs : m_runs;
    m_runActive = true;
    // A device off air later may be off after this run: it tells nothing
    // of the one before.
    m_tellFound = false;
    // A logout that was called off stopped everything once; this run is
    // new and must be stopped in its turn.
    m_stoppedForExit = false;
    if (!isConnected())
        interrupt(QStringLiteral("The device is not connected"));
    else if (!m_linkUp)
        interrupt(QStringLiteral("The device has not answered on its connection yet"));
    else if (m_lfRequested == 0)
        interrupt(QStringLiteral("No LF value to transmit"));
    else
        m_startRequest = true;
    return m_run;
}

void Tavik::requestStop()
{
    if (m_runActive && m_countRun == m_run) {
        m_stoppingRun = m_run;
        m_stoppingFrom = m_statusQueries;
    }
    m_startRequest = false;
    m_runActive = false;
    // The run's values go with it: nothing later may transmit them.
    m_lfRequested = 0;
    if (isConnected())
        m_stopRequest = true;
}

void Tavik::clearRequests(const QString &reason, bool linkLost)
{
    if (m_runActive)
        interrupt(reason, linkLost);
    // A run stopped but not yet seen off air may go on as well.
    if (linkLost && m_lostRun == 0)
        m_lostRun = m_stoppingRun;
    if (linkLost)
        m_stoppingRun = 0;
    m_startRequest = false;
    m_stopRequest = false;
}

void Tavik::interrupt(const QString &reason, bool linkLost)
{
    if (!m_runActive)
        return;
    m_runActive = false;
    m_startRequest = false;
    m_lfRequested = 0;
    m_pendingEnd.clear();
    if (linkLost)
        m_lostRun = m_run;
    // Whoever runs the sequencer says where the run stood, in one line.
    RunEvent event;
    event.kind = RunEvent::Interrupted;
    event.run = m_run;
    event.text = reason;
    event.linkLost = linkLost;
    event.onAirMs = m_countedOnAirMs;
    m_events->push(std::move(event));
}

qint64 Tavik::givenMs(quint32 run) const
{
    return run != 0 && run == m_countRun ? qint64(m_timeGiven) * 1000 : -1;
}

void Tavik::tellCount(quint32 run)
{
    RunEvent heard;
    heard.kind = RunEvent::DeviceHeard;
    heard.run = run;
    heard.countRun = m_countRun;
    heard.ms = qint64(m_timeValue) * 1000;
    heard.onAirMs = qint64(m_countFrom - qMin(m_countFrom, m_timeValue)) * 1000;
    heard.bits = m_statusBits;
    m_events->push(std::move(heard));
}

void Tavik::logProgress(const QString &text)
{
    if (!m_quietLog)
        log(text);
}

int Tavik::retryTicks() const
{
    if (m_unanswered <= 2)
        return reconnectTicks;
    return qMin(reconnectTicks << qMin(m_unanswered - 2, 8), maxBackoffTicks);
}

void Tavik::endCutShort(const QString &reason)
{
    interrupt(reason);
    // Whatever the device still has on is switched off; it was ours.
    m_unsupervisedLogged = true;
    m_stopMark = m_statusQueries;
    sendCommand(CommandStop);
    setState(M_MACHINE_GET_STATUS);
}

bool Tavik::inReadyCycle() const
{
    return m_state == M_MACHINE_GET_STATUS || m_state == M_MACHINE_COMMAND_BRING_UP
        || m_state == M_MACHINE_COMMAND_STOP_TRANSMIT;
}

bool Tavik::inWarmUp() const
{
    return m_state == M_MACHINE_ON_AIR_PRESET_TIME || m_state == M_MACHINE_WARMING || m_state == M_MACHINE_WARMING2;
}

bool Tavik::inOnAirCycle() const
{
    return m_state == M_MACHINE_ON_AIR_STATUS || m_state == M_MACHINE_ON_AIR_STATUS2
        || m_state == M_MACHINE_ON_AIR_PRESET_LF;
}

void Tavik::handOverLf()
{
    if ((m_state == M_MACHINE_ON_AIR_STATUS || m_state == M_MACHINE_ON_AIR_STATUS2) && m_lfRequested != 0
        && m_lfRequested != m_lfSent) {
        m_lfSent = m_lfRequested;
        setState(M_MACHINE_ON_AIR_PRESET_LF);
    }
}

bool Tavik::stopNow(int waitMs)
{
    // The program ends, or the device's record goes: nobody is left to wait
    // for its count of a run stopped before.
    m_stoppingRun = 0;
    if (!isConnected() || m_stoppedForExit)
        return false;
    const bool mayBeOnAir = m_runActive || inWarmUp() || inOnAirCycle() || !m_statusThisLink
        || (m_lastStatusBits & onAirBits);
    if (!mayBeOnAir)
        return false;
    clearRequests(QStringLiteral("The program ended"));
    log(QStringLiteral("Stop transmit"));
    sendCommand(CommandStop);
    m_stopMark = m_statusQueries;
    sendQuery(QueryStatus);
    m_exitMark = m_statusQueries;
    flushWrites(waitMs);
    m_stoppedForExit = true;
    // A program that goes on after all (a logout called off) finds the
    // device in its ready cycle.
    if (inSession())
        setState(M_MACHINE_GET_STATUS);
    return true;
}

void Tavik::awaitStopRead(const QDeadlineTimer &deadline)
{
    // A device silent this long has nothing more on its way; a reply lost
    // earlier on the link would otherwise hold the count back until the end.
    constexpr int quietMs = 300;
    while (m_stoppedForExit && isConnected() && m_statusReplies < m_exitMark && !deadline.hasExpired()) {
        if (!waitForReplyBytes(int(qBound<qint64>(1, deadline.remainingTime(), qint64(quietMs)))))
            return;
        readPacket();
        quint8 code = 0;
        while (nextReply(code)) {
            if (code == REP_STATUS)
                ++m_statusReplies;
        }
    }
}

bool Tavik::inSession() const
{
    return m_linkUp && isConnected() && m_state >= M_MACHINE_GET_STATUS && m_state <= M_MACHINE_COMMAND_STOP_TRANSMIT;
}

void Tavik::stopUnsupervised()
{
    if (!m_unsupervisedLogged)
        log(QStringLiteral("Transmitting with no run supervising it: Stop transmit"));
    m_unsupervisedLogged = true;
    sendCommand(CommandStop);
}

void Tavik::checkAtOnce()
{
    m_checkRequest = true;
    if (m_state == M_IDLE)
        setState(M_PING);
}

void Tavik::stopAtOnce()
{
    m_stopOnReconnect = true;
    m_tellFound = true;
    checkAtOnce();
}

void Tavik::stopOnLostLink()
{
    if (!m_runActive && !statusShowsOnAir() && !m_stopOnReconnect)
        return;
    // A device that fell silent may still act on what it is sent, and a
    // link that is down carries what it holds once it is back: the stop
    // goes out on this connection before it closes, and again first thing
    // on the next one, until the device has answered after it.
    m_stopOnReconnect = true;
    if (isConnected()) {
        logProgress(QStringLiteral("Stop transmit"));
        sendCommand(CommandStop);
        pushWrites();
    }
}

void Tavik::sendOwedStop()
{
    if (!m_stopOnReconnect)
        return;
    logProgress(QStringLiteral("Stop transmit"));
    m_stopMark = m_statusQueries;
    sendCommand(CommandStop);
}

bool Tavik::holdsConnection() const
{
    return m_state == M_MACHINE_CONNECTED
        || (m_state >= M_MACHINE_RECONNECTED && m_state <= M_MACHINE_COMMAND_STOP_TRANSMIT);
}

void Tavik::release()
{
    if (isConnected() && (inSession() || statusShowsOnAir()))
        sendCommand(CommandStop);
    disconnectFromDevice();
    // The record is gone: nobody is left to tell how its run ended.
    m_runActive = false;
    m_lostRun = m_stoppingRun = 0;
    clearRequests(QString());
    m_stopOnReconnect = false;
    // The next record given this slot starts from nothing: not even the
    // change from this device's last status is logged into it.
    m_lastStatusBits = m_lastErrorBits = m_shownStatusBits = m_shownErrorBits = 0;
    m_shownRf = m_shownMod = 0;
    m_connectRequest = m_disconnectRequest = m_checkRequest = m_letGoAfterStop = m_tellFound = false;
    m_unanswered = 0;
    m_quietLog = false;
    resetControllerData();
    m_autoConnect = false;
    m_pingReachable = m_pingDone = false;
    m_hostAddress.clear();
    m_pendingLog.clear();
    setState(M_IDLE);
}

void Tavik::setTCPIP(const QString &address, quint16 port)
{
    qDebug().noquote() << "setTCPIP new" << address << ">> old " << m_hostAddress;
    if (address == m_hostAddress)
        return;
    m_hostAddress = address;
    m_port = port;
    // A controller trying to get back to a lost device tries the new
    // address from the start, as one still connecting does.
    if (m_state == M_MACHINE_RECONNECT_DISCONNECT || m_state == M_MACHINE_RECONNECT)
        m_connecting = true;
    if (m_connecting)
        setState(M_MACHINE_DELAYLED_DISCONNECT);
}

void Tavik::followDevice(const QString &address, quint16 port)
{
    if (address == m_hostAddress)
        return;
    const bool reaching = m_connecting || m_stopOnReconnect || m_state == M_MACHINE_RECONNECT_DISCONNECT
        || m_state == M_MACHINE_RECONNECT;
    setTCPIP(address, port);
    if (!reaching)
        return;
    // The old connection is closed by now; nothing is left to wait for.
    if (m_state == M_MACHINE_DELAYLED_DISCONNECT)
        setState(M_IDLE);
    checkAtOnce();
}

void Tavik::setAutoConnect(bool on)
{
    qDebug().noquote() << "setAutoConnect new" << (on ? "true" : "false") << ">> IP " << m_hostAddress;
    m_autoConnect = on;
}

bool Tavik::isTransmitting() const
{
    return m_runActive && inOnAirCycle();
}

bool Tavik::takeStatusSnapshot()
{
    if (!take(m_newStatus))
        return false;
    m_snapshot = {m_statusBits, m_errorBits, m_timeValue, m_rf, m_mod, m_state};
    return true;
}

QList<Tavik::Event> Tavik::takeConnectionEvents()
{
    const std::pair<bool *, Event> flags[] = {
        {&m_tryingToConnect, Event::TryToConnect}, {&m_connectingShown, Event::Connecting},
        {&m_connectedShown, Event::Connected},     {&m_disconnectedSeen, Event::Disconnected},
        {&m_ready, Event::Ready},                  {&m_warming, Event::Warming},
        {&m_transmitting, Event::Transmitting},
    };
    QList<Event> events;
    for (const auto &flag : flags) {
        if (take(*flag.first))
            events.append(flag.second);
    }
    return events;
}

Tavik::Activity Tavik::activity() const
{
    if (!m_linkUp || m_connecting)
        return Activity::Disconnected;
    // The live state: every row of the device table shows its own device,
    // not the picked one's last snapshot.
    switch (m_state) {
    case M_IDLE:
    case M_PING:
    case M_PING_STARTED:
        return Activity::Disconnected;
    case M_MACHINE_CONNECT:
    case M_MACHINE_CONNECTED:
    case M_MACHINE_GET_CONFIG:
    case M_MACHINE_GET_RTC1:
    case M_MACHINE_SET_RTC:
    case M_MACHINE_GET_RTC2:
    case M_MACHINE_SET_LF:
    case M_MACHINE_SET_TRANS_TIME:
        return Activity::Connecting;
    case M_MACHINE_GET_STATUS:
    case M_MACHINE_COMMAND_BRING_UP:
        return Activity::Ready;
    case M_MACHINE_WARMING:
    case M_MACHINE_WARMING2:
    case M_MACHINE_ON_AIR_PRESET_TIME:
    case M_MACHINE_COMMAND_START_TRANSMIT:
        return Activity::Warming;
    case M_MACHINE_ON_AIR_PRESET_LF:
    case M_MACHINE_ON_AIR_STATUS:
    case M_MACHINE_ON_AIR_STATUS2:
        return Activity::Transmitting;
    case M_MACHINE_COMMAND_STOP_TRANSMIT:
        return Activity::Stopping;
    case M_MACHINE_DISCONNECT:
    case M_MACHINE_DISCONNECT2:
        return Activity::Disconnecting;
    default:
        return Activity::Unknown;
    }
}

QString Tavik::stateText() const
{
    const Activity now = activity();
    if (now == Activity::Unknown)
        return QString::number(int(m_state)) + QString::number(m_lastStatusBits, 2);
    return StatusText::activityWord(now);
}

QString Tavik::buildTimeText() const
{
    return StatusText::buildTimeText(m_buildTime);
}

void Tavik::resetControllerData()
{
    clearRequests(QStringLiteral("The connection was made anew"));
    m_statusQueries = m_statusReplies = m_startMark = m_stopMark = 0;
    m_statusThisLink = false;
    m_linkUp = false;
    m_tryingToConnect = m_connectingShown = m_connectedShown = false;
    m_ready = m_warming = m_transmitting = m_disconnectedSeen = false;
    m_connecting = false;
    m_firmwareVersion = m_buildTime = m_serialNumber = 0;
    m_uptime = m_tubeLivetime = m_lampLivetime = 0;
    m_statusBits = m_errorBits = 0;
    m_timeValue = 0;
    m_rf = m_mod = 0;
}

void Tavik::tick()
{
    if (m_lastStatusBits != m_shownStatusBits || m_lastErrorBits != m_shownErrorBits) {
        m_shownStatusBits = m_lastStatusBits;
        m_shownErrorBits = m_lastErrorBits;
        log(StatusText::decodeStatus(m_lastStatusBits, m_lastErrorBits));
    }
    if (std::abs(int(m_rf) - int(m_shownRf)) >= 6 || std::abs(int(m_mod) - int(m_shownMod)) >= 4) {
        m_shownRf = m_rf;
        m_shownMod = m_mod;
        log(QStringLiteral("rf: %1 mod: %2").arg(m_rf).arg(m_mod));
    }

    if ((m_state == M_IDLE || m_state == M_PING_STARTED) && takePingDone()) {
        setState(M_IDLE);
        if (m_pingReachable) {
            const bool check = take(m_checkRequest);
            if (m_autoConnect || check) {
                resetControllerData();
                setState(M_MACHINE_CONNECT);
            }
            if (m_connecting) {
                resetControllerData();
                setState(M_MACHINE_CONNECT);
            }
        }
    }

    if (m_connectRequest && m_pingReachable) {
        m_connectRequest = false;
        m_letGoAfterStop = false;
        setAutoConnect(false);
        resetControllerData();
        setState(M_MACHINE_CONNECT);
    }

    if (m_disconnectRequest) {
        m_disconnectRequest = false;
        setAutoConnect(false);
        if (!isConnected()) {
            // Nothing to take down: an idle controller stays idle rather than
            // logging a disconnection that never happened. An attempt still
            // under way is called off.
            disconnectFromDevice();
            clearRequests(QStringLiteral("The device was disconnected"));
            m_connecting = false;
            m_linkUp = false;
            if (m_state != M_IDLE)
                setState(M_IDLE);
            // A device lost while it may be on air is still owed its stop:
            // it is reached for until it has it, and let go after that.
            if (m_stopOnReconnect) {
                m_letGoAfterStop = true;
                checkAtOnce();
            }
            return;
        }
        m_letGoAfterStop = false;
        setState(M_MACHINE_DISCONNECT);
    }

    if (takeConnectedEvent()) {
        if (m_state == M_MACHINE_CONNECT)
            setState(M_MACHINE_CONNECTED);
        else if (m_state == M_MACHINE_RECONNECT)
            setState(M_MACHINE_RECONNECTED);
    }

    if (takeDisconnectedEvent()) {
        m_disconnectedSeen = true;
        m_linkUp = false;
        qDebug() << "disconnected";
        // A connection made since then is not the one that closed.
        if (!isConnected()) {
            // The device closed the connection (or turned a new one away):
            // nothing it does is watched any more, so getting it back
            // starts now, not when the watchdog misses its replies.
            if (holdsConnection())
                m_stopOnReconnect = m_stopOnReconnect || m_runActive || statusShowsOnAir();
            clearRequests(QStringLiteral("The device closed the connection"), true);
            if (holdsConnection())
                setState(M_MACHINE_RECONNECT_DISCONNECT);
        }
    }

    // A stop outside a session would lead into the ready cycle with no
    // connection under it; there is nothing on air of ours to stop then.
    if (m_stopRequest && !inSession())
        m_stopRequest = false;
    if (m_stopRequest) {
        m_stopRequest = false;
        after(M_MACHINE_COMMAND_STOP_TRANSMIT, 2);
    } else {
        if (m_countdown == 1) {
            m_countdown = 0;
            setState(m_nextState);
        }
        if (m_countdown > 1)
            --m_countdown;
    }

    handOverLf();

    if (m_watchdog == 1) {
        m_watchdog = 0;
        qDebug() << " * * * * * * * * * * * * * Tavik Disconnected try to reconnect";
        setState(M_MACHINE_RECONNECT_DISCONNECT);
    }
    if (m_watchdog > 1)
        --m_watchdog;

    applyReplies();
}

void Tavik::applyReplies()
{
    quint8 code = 0;
    while (nextReply(code)) {
        m_replySeen = true;
        // The device answers: attempts in a row that did not are over.
        m_answeredThisLink = true;
        m_unanswered = 0;
        m_quietLog = false;
        switch (code) {
        case REP_STATUS: {
            if (replyBytesLeft() < 12)
                qDebug() << "error packet size" << replyBytesLeft() << " : " << 12;
            m_statusBits = m_lastStatusBits = getU32();
            m_errorBits = m_lastErrorBits = getU32();
            m_timeValue = getU16();
            m_rf = getU8();
            m_mod = getU8();
            m_newStatus = true;
            m_statusThisLink = true;
            ++m_statusReplies;
            // Read on a connection that began with the stop owed: the
            // device has it.
            if (m_state != M_MACHINE_RECONNECT_DISCONNECT && m_state != M_MACHINE_RECONNECT) {
                m_stopOnReconnect = false;
                // The operator let the device go while it owed that stop.
                if (take(m_letGoAfterStop))
                    m_disconnectRequest = true;
                // Its first word after the link went with a run: what its
                // own count says it transmitted meanwhile.
                if (m_lostRun != 0)
                    tellCount(std::exchange(m_lostRun, 0));
            }
            // The first reply on a connection in its ready cycle makes the
            // device ready.
            if (!m_linkUp && isConnected() && inReadyCycle()) {
                m_linkUp = true;
                m_connecting = false;
                m_ready = true;
            }
            armWatchdog();
            if (!inWarmUp() && !inOnAirCycle())
                m_timeLeftBefore = m_timeValue;
            applyStatus();
            break;
        }
        case REP_CONFIG:
            m_firmwareVersion = getU32();
            m_buildTime = getU32();
            m_serialNumber = getU32();
            log(StatusText::configLine(m_serialNumber, m_buildTime, m_firmwareVersion));
            m_configReceived = true;
            break;
        case REP_LIVETIME:
            m_livetimeReceived = true;
            m_uptime = getU32();
            m_tubeLivetime = getU32();
            m_lampLivetime = getU32();
            log(StatusText::livetimeLine(m_tubeLivetime, m_lampLivetime, m_uptime));
            break;
        default:
            break;  // the clock reply and unknown codes carry nothing we use
        }
    }
}

// Decides from each status reply itself, whenever it arrives, whether the
// device does what this program wants of it.
void Tavik::applyStatus()
{
    const quint32 bits = m_lastStatusBits;
    const quint32 errors = m_lastErrorBits;
    if (!(bits & onAirBits) && errors == 0)
        m_unsupervisedLogged = false;
    // A run stopped is seen off air by a reply to a query sent behind its
    // stop: the device's count then says how long that start went.
    if (m_stoppingRun != 0 && !(bits & onAirBits) && m_stopMark >= m_stoppingFrom && m_statusReplies > m_stopMark)
        tellCount(std::exchange(m_stoppingRun, 0));
    // Off air on the connection that began with the stop owed to a killed
    // program's run: its time left stands still now, and tells how long it
    // went on.
    if (m_tellFound && !m_stopOnReconnect && !(bits & onAirBits)) {
        m_tellFound = false;
        RunEvent found;
        found.kind = RunEvent::FoundStopped;
        found.ms = qint64(m_timeValue) * 1000;
        found.bits = bits;
        m_events->push(std::move(found));
    }

    // On air with no run of ours: after a lost link, a restart of this
    // program, or a device that started by itself.
    // Replies to queries sent before our own stop still show the run.
    // A start not sent yet owns nothing on air either.
    if ((bits & onAirBits) && (!m_runActive || m_startRequest) && (m_connecting || inReadyCycle())
        && m_statusReplies > m_stopMark) {
        stopUnsupervised();
        return;
    }

    if (!m_runActive || !(inWarmUp() || inOnAirCycle()))
        return;
    countOnAir(bits);
    if (inWarmUp()) {
        // Only OSC ends a warm-up, and a device may show HV before it or
        // only Ready and POW: neither says anything. Stand-by or an error
        // says the device is not coming on air; silence is bounded by the
        // watchdog, and a warm-up without end by maxWarmingRounds. Its time
        // may not count yet, so nothing in a reply tells one from before
        // the start from a new one: a reply to a query sent before the
        // start command says nothing of the warm-up, and an end needs two
        // replies in a row, one of them late.
        if ((bits & Oscillator) && errors == 0) {
            m_oscSeen = true;
            m_pendingEnd.clear();
        } else if (m_statusReplies <= m_startMark) {
            return;
        } else if (errors != 0) {
            endWhenSure(StatusText::decodeStatus(bits, errors).trimmed(), false);
        } else if (bits & StandBy) {
            endWhenSure(QStringLiteral("The device fell to stand-by during its warm-up"), false);
        } else {
            m_pendingEnd.clear();
        }
        return;
    }
    if (errors == 0 && (bits & onAirBits) == onAirBits) {
        m_pendingEnd.clear();
        // A reply telling more time left than one read before was sent
        // before it; one with no time left is about to stop and tells
        // nothing the next reply will not.
        if (m_timeValue > 0 && m_timeValue <= m_leastTimeLeft) {
            m_leastTimeLeft = m_timeValue;
            RunEvent left;
            left.kind = RunEvent::DeviceTimeLeft;
            left.run = m_run;
            left.ms = qint64(m_timeValue) * 1000;
            left.onAirMs = m_countedOnAirMs;
            m_events->push(std::move(left));
        }
        return;
    }
    QString why;
    if (errors != 0)
        why = StatusText::decodeStatus(bits, errors).trimmed();
    else if (!(bits & onAirBits) && m_timeValue == 0)
        why = QStringLiteral("The device's own time ran out");
    else if (!(bits & onAirBits))
        // All off at once, with time left and no error, is what a stop
        // command does; this program sent none.
        why = QStringLiteral("Stopped by another host: the device left the air with time left and no error");
    else if (!(bits & HighVoltage))
        why = QStringLiteral("HV dropped");
    else if (!(bits & Transmit))
        why = QStringLiteral("Transmit cleared");
    else
        why = QStringLiteral("The oscillator stopped");
    endWhenSure(why, true);
}

void Tavik::countOnAir(quint32 bits)
{
    // A reply to a query sent before the start tells the time left of
    // another transmission, and one showing more left than a reply read
    // before it was sent before that one.
    if (m_statusReplies <= m_startMark || m_timeValue > m_leastTimeLeft)
        return;
    if (inWarmUp() && !(bits & Oscillator)) {
        if (m_timeValue != m_timeLeftBefore)
            m_countFrom = qMin(m_countFrom, m_timeValue);
        return;
    }
    // Off air, the time left stands still: the reply that ends the run
    // tells the whole of it.
    m_countedOnAirMs = qMax(m_countedOnAirMs, qint64(m_countFrom - qMin(m_countFrom, m_timeValue)) * 1000);
}

void Tavik::endWhenSure(const QString &reason, bool timeCounts)
{
    // On air the device's time only goes down: a reply with less left than
    // any before it is newer than all of them.
    if ((timeCounts && m_timeValue < m_leastTimeLeft) || !m_pendingEnd.isEmpty()) {
        endCutShort(reason);
        return;
    }
    m_pendingEnd = reason;
}

void Tavik::sendQuery(quint8 selector)
{
    if (selector == QueryStatus)
        ++m_statusQueries;
    beginPacket();
    putU8(REQ_QUERY);
    putU8(selector);
    sendPacket();
}

void Tavik::sendCommand(quint8 command)
{
    beginPacket();
    putU8(REQ_COMMAND);
    putU8(command);
    sendPacket();
}

void Tavik::sendU16(quint8 code, quint16 value)
{
    beginPacket();
    putU8(code);
    putU16(value);
    sendPacket();
}

void Tavik::sendU32(quint8 code, quint32 value)
{
    beginPacket();
    putU8(code);
    putU32(value);
    sendPacket();
}
