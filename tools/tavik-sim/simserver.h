#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

class DeviceModel;
class SimClock;
class TraceLog;

// Ways to misbehave on the wire, to see how a host copes.
struct Faults
{
    int silentAfter = -1;      // replies per connection before falling silent; -1: never
    double dropAfterS = -1;    // seconds after accepting before closing; negative: never
    bool garbage = false;      // random bytes between replies
    bool split = false;        // every reply in two writes a few ms apart
    bool merge = false;        // two replies in one write
    int badCrcEvery = 0;       // every Nth reply with a wrong checksum; 0: never
    int replyDelayMs = 0;      // every reply this late
    bool swap = false;         // replies out of order: every second one after the next
    bool held = false;         // held by another host: every connection turned away
    double freezeOnAirS = -1;  // device seconds on air before each transmission freezes; negative: never
    double freezeS = 0;        // how long it stays frozen, real seconds
};

// The device's TCP side: one client at a time, frames cut from the stream
// and handed to the model, replies written back through the fault switches.
class SimServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int splitGapMs = 5;
    static constexpr int mergeWaitMs = 50;
    // Bytes of an unfinished frame older than this are taken for noise.
    static constexpr int staleInputMs = 500;
    // How late a reply overtaken by the next one comes: later than the
    // next poll.
    static constexpr int swapLateMs = 600;

    SimServer(DeviceModel &model, const SimClock &clock, TraceLog &trace,
              const Faults &faults, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }
    bool hasClient() const { return m_client != nullptr; }

    // What the chaos mode does to the wire at random moments.
    void dropLink();
    void stallFor(int ms);
    void sendNoise(int bytes);
    void setSplit(bool on) { m_faults.split = on; }
    void setReplyDelay(int ms) { m_faults.replyDelayMs = ms; }
    // Replies out of order: every second reply comes late, after the next.
    void setSwap(bool on);
    // Another host holds the device: the present connection is closed and
    // every new one turned away at once.
    void setHeld(bool on);
    // The device goes on with what it does (a transmission on air stays on
    // air, its time running down) but reads, accepts and writes nothing for
    // a while; what the host sent meanwhile (a stop) waits in the
    // connection and is acted on, in order, once it goes on.
    void freezeFor(int ms);
    // Listens at another address from now on; the client is dropped.
    bool moveTo(const QHostAddress &address, quint16 port);

    // Moves the device's time on and writes "PHASE <name> <cause>" when its
    // phase changed; also called on a timer, so that a device left alone
    // shows its time running out when it does.
    void advanceModel();

private:
    void acceptPending();
    void readClient();
    void dropClient();
    void handleFrame(const QByteArray &frame);
    void sendReply(QByteArray frame);
    void flushHeld();
    void queueWrite(const QByteArray &bytes);
    void writeNext();
    bool frozen() const { return m_frozenMs > 0 && m_frozenSince.isValid() && m_frozenSince.elapsed() < m_frozenMs; }
    void thaw();

    DeviceModel &m_model;
    const SimClock &m_clock;
    TraceLog &m_trace;
    Faults m_faults;
    int m_tracedPhase = -1;
    quint32 m_tracedDrops = 0;
    int m_frozenTransmission = 0;  // the transmission frozen last (freezeOnAirS)
    QElapsedTimer m_frozenSince;
    int m_frozenMs = 0;
    QTimer m_thawTimer;
    bool m_closedWhileFrozen = false;
    int m_swapCount = 0;          // replies sent while swapping
    QTimer m_phaseTimer;
    QElapsedTimer m_stalledSince;
    int m_stallMs = 0;
    bool m_droppingLink = false;  // the device itself closes the connection

    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QByteArray m_input;
    QElapsedTimer m_inputSince;   // when m_input last started to fill
    int m_replies = 0;            // replies sent on this connection

    QByteArray m_held;            // a reply waiting for a partner (merge)
    QList<QByteArray> m_pieces;   // writes waiting their turn (split)
    QTimer m_mergeTimer;
    QTimer m_paceTimer;
    QTimer m_dropTimer;
};
