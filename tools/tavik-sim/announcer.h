#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUdpSocket>

// What a device tells the network about itself.
struct Identity
{
    QString model = QStringLiteral("Tavik5S");  // one of Announcer::modelTags()
    QString name = QStringLiteral("SimTavik");
    // Where the device listens, and so the address it announces.
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 tcpPort = 8888;
    quint32 serial = 50001;
    quint32 firmware = 357;
    // With a holder the long form is sent: the computer that holds the
    // device; 0.0.0.0 says it is free. Null: the short 48-byte form.
    QHostAddress holder;
};

// Sends the device's UDP announcement every few seconds, after one start-up
// announcement.
class Announcer : public QObject
{
    Q_OBJECT

public:
    static constexpr int datagramShortSize = 48;
    static constexpr int nameMax = 30;

    static QStringList modelTags();
    static bool isStartUpTag(const QString &tag);
    // The start-up tag of the same device type.
    static QString startUpTagFor(const QString &tag);

    // The announcement as sent: the start-up form, the 48-byte form or, with
    // a holder, the long form.
    static QByteArray datagram(const Identity &identity, bool startUp);

    Announcer(const Identity &identity, const QHostAddress &to, quint16 port,
              int intervalMs, QObject *parent = nullptr);

    void start();
    // The device now listens at another address and says so.
    void setAddress(const QHostAddress &address);
    // The computer that holds the device now (0.0.0.0: nobody), said from
    // now on in the long form.
    void setHolder(const QHostAddress &holder);
    // One announcement of this device's serial number from another
    // address: a second device with the same serial, as the host sees it.
    void sendTwin(const QHostAddress &address);

private:
    void send(bool startUp);

    Identity m_identity;
    const QHostAddress m_to;
    const quint16 m_port;
    QUdpSocket m_socket;
    QTimer m_timer;
};
