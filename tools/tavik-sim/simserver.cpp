#include "simserver.h"

#include "devicemodel.h"
#include "device/frame.h"
#include "tracelog.h"

#include <QRandomGenerator>
#include <QTcpSocket>

#include <cstdio>

SimServer::SimServer(DeviceModel &model, const SimClock &clock, TraceLog &trace,
                     const Faults &faults, QObject *parent)
    : QObject(parent), m_model(model), m_clock(clock), m_trace(trace), m_faults(faults)
{
    connect(&m_server, &QTcpServer::newConnection, this, &SimServer::acceptPending);

    m_mergeTimer.setSingleShot(true);
    connect(&m_mergeTimer, &QTimer::timeout, this, &SimServer::flushHeld);
    m_paceTimer.setSingleShot(true);
    connect(&m_paceTimer, &QTimer::timeout, this, &SimServer::writeNext);
    m_dropTimer.setSingleShot(true);
    connect(&m_dropTimer, &QTimer::timeout, this, &SimServer::dropLink);
    connect(&m_phaseTimer, &QTimer::timeout, this, &SimServer::advanceModel);
    m_phaseTimer.start(100);
    m_thawTimer.setSingleShot(true);
    connect(&m_thawTimer, &QTimer::timeout, this, &SimServer::thaw);
}

void SimServer::setSwap(bool on)
{
    m_faults.swap = on;
}

void SimServer::setHeld(bool on)
{
    m_faults.held = on;
    m_trace.write(on ? QStringLiteral("HELD by another host") : QStringLiteral("HELD no longer"));
    if (on)
        dropLink();
}

void SimServer::freezeFor(int ms)
{
    m_trace.write(QStringLiteral("FROZEN %1").arg(ms));
    m_frozenMs = ms;
    m_frozenSince.start();
    m_thawTimer.start(ms);
}

void SimServer::thaw()
{
    m_frozenMs = 0;
    m_trace.write(QStringLiteral("FROZEN no longer"));
    // What the host sent before it gave up is read first, in order.
    readClient();
    if (std::exchange(m_closedWhileFrozen, false))
        dropClient();
    writeNext();
    acceptPending();
}

void SimServer::dropLink()
{
    m_droppingLink = true;
    if (m_client)
        m_client->abort();
    dropClient();
    m_droppingLink = false;
}

bool SimServer::moveTo(const QHostAddress &address, quint16 port)
{
    dropLink();
    m_server.close();
    return m_server.listen(address, port);
}

void SimServer::stallFor(int ms)
{
    m_stallMs = ms;
    m_stalledSince.start();
}

void SimServer::sendNoise(int bytes)
{
    if (!m_client)
        return;
    QByteArray noise(bytes, Qt::Uninitialized);
    for (char &byte : noise)
        byte = char(QRandomGenerator::global()->bounded(256));
    queueWrite(noise);
}

void SimServer::advanceModel()
{
    m_model.advanceTo(m_clock.deviceMs());
    for (const DeviceModel::Stretch &stretch : m_model.takeStretches())
        m_trace.write(QStringLiteral("LF %1 %2").arg(stretch.lf).arg(stretch.ms));
    if (m_model.droppedBits() != m_tracedDrops) {
        m_tracedDrops = m_model.droppedBits();
        m_trace.write(QStringLiteral("BITS dropped %1").arg(m_tracedDrops));
    }
    // The transmission freezes once it has been on air long enough.
    if (m_faults.freezeOnAirS >= 0 && m_model.transmissions() != m_frozenTransmission
        && m_model.onAirMs() >= qint64(m_faults.freezeOnAirS * 1000) && m_model.phase() == DeviceModel::Phase::OnAir) {
        m_frozenTransmission = m_model.transmissions();
        freezeFor(int(m_faults.freezeS * 1000));
    }
    const int phase = int(m_model.phase());
    if (phase == m_tracedPhase)
        return;
    m_tracedPhase = phase;
    m_trace.write(QStringLiteral("PHASE %1 %2").arg(QLatin1String(DeviceModel::phaseName(m_model.phase())),
                                                    m_model.phaseCause()));
}

bool SimServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server.listen(address, port);
}

void SimServer::acceptPending()
{
    if (frozen())
        return;  // callers wait in the queue until the device goes on
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_client || m_faults.held) {
            // A device serves one host; later callers are turned away.
            if (!m_faults.held)
                std::fprintf(stderr, "tavik-sim: refused a second connection\n");
            m_trace.write(QStringLiteral("REFUSED"));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // A caller that gave up while it waited to be accepted is gone.
        if (socket->state() != QAbstractSocket::ConnectedState) {
            socket->deleteLater();
            continue;
        }
        m_client = socket;
        m_client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_input.clear();
        m_replies = 0;
        connect(socket, &QTcpSocket::readyRead, this, &SimServer::readClient);
        connect(socket, &QTcpSocket::disconnected, this, &SimServer::dropClient);
        m_trace.write(QStringLiteral("CONNECT"));
        if (m_faults.dropAfterS >= 0)
            m_dropTimer.start(int(m_faults.dropAfterS * 1000));
    }
}

void SimServer::dropClient()
{
    if (!m_client)
        return;
    // A frozen device has not read what the host sent before it left.
    if (frozen() && !m_droppingLink) {
        m_closedWhileFrozen = true;
        return;
    }
    QTcpSocket *socket = m_client;
    m_client = nullptr;
    socket->disconnect(this);
    socket->deleteLater();
    m_dropTimer.stop();
    m_mergeTimer.stop();
    m_paceTimer.stop();
    m_held.clear();
    m_pieces.clear();
    m_input.clear();
    m_trace.write(m_droppingLink ? QStringLiteral("DISCONNECT device") : QStringLiteral("DISCONNECT host"));
}

void SimServer::readClient()
{
    if (!m_client || frozen())
        return;
    // The host writes whole frames; a fragment left lying for long was noise
    // and would otherwise swallow the next real frame.
    if (!m_input.isEmpty() && m_inputSince.elapsed() > staleInputMs) {
        m_trace.badFrame(m_input);
        m_input.clear();
    }
    if (m_input.isEmpty())
        m_inputSince.start();
    m_input.append(m_client->readAll());

    // The length byte bounds a frame to 259 bytes, so the buffer stays small.
    // Every frame that arrived is acted on, in order, even when writing a
    // reply finds the host gone: a stop sent just before the host closed
    // the connection still stops the device.
    QList<QByteArray> frames;
    while (m_input.size() >= 2) {
        const int total = quint8(m_input.at(1)) + Frame::overhead;
        if (m_input.size() < total)
            break;
        frames.append(m_input.left(total));
        m_input.remove(0, total);
        m_inputSince.start();
    }
    for (const QByteArray &frame : frames) {
        const int length = quint8(frame.at(1));
        const int total = int(frame.size());
        const quint16 crc = Frame::crc16(frame.constData() + 1, length + 1);
        const quint16 sent = quint16(quint8(frame.at(total - 2)) << 8) | quint8(frame.at(total - 1));
        if (length == 0 || crc != sent)
            m_trace.badFrame(frame);
        else
            handleFrame(frame);
    }
}

void SimServer::handleFrame(const QByteArray &frame)
{
    const quint8 code = quint8(frame.at(2));
    const QByteArray data = frame.mid(3, frame.size() - 3 - 2);
    m_trace.received(code, data);
    advanceModel();
    const QByteArray reply = m_model.handle(code, data);
    advanceModel();
    // A stalled device reads and acts but says nothing for a while.
    if (m_stallMs > 0 && m_stalledSince.isValid() && m_stalledSince.elapsed() < m_stallMs)
        return;
    if (!reply.isEmpty())
        sendReply(reply);
}

void SimServer::sendReply(QByteArray frame)
{
    if (!m_client)
        return;  // the host has gone; nothing is kept for the next one
    if (m_faults.silentAfter >= 0 && m_replies >= m_faults.silentAfter)
        return;
    ++m_replies;
    if (m_faults.badCrcEvery > 0 && m_replies % m_faults.badCrcEvery == 0)
        frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 0x5A);
    if (m_faults.garbage && m_replies > 1) {
        QByteArray noise(1 + QRandomGenerator::global()->bounded(8), Qt::Uninitialized);
        for (char &byte : noise)
            byte = char(QRandomGenerator::global()->bounded(256));
        frame.prepend(noise);
    }
    // Every second reply is overtaken by the one after it.
    if (m_faults.swap && ++m_swapCount % 2 == 1) {
        QPointer<QTcpSocket> client = m_client;
        QTimer::singleShot(swapLateMs, this, [this, client, frame] {
            if (client && client == m_client)
                queueWrite(frame);
        });
        return;
    }
    if (m_faults.merge) {
        if (m_held.isEmpty()) {
            m_held = frame;
            m_mergeTimer.start(mergeWaitMs);
            return;
        }
        frame.prepend(m_held);
        m_held.clear();
        m_mergeTimer.stop();
    }
    queueWrite(frame);
}

void SimServer::flushHeld()
{
    if (m_held.isEmpty())
        return;
    const QByteArray held = m_held;
    m_held.clear();
    queueWrite(held);
}

void SimServer::queueWrite(const QByteArray &bytes)
{
    if (m_faults.replyDelayMs > 0) {
        QPointer<QTcpSocket> client = m_client;
        QTimer::singleShot(m_faults.replyDelayMs, this, [this, client, bytes] {
            if (client && client == m_client) {
                m_pieces.append(bytes);
                if (!m_paceTimer.isActive())
                    writeNext();
            }
        });
        return;
    }
    if (m_faults.split && bytes.size() > 1) {
        const int half = int(bytes.size()) / 2;
        m_pieces.append(bytes.left(half));
        m_pieces.append(bytes.mid(half));
    } else {
        m_pieces.append(bytes);
    }
    if (!m_paceTimer.isActive())
        writeNext();
}

void SimServer::writeNext()
{
    if (!m_client || m_pieces.isEmpty() || frozen())
        return;
    m_client->write(m_pieces.takeFirst());
    m_client->flush();
    if (!m_pieces.isEmpty())
        m_paceTimer.start(splitGapMs);
}
