#pragma once

#include <QHostAddress>
#include <QObject>
#include <QRandomGenerator>
#include <QTimer>

class Announcer;
class DeviceModel;
class SimServer;
class TraceLog;

// A device that misbehaves at random moments, from a seed so that a run can
// be replayed: it drops the link, stalls or slows its replies, sends noise,
// splits frames, loses HV, raises a tube error, goes on air by itself,
// moves to another address, a second device announces its serial number,
// drops one of HV, OSC and Transmit alone, is held by another host for a
// while, comes back silent after a drop, freezes with what the host sends
// waiting, or answers out of order. Each event is written to the trace as
// "CHAOS <event>".
class Chaos : public QObject
{
    Q_OBJECT

public:
    Chaos(quint32 seed, double meanGapS, SimServer &server, DeviceModel &model, TraceLog &trace,
          Announcer *announcer, const QHostAddress &home, quint16 port, QObject *parent = nullptr);

    void start();

private:
    void strike();
    void scheduleNext();
    // The address the device moves to and back from, and the one a twin
    // announces from: other loopback addresses beside its own.
    QHostAddress shifted(int by) const;

    QRandomGenerator m_random;
    const double m_meanGapS;
    SimServer &m_server;
    DeviceModel &m_model;
    TraceLog &m_trace;
    Announcer *m_announcer;
    const QHostAddress m_home;
    const quint16 m_port;
    bool m_moved = false;
    QTimer m_timer;
};
