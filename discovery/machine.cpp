#include "discovery/machine.h"

#include "data/textforms.h"

#include <QDebug>
#include <QStringList>

namespace AddressText {

QString fromIpv4(const Ipv4 &address)
{
    QStringList parts;
    for (quint8 part : address)
        parts.append(QString::number(part));
    return parts.join(QLatin1Char('.'));
}

static bool isDigit(QChar c, int base)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return true;
    return base == 16 && ((u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F'));
}

template <typename Bytes>
static bool parseParts(const QString &text, QChar separator, int base, Bytes &bytes)
{
    const QStringList parts = text.split(separator, Qt::KeepEmptyParts);
    if (parts.size() != int(bytes.size()))
        return false;
    Bytes parsed {};
    for (int i = 0; i < parts.size(); ++i) {
        // Digits only: toUInt would also take spaces, a sign or "0x".
        const QString &part = parts.at(i);
        bool ok = !part.isEmpty();
        for (QChar c : part)
            ok = ok && isDigit(c, base);
        const uint value = ok ? part.toUInt(&ok, base) : 0;
        if (!ok || value > 255)
            return false;
        parsed[i] = quint8(value);
    }
    bytes = parsed;
    return true;
}

bool parseIpv4(const QString &text, Ipv4 &address)
{
    return parseParts(text, QLatin1Char('.'), 10, address);
}

bool isDeviceAddress(const Ipv4 &address)
{
    return address != Ipv4{0, 0, 0, 0} && address != Ipv4{255, 255, 255, 255};
}

QString fromMac(const MacAddress &mac)
{
    QStringList parts;
    for (quint8 part : mac)
        parts.append(QStringLiteral("%1").arg(part, 2, 16, QLatin1Char('0')));
    return parts.join(QLatin1Char(':'));
}

bool parseMac(const QString &text, MacAddress &mac)
{
    return parseParts(text, QLatin1Char(':'), 16, mac);
}

} // namespace AddressText

Machine::Machine(const QDateTime &created)
    : lastContact(created), deadline(created.addSecs(-3))
{
}

QString Machine::typeWord(int type)
{
    switch (type) {
    case Tavik5: return QStringLiteral("Tavik");
    case Tavik7: return QStringLiteral("Tavik7");
    default: break;
    }
    return QStringLiteral("Unknown");
}

int Machine::typeFromWord(const QString &word)
{
    if (word == QLatin1String("Tavik"))
        return Tavik5;
    if (word == QLatin1String("Tavik7"))
        return Tavik7;
    return Unknown;
}

Machine Machine::fromJson(const QJsonObject &object)
{
    Machine machine;
    const QJsonValue work = object.value(QLatin1String("Work"));
    if (work.isObject())
        machine.work.fromJson(work.toObject());
    const QJsonValue logs = object.value(QLatin1String("logs"));
    if (logs.isObject())
        machine.logs.fromJson(logs.toObject());

    QString text;
    if (TextForm::stringOf(object, "IP", text))
        AddressText::parseIpv4(text, machine.scanAddress);
    if (TextForm::stringOf(object, "SIP", text))
        AddressText::parseIpv4(text, machine.connectAddress);
    if (TextForm::stringOf(object, "MAC", text))
        AddressText::parseMac(text, machine.mac);
    TextForm::readInt(object, "Port", machine.port);
    TextForm::readText(object, "SerialNumber", machine.serialNumber);
    TextForm::readText(object, "Machine", machine.name);
    if (TextForm::stringOf(object, "Type", text))
        machine.type = typeFromWord(text);
    if (TextForm::stringOf(object, "LastConnected", text)) {
        machine.lastContact = TextForm::stampFrom(text, lastContactPattern);
        machine.deadline = TextForm::asLocal(machine.lastContact.when).addSecs(responsiveSeconds);
    }
    if (TextForm::stringOf(object, "Autoconnect", text)) {
        bool ok = false;
        machine.autoconnect = text.toInt(&ok, 10) != 0;
        qDebug().noquote() << "autoconnect" << text << (machine.autoconnect ? "true" : "false") << "ok"
                           << (ok ? "true" : "false");
    }
    return machine;
}

QJsonObject Machine::toJson() const
{
    QJsonObject workObject;
    work.toJson(workObject);
    QJsonObject logsObject;
    logs.toJson(logsObject);
    return {
        {"logs", logsObject},
        {"Work", workObject},
        {"IP", AddressText::fromIpv4(scanAddress)},
        {"SIP", AddressText::fromIpv4(connectAddress)},
        {"MAC", AddressText::fromMac(mac)},
        {"Port", TextForm::fromInt(port)},
        {"SerialNumber", serialNumber},
        {"Machine", name},
        {"Type", typeWord(type)},
        {"LastConnected", TextForm::stampText(lastContact, lastContactPattern)},
        {"Autoconnect", autoconnect ? QStringLiteral("1") : QStringLiteral("0")},
    };
}

bool Machine::responsive(const QDateTime &now) const
{
    return !deadline.isValid() || now <= deadline;
}

Machine::Availability Machine::availability(const QDateTime &now) const
{
    if (!responsive(now))
        return Availability::Unresponsive;
    if (booting)
        return Availability::Starting;
    return free ? Availability::ReadyToConnect : Availability::Occupied;
}

QString Machine::availabilityWord(Availability availability)
{
    switch (availability) {
    case Availability::Unresponsive: return QStringLiteral("Unresponsive");
    case Availability::Starting: return QStringLiteral("Starting");
    case Availability::ReadyToConnect: return QStringLiteral("Ready to connect");
    case Availability::Occupied: return QStringLiteral("Occupied");
    }
    return QString();
}

void Machine::touch(const QDateTime &now)
{
    lastContact = now;
    deadline = now.addSecs(responsiveSeconds);
}
