// tavik-sim: a Tavik device on the loopback interface, for trying the host
// program and its tests without hardware.

#include "announcer.h"
#include "chaos.h"
#include "devicemodel.h"
#include "simserver.h"
#include "tracelog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QHostInfo>
#include <QTimer>

#include <cstdio>
#include <optional>

namespace {

const char description[] =
    "A simulated Tavik RF generator on 127.0.0.1, or the loopback address given\n"
    "by --address: five of them on 127.0.0.1 to 127.0.0.5 make five devices on\n"
    "the same port 8888, as the program expects them.\n"
    "\n"
    "Serves one TCP client at a time (a second one is closed at once), answers\n"
    "status, configuration, clock and livetime queries, and follows the\n"
    "commands: bring-up from stand-by, start (warm-up of 5 s device time, or\n"
    "--warm-up-s, then on air with HV and OSC while the time set by REQ_SET_TIME\n"
    "counts down), stop. While warming it shows HV (--warm-up hv-first, the\n"
    "default) or only Ready and POW (--warm-up ready-pow) until OSC comes up;\n"
    "--warm-up-fault makes every warm-up end halfway without OSC, in stand-by\n"
    "(\"standby\") or back to ready with the error bits given. Its time counts\n"
    "down only on air (--time-counts on-air, the default) or from the start,\n"
    "through the warm-up (--time-counts warm-up).\n"
    "It announces itself by UDP: once in the start-up form, then\n"
    "periodically in the 48-byte form (or the long form with --holder).\n"
    "\n"
    "Faults: --silent-after stops answering after N replies on a connection\n"
    "(it keeps reading); --drop-after-s closes each connection N seconds after\n"
    "accepting it; --garbage writes 1-8 random bytes before every reply but\n"
    "the first; --split writes each reply in two halves 5 ms apart; --merge\n"
    "holds a reply until the next one and writes both at once (or flushes it\n"
    "after 50 ms); --bad-crc N spoils the checksum of every Nth reply;\n"
    "--reply-delay-ms N answers every request N ms late; --cut-off-after-s N\n"
    "ends every transmission by itself N device seconds after it came on air,\n"
    "raising the error bits --cut-off-errors (0: HV just drops), or with\n"
    "--drop-bit hv|osc|transmit loses only that status bit then and stays on air\n"
    "without it until stopped; --on-air-at-s N goes on air by itself N seconds\n"
    "after start, for 175 device seconds. --silent-after 0 never answers.\n"
    "--held: another host holds the device, so every connection is turned away\n"
    "at once (announced in the long form with that holder). --freeze-on-air-s N\n"
    "--freeze-s M: N device seconds into each transmission the device freezes for\n"
    "M seconds, still on air: it reads, accepts and writes nothing, and acts on\n"
    "what was sent meanwhile (a stop) once it goes on. --swap-replies sends every\n"
    "second reply 600 ms late, after the next one: replies out of order.\n"
    "\n"
    "Chaos (--chaos SEED): at random moments, about --chaos-gap-s apart, one of\n"
    "drop the link, stall or slow the replies, noise, split frames, lose HV,\n"
    "a tube error, go on air by itself, move to address+16 and back, a twin\n"
    "announcing the same serial from address+32, drop one of HV, OSC and\n"
    "Transmit alone, held by another host for a while, come back silent after a\n"
    "drop, freeze with what is sent waiting, or replies out of order for a while.\n"
    "The same seed gives the same events in the same order.\n"
    "\n"
    "Trace lines (--trace), ms since start:\n"
    "  <ms> CLOCK monotonic-ms=<where time 0 lies on the system's monotonic clock>\n"
    "  <ms> CONNECT | <ms> DISCONNECT <host|device> (who closed it) | <ms> REFUSED\n"
    "  <ms> RX <REQUEST_NAME> data=<hex> <field>=<value>\n"
    "  <ms> RX BAD_CRC data=<hex of the whole frame>\n"
    "  <ms> PHASE <StandBy|Ready|Warming|OnAir> <cause>\n"
    "  <ms> LF <value> <device-ms>   (a stretch on air at one LF value, when it ends)\n"
    "  <ms> BITS dropped <bits>      (on-air status bits missing while on air; 0: none)\n"
    "  <ms> HELD by another host | <ms> HELD no longer\n"
    "  <ms> FROZEN <ms> | <ms> FROZEN no longer\n"
    "  <ms> CHAOS <event>\n"
    "Prints \"listening on port N\" once ready.";

void fail(const QString &message)
{
    std::fprintf(stderr, "tavik-sim: %s\n", qPrintable(message));
}

std::optional<qint64> integerOption(const QCommandLineParser &parser, const QString &name,
                                    qint64 fallback, qint64 low, qint64 high)
{
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const qint64 value = parser.value(name).toLongLong(&ok);
    if (!ok || value < low || value > high) {
        fail(QStringLiteral("--%1 wants a whole number from %2 to %3").arg(name).arg(low).arg(high));
        return std::nullopt;
    }
    return value;
}

std::optional<double> realOption(const QCommandLineParser &parser, const QString &name,
                                 double fallback, double low)
{
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const double value = parser.value(name).toDouble(&ok);
    if (!ok || !(value >= low) || value > 1e6) {
        fail(QStringLiteral("--%1 wants a number of at least %2").arg(name).arg(low));
        return std::nullopt;
    }
    return value;
}

// "HOST:PORT", the host a literal address or a name to look up.
bool parseEndpoint(const QString &text, QHostAddress &address, quint16 &port)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    bool ok = false;
    const uint number = text.mid(colon + 1).toUInt(&ok);
    if (!ok || number == 0 || number > 65535)
        return false;
    port = quint16(number);
    const QString host = text.left(colon);
    if (address.setAddress(host))
        return address.protocol() == QAbstractSocket::IPv4Protocol;
    const QHostInfo info = QHostInfo::fromName(host);
    for (const QHostAddress &found : info.addresses()) {
        if (found.protocol() == QAbstractSocket::IPv4Protocol) {
            address = found;
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavik-sim"));
    const SimClock startClock;  // trace times count from here

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(description));
    parser.addHelpOption();
    parser.addOptions({
        {"port", "TCP port to listen on; 0 picks a free one (default 8888).", "N"},
        {"address", "IPv4 address to listen on and announce (default 127.0.0.1).", "ADDR"},
        {"serial", "Serial number reported (default 50001).", "N"},
        {"firmware", "Firmware version reported (default 357; 356 or less gets no livetime query).", "N"},
        {"name", "Device name announced; the program takes it as the serial number and first name\n"
                 "(default: the serial number).", "TEXT"},
        {"model", "Model tag announced: Tavik5S, BootTavik5s, Tavik7 or BootTavik7 (default Tavik5S).", "TAG"},
        {"announce-to", "Where announcements go (default 127.0.0.1:11000).", "HOST:PORT"},
        {"announce-interval-ms", "Milliseconds between announcements; 0 sends none (default 2000).", "N"},
        {"holder", "Announce in the long form, held by this IPv4 address (0.0.0.0: free).", "ADDR"},
        {"time-scale", "Device time runs X times faster: countdown, warm-up, counters (default 1).", "X"},
        {"silent-after", "Stop answering after N replies on a connection; keep the connection.", "N"},
        {"drop-after-s", "Close each connection N seconds after accepting it.", "N"},
        {"garbage", "Random bytes between replies."},
        {"split", "Every reply in two writes a few ms apart."},
        {"merge", "Two replies in one write; a lone reply goes after ~50 ms."},
        {"bad-crc", "Every Nth reply with a wrong checksum.", "N"},
        {"reply-delay-ms", "Every reply N ms late.", "N"},
        {"cut-off-after-s", "Every transmission ends by itself N device seconds after coming on air.", "N"},
        {"cut-off-errors", "Error bits raised when it does (default 0).", "BITS"},
        {"drop-bit", "At the cut-off only this bit drops and the device stays on air: hv, osc or transmit.", "BIT"},
        {"held", "Held by another host: every connection is turned away at once."},
        {"freeze-on-air-s", "Freeze N device seconds into each transmission (see --freeze-s).", "N"},
        {"freeze-s", "How long a freeze lasts, in seconds (default 5).", "X"},
        {"swap-replies", "Every second reply goes out 600 ms late, after the next one."},
        {"on-air-at-s", "Go on air by itself N seconds after start.", "N"},
        {"warm-up", "Status while warming: hv-first (default) or ready-pow.", "FORM"},
        {"warm-up-s", "Device seconds from a start to the oscillator (default 5).", "X"},
        {"time-counts", "The transmission time counts down from the start (\"warm-up\") or only\n"
                        "on air (\"on-air\", the default).", "WHEN"},
        {"stop-delay-s", "A stop leaves the air N device seconds after it is read; no start is taken\n"
                         "meanwhile (a device slow to go off air).", "X"},
        {"warm-up-fault", "Every warm-up ends halfway: \"standby\", or error BITS.", "WHAT"},
        {"chaos", "Misbehave at random moments, from this seed.", "SEED"},
        {"chaos-gap-s", "Mean seconds between chaos events (default 4).", "X"},
        {"trace", "Write every frame received, connect and disconnect to FILE.", "FILE"},
    });
    parser.process(app);

    const auto port = integerOption(parser, "port", 8888, 0, 65535);
    const auto serial = integerOption(parser, "serial", 50001, 0, 0xFFFFFFFFll);
    const auto firmware = integerOption(parser, "firmware", 357, 0, 0xFFFFFFFFll);
    const auto interval = integerOption(parser, "announce-interval-ms", 2000, 0, 3600000);
    const auto silentAfter = integerOption(parser, "silent-after", -1, 0, 1 << 30);
    const auto badCrc = integerOption(parser, "bad-crc", 0, 1, 1 << 30);
    const auto timeScale = realOption(parser, "time-scale", 1.0, 0.001);
    const auto dropAfter = realOption(parser, "drop-after-s", -1.0, 0.0);
    const auto replyDelay = integerOption(parser, "reply-delay-ms", 0, 0, 60000);
    const auto cutOffAfter = realOption(parser, "cut-off-after-s", -1.0, 0.0);
    const auto cutOffErrors = integerOption(parser, "cut-off-errors", 0, 0, 0xFFFFFFFFll);
    const auto chaosSeed = integerOption(parser, "chaos", -1, 0, 0xFFFFFFFFll);
    const auto onAirAt = realOption(parser, "on-air-at-s", -1.0, 0.0);
    const auto chaosGap = realOption(parser, "chaos-gap-s", 4.0, 0.05);
    const auto warmUpS = realOption(parser, "warm-up-s", DeviceModel::defaultWarmUpMs / 1000.0, 0.0);
    const auto freezeOnAir = realOption(parser, "freeze-on-air-s", -1.0, 0.0);
    const auto freezeS = realOption(parser, "freeze-s", 5.0, 0.0);
    const auto stopDelay = realOption(parser, "stop-delay-s", 0.0, 0.0);
    if (!port || !serial || !firmware || !interval || !silentAfter || !badCrc || !timeScale || !dropAfter
        || !replyDelay || !cutOffAfter || !cutOffErrors || !chaosSeed || !chaosGap || !onAirAt || !warmUpS
        || !freezeOnAir || !freezeS || !stopDelay)
        return 2;

    Identity identity;
    identity.serial = quint32(*serial);
    identity.firmware = quint32(*firmware);
    // The program identifies a device by the name it announces.
    identity.name = parser.isSet("name") ? parser.value("name") : QString::number(identity.serial);
    if (parser.isSet("model"))
        identity.model = parser.value("model");
    if (!Announcer::modelTags().contains(identity.model)) {
        fail(QStringLiteral("--model wants one of %1").arg(Announcer::modelTags().join(", ")));
        return 2;
    }
    if (parser.isSet("held"))
        identity.holder = QHostAddress(QStringLiteral("127.0.0.250"));
    if (parser.isSet("holder")) {
        if (!identity.holder.setAddress(parser.value("holder"))
            || identity.holder.protocol() != QAbstractSocket::IPv4Protocol) {
            fail(QStringLiteral("--holder wants an IPv4 address"));
            return 2;
        }
    }
    if (parser.isSet("address")) {
        if (!identity.address.setAddress(parser.value("address"))
            || identity.address.protocol() != QAbstractSocket::IPv4Protocol) {
            fail(QStringLiteral("--address wants an IPv4 address such as 127.0.0.2"));
            return 2;
        }
    }
    QHostAddress announceAddress(QHostAddress::LocalHost);
    quint16 announcePort = 11000;
    if (parser.isSet("announce-to")
        && !parseEndpoint(parser.value("announce-to"), announceAddress, announcePort)) {
        fail(QStringLiteral("--announce-to wants HOST:PORT with an IPv4 host"));
        return 2;
    }

    Faults faults;
    faults.silentAfter = int(*silentAfter);
    faults.dropAfterS = *dropAfter;
    faults.garbage = parser.isSet("garbage");
    faults.split = parser.isSet("split");
    faults.merge = parser.isSet("merge");
    faults.badCrcEvery = int(*badCrc);
    faults.replyDelayMs = int(*replyDelay);
    faults.swap = parser.isSet("swap-replies");
    faults.held = parser.isSet("held");
    faults.freezeOnAirS = *freezeOnAir;
    faults.freezeS = *freezeS;

    const SimClock clock(*timeScale);
    TraceLog trace(startClock);
    if (parser.isSet("trace") && !trace.open(parser.value("trace"))) {
        fail(QStringLiteral("cannot write the trace file %1").arg(parser.value("trace")));
        return 1;
    }

    DeviceModel model(identity.serial, identity.firmware,
                      quint32(QDateTime::currentSecsSinceEpoch()));
    if (*cutOffAfter >= 0)
        model.setCutOffAfter(qint64(*cutOffAfter * 1000), quint32(*cutOffErrors));
    if (parser.isSet("drop-bit")) {
        const QString bit = parser.value("drop-bit");
        const quint32 value = bit == QLatin1String("hv")         ? DeviceModel::highVoltageBit
                              : bit == QLatin1String("osc")      ? DeviceModel::oscillatorBit
                              : bit == QLatin1String("transmit") ? DeviceModel::transmitBit
                                                                 : 0;
        if (value == 0) {
            fail(QStringLiteral("--drop-bit wants hv, osc or transmit"));
            return 2;
        }
        model.setCutOffDrops(value);
    }
    const QString warmUp = parser.isSet("warm-up") ? parser.value("warm-up") : QStringLiteral("hv-first");
    if (warmUp != QLatin1String("hv-first") && warmUp != QLatin1String("ready-pow")) {
        fail(QStringLiteral("--warm-up wants hv-first or ready-pow"));
        return 2;
    }
    model.setWarmUp(warmUp == QLatin1String("hv-first") ? DeviceModel::WarmUp::HvFirst
                                                        : DeviceModel::WarmUp::ReadyAndPower,
                    qint64(*warmUpS * 1000));
    const QString counts = parser.isSet("time-counts") ? parser.value("time-counts") : QStringLiteral("on-air");
    if (counts != QLatin1String("on-air") && counts != QLatin1String("warm-up")) {
        fail(QStringLiteral("--time-counts wants on-air or warm-up"));
        return 2;
    }
    model.setTimeCountsWarmUp(counts == QLatin1String("warm-up"));
    model.setStopDelay(qint64(*stopDelay * 1000));
    if (parser.isSet("warm-up-fault")) {
        const QString fault = parser.value("warm-up-fault");
        bool ok = fault == QLatin1String("standby");
        const quint32 bits = ok ? 0 : fault.toUInt(&ok);
        if (!ok || (bits == 0 && fault != QLatin1String("standby"))) {
            fail(QStringLiteral("--warm-up-fault wants standby or error bits above 0"));
            return 2;
        }
        model.setWarmUpFault(fault == QLatin1String("standby"), bits);
    }
    SimServer server(model, clock, trace, faults);
    if (!server.listen(identity.address, quint16(*port))) {
        fail(QStringLiteral("cannot listen on %1 port %2: %3")
                 .arg(identity.address.toString()).arg(*port).arg(server.errorString()));
        return 1;
    }
    identity.tcpPort = server.port();

    std::optional<Announcer> announcer;
    if (*interval > 0) {
        announcer.emplace(identity, announceAddress, announcePort, int(*interval));
        announcer->start();
    }

    if (*onAirAt >= 0) {
        QTimer::singleShot(int(*onAirAt * 1000), &server, [&model, &server] {
            server.advanceModel();
            model.startByItself(175);
            server.advanceModel();
        });
    }

    std::optional<Chaos> chaos;
    if (*chaosSeed >= 0) {
        chaos.emplace(quint32(*chaosSeed), *chaosGap, server, model, trace, announcer ? &*announcer : nullptr,
                      identity.address, identity.tcpPort);
        chaos->start();
    }

    std::printf("listening on port %u\n", unsigned(server.port()));
    std::fflush(stdout);
    return app.exec();
}
