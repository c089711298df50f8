#pragma once

#include "device/frame.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>

class QProcess;
class QTcpSocket;

// One TCP connection to a Tavik device and the frames that cross it, plus
// the reachability ping that gates connecting.
//
// Nothing happens in the signal handlers: the socket and the ping process
// only raise flags, and the controller consumes them from the window's
// 25 ms tick, so that all device work runs in one place and one order.
class Link : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 defaultPort = 8888;

    explicit Link(QObject *parent = nullptr);
    ~Link() override;

    bool takePacketReady() { return take(m_packetReady); }
    bool takeConnectedEvent() { return take(m_connectedEvent); }
    bool takeDisconnectedEvent() { return take(m_disconnectedEvent); }
    bool takePingDone() { return take(m_pingDone); }

    bool isConnected() const { return m_connected; }
    bool pingReachable() const { return m_pingReachable; }
    QString hostAddress() const { return m_hostAddress; }
    quint16 port() const { return m_port; }

    bool connectToDevice();
    void disconnectFromDevice();
    // A connection attempt is under way, its handshake not yet answered.
    bool connectionPending() const;
    // Calls off an attempt under way, so that the next one starts afresh.
    void abortConnectionAttempt();
    // Hands what was sent to the system at once, without waiting.
    void pushWrites();
    void requestConnect();
    void requestDisconnect();

    // A request is built as beginPacket, putU8(code), the data, sendPacket.
    void beginPacket();
    void putU8(quint8 value);
    void putU16(quint16 value);
    void putU32(quint32 value);
    bool sendPacket();

    // Moves everything the socket holds into the frame buffer.
    void readPacket();

    // Pushes what was sent towards the device now, waiting at most `ms`;
    // for a program about to end, which runs no event loop any more.
    bool flushWrites(int ms);
    // Waits at most `ms` for bytes from the device; false when none came.
    bool waitForReplyBytes(int ms);

    // Takes the next complete frame for decoding and returns its code
    // through `code`; false when none is buffered. The getters then read its
    // data in order and give 0 past its end.
    bool nextReply(quint8 &code);
    quint8 getU8();
    quint16 getU16();
    quint32 getU32();
    // Data bytes of the frame being decoded that are still unread.
    int replyBytesLeft() const { return m_replyEnd - m_readIndex; }

    bool startPing();

public Q_SLOTS:
    void markFlagReadyPacket();
    void markFlagConnected();
    void markFlagDisconnected();
    void readStandardOutput();
    void readStandardError();

protected:
    static bool take(bool &flag)
    {
        const bool value = flag;
        flag = false;
        return value;
    }

    QString m_hostAddress;
    quint16 m_port = defaultPort;
    bool m_connectRequest = false;
    bool m_disconnectRequest = false;
    bool m_pingReachable = false;
    bool m_pingDone = false;

private:
    QTcpSocket *m_socket = nullptr;
    QProcess *m_pingProcess = nullptr;

    bool m_connected = false;
    bool m_packetReady = false;
    bool m_connectedEvent = false;
    bool m_disconnectedEvent = false;

    // The frame under construction: lead, length, code, data, checksum.
    std::array<char, 256 + Frame::overhead> m_sendBuffer{};
    int m_sendIndex = 2;
    bool m_sendOverflow = false;

    FrameReader m_reader;
    QByteArray m_reply;
    int m_readIndex = 0;
    int m_replyEnd = 0;
};
