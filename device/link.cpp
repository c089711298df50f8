#include "device/link.h"

#include "device/outbound.h"
#include "device/pingcommand.h"

#include <QDebug>
#include <QProcess>
#include <QTcpSocket>

Link::Link(QObject *parent)
    : QObject(parent), m_socket(new QTcpSocket(this)), m_pingProcess(new QProcess(this))
{
    // What the socket holds is bounded too: a peer that floods the link is
    // slowed down by TCP instead of filling memory between two ticks.
    m_socket->setReadBufferSize(4 * FrameReader::maxBuffered);
    connect(m_socket, &QTcpSocket::readyRead, this, &Link::markFlagReadyPacket);
    connect(m_socket, &QTcpSocket::connected, this, &Link::markFlagConnected);
    connect(m_socket, &QTcpSocket::disconnected, this, &Link::markFlagDisconnected);
    connect(m_pingProcess, &QProcess::readyReadStandardOutput, this, &Link::readStandardOutput);
    connect(m_pingProcess, &QProcess::readyReadStandardError, this, &Link::readStandardError);
}

Link::~Link()
{
    // The socket and the process go with this object; their last signals
    // must not reach a half-destroyed controller.
    m_socket->disconnect(this);
    m_pingProcess->disconnect(this);
    if (m_pingProcess->state() != QProcess::NotRunning) {
        m_pingProcess->kill();
        m_pingProcess->waitForFinished(1000);
    }
}

void Link::markFlagReadyPacket()
{
    m_packetReady = true;
}

void Link::markFlagConnected()
{
    m_connectedEvent = true;
    m_connected = true;
}

void Link::markFlagDisconnected()
{
    m_disconnectedEvent = true;
    m_connected = false;
}

bool Link::connectToDevice()
{
    if (m_connected)
        return true;
    switch (m_socket->state()) {
    case QAbstractSocket::HostLookupState:
    case QAbstractSocket::ConnectingState:
        return true;  // an attempt is under way; a second would cancel it
    case QAbstractSocket::UnconnectedState:
        break;
    default:
        m_socket->abort();  // still closing the last connection
        break;
    }
    // A new connection starts a new byte stream: half a frame left from the
    // old one must not be glued to the first reply.
    m_reader.clear();
    Outbound::aboutToSend(m_hostAddress, "TCP");
    m_socket->connectToHost(m_hostAddress, m_port, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    return true;
}

void Link::disconnectFromDevice()
{
    // An attempt still under way is called off: left running, it would
    // connect later unasked and hold the device's one client place.
    if (connectionPending())
        m_socket->abort();
    else
        m_socket->disconnectFromHost();
}

bool Link::connectionPending() const
{
    return m_socket->state() == QAbstractSocket::HostLookupState
        || m_socket->state() == QAbstractSocket::ConnectingState;
}

void Link::abortConnectionAttempt()
{
    if (connectionPending())
        m_socket->abort();
}

void Link::pushWrites()
{
    m_socket->flush();
}

void Link::requestConnect()
{
    if (!m_connected)
        m_connectRequest = true;
}

void Link::requestDisconnect()
{
    m_disconnectRequest = true;
}

void Link::beginPacket()
{
    m_sendIndex = 2;
    m_sendOverflow = false;
    m_sendBuffer[0] = 0;
    m_sendBuffer[1] = 0;
}

void Link::putU8(quint8 value)
{
    // The length byte caps code and data at 255 bytes; a request that would
    // not fit is refused at sendPacket rather than written past the buffer.
    if (m_sendIndex - 2 >= Frame::maxBody) {
        m_sendOverflow = true;
        return;
    }
    m_sendBuffer[m_sendIndex++] = char(value);
}

void Link::putU16(quint16 value)
{
    putU8(quint8(value & 0xFF));
    putU8(quint8(value >> 8));
}

void Link::putU32(quint32 value)
{
    for (int shift = 0; shift < 32; shift += 8)
        putU8(quint8((value >> shift) & 0xFF));
}

bool Link::sendPacket()
{
    const int length = m_sendIndex - 2;
    if (m_sendOverflow || length < 1) {
        qWarning() << "request not sent: frame of" << length << "bytes";
        return false;
    }
    m_sendBuffer[0] = 0;
    m_sendBuffer[1] = char(length);
    const quint16 crc = Frame::crc16(m_sendBuffer.data() + 1, length + 1);
    m_sendBuffer[m_sendIndex++] = char(crc >> 8);
    m_sendBuffer[m_sendIndex++] = char(crc & 0xFF);
    // One write per frame, so a device never sees a request in pieces that
    // the socket could have sent whole.
    m_socket->write(m_sendBuffer.data(), m_sendIndex);
    return true;
}

bool Link::flushWrites(int ms)
{
    m_socket->flush();
    return m_socket->bytesToWrite() == 0 || m_socket->waitForBytesWritten(ms);
}

bool Link::waitForReplyBytes(int ms)
{
    return m_socket->bytesAvailable() > 0 || m_socket->waitForReadyRead(ms);
}

void Link::readPacket()
{
    m_reader.append(m_socket->readAll());
}

bool Link::nextReply(quint8 &code)
{
    if (!m_reader.next(m_reply))
        return false;
    // A checked frame: lead, L, code, L - 1 data bytes, checksum.
    const int length = quint8(m_reply.at(1));
    code = quint8(m_reply.at(2));
    m_readIndex = 3;
    m_replyEnd = 2 + length;
    return true;
}

quint8 Link::getU8()
{
    if (m_readIndex >= m_replyEnd)
        return 0;
    return quint8(m_reply.at(m_readIndex++));
}

quint16 Link::getU16()
{
    const quint16 low = getU8();
    return quint16(low | (quint16(getU8()) << 8));
}

quint32 Link::getU32()
{
    quint32 value = 0;
    for (int shift = 0; shift < 32; shift += 8)
        value |= quint32(getU8()) << shift;
    return value;
}

bool Link::startPing()
{
    if (m_hostAddress.isEmpty() || !m_pingProcess)
        return false;
    if (!PingCommand::isDottedIPv4(m_hostAddress)) {
        qWarning().noquote() << "ping refused for address" << m_hostAddress;
        return false;
    }
    if (m_pingProcess->state() != QProcess::NotRunning)
        return false;  // the last one is still waiting for its reply
    const PingCommand &command = PingCommand::native();
    Outbound::aboutToSend(m_hostAddress, "ping");
    m_pingProcess->start(command.program(), command.arguments(m_hostAddress), QIODevice::ReadWrite);
    if (!m_pingProcess->waitForStarted(30000))
        qDebug() << "Could not launch the process";
    return true;
}

void Link::readStandardOutput()
{
    const QString text = QString::fromUtf8(m_pingProcess->readAllStandardOutput());
    const PingCommand::Verdict verdict = PingCommand::native().judge(text);
    if (verdict == PingCommand::Verdict::Ignore)
        return;
    if (verdict == PingCommand::Verdict::Unreachable) {
        qDebug().noquote() << "NENASLO" << m_hostAddress;
        m_pingReachable = false;
    } else {
        qDebug().noquote() << m_hostAddress << "OK";
        m_pingReachable = true;
    }
    m_pingDone = true;
    qDebug().noquote() << "output: " << text;
}

void Link::readStandardError()
{
    qDebug().noquote() << "error: " << QString::fromUtf8(m_pingProcess->readAllStandardError());
}

