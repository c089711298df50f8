#pragma once

#include "device/deviceactivity.h"
#include "device/link.h"
#include "device/protocol.h"
#include "device/runevents.h"
#include "device/transmitcontrol.h"

#include <QDeadlineTimer>
#include <QStringList>

// One device controller: takes a device from unconnected through ping,
// connection, initialisation and polling to transmission and back. Driven
// only by tick(), once per 25 ms window tick; every delay is in ticks.
//
// Each state is a row of the table in tavik.cpp: its entry actions, and
// the state that follows after a countdown.
class Tavik : public Link, public TransmitControl
{
    Q_OBJECT

public:
    enum State {
        M_IDLE,
        M_PING,
        M_PING_STARTED,
        M_PING_FINISH,
        M_MACHINE_CONNECT,
        M_MACHINE_CONNECTED,
        M_MACHINE_RECONNECT_DISCONNECT,
        M_MACHINE_RECONNECT,
        M_MACHINE_RECONNECTED,
        M_MACHINE_GET_CONFIG,
        M_MACHINE_GET_RTC1,
        M_MACHINE_SET_RTC,
        M_MACHINE_GET_RTC2,
        M_MACHINE_GET_LIVETIME,
        M_MACHINE_SET_LF,
        M_MACHINE_SET_TRANS_TIME,
        M_MACHINE_GET_STATUS,
        M_MACHINE_WARMING,
        M_MACHINE_WARMING2,
        M_MACHINE_ON_AIR_PRESET_TIME,
        M_MACHINE_ON_AIR_PRESET_LF,
        M_MACHINE_ON_AIR_STATUS,
        M_MACHINE_ON_AIR_STATUS2,
        M_MACHINE_COMMAND_BRING_UP,
        M_MACHINE_COMMAND_START_TRANSMIT,
        M_MACHINE_COMMAND_STOP_TRANSMIT,
        M_MACHINE_DISCONNECT,
        M_MACHINE_DISCONNECT2,
        M_MACHINE_DELAYLED_DISCONNECT,
        StateCount
    };

    // The period of the window's device tick, which drives every controller.
    static constexpr int tickMs = 25;
    static constexpr int watchdogTicks = 150;
    // Ticks between attempts to get a lost device back, and the rounds an
    // attempt may wait for its handshake before a fresh one replaces it.
    static constexpr int reconnectTicks = 10;
    static constexpr int attemptRounds = 4;
    // Attempts that end with no word from the device (one held by another
    // host turns each away at once, one that hangs never answers) come
    // further and further apart, up to this many ticks.
    static constexpr int maxBackoffTicks = 160;
    // The LF value a device is given when a connection is initialised.
    static constexpr quint32 initialLf = 12774;

    struct Snapshot
    {
        quint32 statusBits = 0;
        quint32 errorBits = 0;
        quint16 timeValue = 0;
        quint8 rf = 0;
        quint8 mod = 0;
        State state = M_IDLE;
    };

    explicit Tavik(QObject *parent = nullptr);

    void setTCPIP(const QString &address, quint16 port);
    // The device announced itself from another address. A controller that
    // is reaching for it (a lost link, a connection under way) or owes it a
    // stop pings it there at once and connects when it answers, rather than
    // after the idle round a changed address otherwise waits: a device that
    // moved may be on air with nobody watching it.
    void followDevice(const QString &address, quint16 port);
    void setAutoConnect(bool on);
    bool autoConnect() const { return m_autoConnect; }
    // The controller's progress lines since the last call, oldest first.
    // The controller keeps no pointer into the registry: whoever ticks it
    // moves the lines into the log of the record it serves.
    QStringList takeLogLines();

    // Where the controller tells what becomes of a run: the slot's queue.
    // Without one it keeps its own.
    void setRunEvents(RunEvents *events) { m_events = events ? events : &m_ownEvents; }
    RunEvents &runEvents() { return *m_events; }

    // What the sequencer drives. Start and stop count only while the
    // device is connected: one left pending would act on a later
    // connection that nobody asked to transmit. A stop also withdraws a
    // start not yet carried out.
    void setTransmitSeconds(quint32 seconds) override { m_transmitSeconds = seconds; }
    void setLfRequested(quint32 value) override { m_lfRequested = value; }
    // Refused (an Interrupted event says why) without a device that has
    // answered on its connection, or without an LF value given by the run:
    // the device never transmits a value nobody asked for.
    quint32 requestStart() override;
    void requestStop() override;
    // From the live state, not the display snapshot: every sequencer must
    // see its own device on air, selected on screen or not.
    bool isTransmitting() const override;
    bool mayStartAgain() const override { return isLinkUp() && isConnected() && m_stoppingRun == 0; }
    // A run was asked for and has not ended yet.
    bool hasRun() const { return m_runActive; }
    // The last status read on this link shows the device on air.
    bool showsOnAir() const { return statusShowsOnAir(); }
    // The device may be on air with nobody watching: it is reached until it
    // has answered after a stop.
    bool owesStop() const { return m_stopOnReconnect; }
    // The run whose stop was sent and whose device has not been seen off
    // air since; 0 for none.
    quint32 stoppingRun() const { return m_stoppingRun; }
    // A device stopped at once for a killed program's run has not been seen
    // off air yet: a FoundStopped event tells how it was found.
    bool tellsFound() const { return m_tellFound; }
    // The time the device was given for run `run`, once its start went
    // out; -1 before.
    qint64 givenMs(quint32 run) const;

    // Sends the stop command at once, outside the tick, to a device that
    // may be on air, and waits up to `waitMs` for it to leave the
    // computer; for a program that is about to end. True when a stop went
    // out.
    bool stopNow(int waitMs);
    // After stopNow: reads what the device sends until it has answered the
    // query sent behind the stop, falls silent, or the deadline passes. A
    // device slow to read still has replies to earlier polls on their way;
    // a connection closed with them unread is reset, and a device may then
    // lose the stop it had not read yet.
    void awaitStopRead(const QDeadlineTimer &deadline);
    // The device answered the query sent behind stopNow's stop.
    bool exitStopRead() const { return m_stoppedForExit && m_statusReplies >= m_exitMark; }

    bool takeStatusSnapshot();
    const Snapshot &snapshot() const { return m_snapshot; }
    bool takeConfigReceived() { return take(m_configReceived); }
    // A reply came from the device since the last call.
    bool takeReplySeen() { return take(m_replySeen); }
    void clearLivetimeReceived() { m_livetimeReceived = false; }
    QString serialNumberText() const { return QString::number(m_serialNumber); }
    quint32 firmwareVersion() const { return m_firmwareVersion; }
    bool isLinkUp() const { return m_linkUp; }
    bool isConnecting() const { return m_connecting; }
    State state() const { return m_state; }
    quint32 lfSent() const { return m_lfSent; }

    using Event = LinkEvent;
    // The events raised since the last call, in display order; each flag
    // is cleared as it is taken.
    QList<Event> takeConnectionEvents();

    using Activity = DeviceActivity;
    Activity activity() const;
    // Its word; for Unknown the state's number and the status bits.
    QString stateText() const;
    QString buildTimeText() const;

    void tick();
    void setState(State state);
    // Sends a new LF value at once while on air, not at the next status
    // poll: an item's value is due when the item begins. The tick does it,
    // and whoever ticks the sequencer right after the controller.
    void handOverLf();

    // Pings the device now rather than at the next round, and connects
    // when it answers, whatever auto-connect says, so that a device found
    // on air is stopped: for a device a program that was killed may have
    // left transmitting.
    void checkAtOnce();
    // The same for a device a killed program left with a run going: it may
    // be warming up, which no status shows as on air, so it is sent the
    // stop first thing on the connection whatever its status says.
    void stopAtOnce();

    // Lets go of the device when its record leaves the registry: a device
    // on air is told to stop, the connection is closed, and the controller
    // waits idle, with no address, for the next record given its slot.
    void release();

    // Status bits that say the device is transmitting or about to: any one
    // of them is a device to supervise. A run on air needs all three.
    static constexpr quint32 onAirBits = Protocol::HighVoltage | Protocol::Oscillator | Protocol::Transmit;
    // Warm-up rounds before a device that never showed its oscillator
    // counts as not coming on air: two minutes. The simulator warms up in
    // 5 s and a tube's filament in some tens of seconds; two minutes is
    // several times that, and short enough that a device that will not
    // come on air (with HV up, perhaps) is stopped while the operator is
    // still waiting for the run to begin.
    static constexpr int warmingRoundTicks = 15;
    static constexpr int maxWarmingRounds = 320;
    // Lines kept for a controller whose lines nobody takes.
    static constexpr int maxPendingLogLines = 500;

    static const char *stateName(State state);

    // The transmission time field is 16 bits of seconds.
    static constexpr quint32 maxTransmitTime = 0xFFFF;

private:
    struct Row;
    static const Row &row(State state);

    void after(State next, int ticks);
    void armWatchdog() { m_watchdog = watchdogTicks; }
    void log(const QString &text);
    void resetControllerData();
    // Drops pending requests; a run still going ends as interrupted for
    // the reason given. `linkLost`: the device was not told to stop on a
    // link it answered on, and may have gone on.
    void clearRequests(const QString &reason, bool linkLost = false);
    // Ends the run as interrupted, once, for the reason given.
    void interrupt(const QString &reason, bool linkLost = false);
    // What the device's own count says it transmitted, told for `run`.
    void tellCount(quint32 run);
    // Judges a reply that would end the run: believed at once when it is
    // newer than every reply read before it (it tells less time left);
    // otherwise only when the next reply agrees, since a reply from before
    // read late tells nothing about now.
    // `timeCounts`: on air, where the device's time left tells old from new.
    void endWhenSure(const QString &reason, bool timeCounts);
    // Takes what a reply of this run's says of the device's own count.
    void countOnAir(quint32 bits);
    // Progress lines the log takes; while connection attempts go unanswered
    // they are said once, not at every attempt.
    void logProgress(const QString &text);
    // Ticks until the next attempt to reach the device.
    int retryTicks() const;
    // Ends a run the device itself cut short: stops whatever is left on
    // air and returns to the ready cycle.
    void endCutShort(const QString &reason);
    void applyReplies();
    void applyStatus();
    bool inReadyCycle() const;
    bool inWarmUp() const;
    bool inOnAirCycle() const;
    // Stops a device found on air with no run of ours behind it.
    void stopUnsupervised();
    // The link is being given up: a device that may be on air is sent the
    // stop on it while it lasts, and owed one on the next connection.
    void stopOnLostLink();
    void sendOwedStop();
    // A state that has a connection under it (or had, until just now).
    bool holdsConnection() const;
    bool statusShowsOnAir() const { return m_statusThisLink && (m_lastStatusBits & onAirBits); }
    bool statusShowsOffAir() const { return m_statusThisLink && !(m_lastStatusBits & onAirBits); }
    // Off air by the answer to the last status query sent: nothing newer
    // is on its way.
    bool knownOffAir() const { return statusShowsOffAir() && m_statusReplies >= m_statusQueries; }
    bool inSession() const;

    void sendQuery(quint8 selector);
    void sendCommand(quint8 command);
    void sendU16(quint8 code, quint16 value);
    void sendU32(quint8 code, quint32 value);

    State m_state = M_IDLE;
    State m_nextState = M_IDLE;
    int m_countdown = 0;
    int m_watchdog = 0;

    quint32 m_statusBits = 0;
    quint32 m_errorBits = 0;
    quint16 m_timeValue = 0;
    quint8 m_rf = 0;
    quint8 m_mod = 0;
    quint32 m_lastStatusBits = 0;
    quint32 m_lastErrorBits = 0;
    quint32 m_shownStatusBits = 0;
    quint32 m_shownErrorBits = 0;
    quint8 m_shownRf = 0;
    quint8 m_shownMod = 0;
    bool m_newStatus = false;
    Snapshot m_snapshot;

    // 0 is no value: nothing is sent on air until a run gives one.
    quint32 m_lfRequested = 0;
    quint32 m_lfSent = 10000;
    quint32 m_transmitSeconds = 120;
    bool m_startRequest = false;
    bool m_stopRequest = false;

    quint32 m_firmwareVersion = 0;
    quint32 m_buildTime = 0;
    quint32 m_serialNumber = 0;
    bool m_configReceived = false;
    bool m_replySeen = false;
    quint32 m_uptime = 0;
    quint32 m_tubeLivetime = 0;
    quint32 m_lampLivetime = 0;
    bool m_livetimeReceived = false;

    bool m_tryingToConnect = false;
    bool m_connectingShown = false;
    bool m_connectedShown = false;
    bool m_ready = false;
    bool m_warming = false;
    bool m_transmitting = false;
    bool m_disconnectedSeen = false;

    bool m_connecting = false;
    bool m_linkUp = false;
    bool m_autoConnect = false;
    // A status reply arrived on the present connection: the status bits
    // describe the device as it is, not as it was before a lost link.
    bool m_statusThisLink = false;
    bool m_unsupervisedLogged = false;
    bool m_checkRequest = false;  // connect at the next successful ping
    bool m_tellFound = false;     // stopAtOnce: say how the device was found
    // A device given up with a link lost may be on air: the next connection
    // begins with a stop.
    bool m_stopOnReconnect = false;
    // The operator disconnected while that stop was owed: the device is let
    // go once it has it.
    bool m_letGoAfterStop = false;
    int m_pendingRounds = 0;  // rounds the present connection attempt has waited
    QStringList m_pendingLog;

    // Connection attempts in a row that got no word from the device; the
    // progress lines of such attempts are said once.
    int m_unanswered = 0;
    bool m_quietLog = false;
    bool m_answeredThisLink = false;

    RunEvents m_ownEvents;
    RunEvents *m_events = &m_ownEvents;
    // The run asked for by requestStart() and not yet ended, by number.
    bool m_runActive = false;
    quint32 m_run = 0;
    quint32 m_runs = 0;
    // A run whose link went while the device may have gone on: the device's
    // first status on a new link tells how long it did.
    quint32 m_lostRun = 0;
    // The run whose start the device was last sent: its count is the one
    // the time left tells. A run stopped (a pause, the operator's Stop, its
    // end) until the device is seen off air: until then it may go on, and
    // the reply that shows it off tells how long it went.
    quint32 m_countRun = 0;
    quint32 m_stoppingRun = 0;
    int m_stoppingFrom = 0;  // the status queries sent before its stop was asked for
    bool m_stoppedForExit = false;  // stopNow() has done its work
    int m_exitMark = 0;             // the status query sent behind that stop
    int m_warmingRounds = 0;
    // The transmission of this run, as its replies tell it: the time it was
    // given, the least time left any reply showed (a reply showing more was
    // sent before one already read), whether OSC was seen, and an end one
    // reply showed that the next must confirm.
    quint16 m_timeGiven = 0;
    quint16 m_leastTimeLeft = 0;
    // The device's own count of this run's time on air: from the time left
    // it showed when last seen warming (a device may count its time from
    // the start or only on air), down to the newest time left read since.
    // A program or a device held up as it came on air sees the oscillator
    // late; this count does not. -1: no reply has told it.
    quint16 m_countFrom = 0;
    qint64 m_countedOnAirMs = -1;
    // The time left the device showed off air before the start, which a
    // reply read late, after the start, still shows.
    quint16 m_timeLeftBefore = 0;
    bool m_oscSeen = false;
    QString m_pendingEnd;
    // Status queries sent and replies read on this connection.
    int m_statusQueries = 0;
    int m_statusReplies = 0;
    int m_startMark = 0;  // the queries sent when the start command went out
    int m_stopMark = 0;   // the same, when this program last sent a stop
};
