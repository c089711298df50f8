#include "chaos.h"

#include "announcer.h"
#include "devicemodel.h"
#include "simserver.h"
#include "tracelog.h"

Chaos::Chaos(quint32 seed, double meanGapS, SimServer &server, DeviceModel &model, TraceLog &trace,
             Announcer *announcer, const QHostAddress &home, quint16 port, QObject *parent)
    : QObject(parent), m_random(seed), m_meanGapS(meanGapS), m_server(server), m_model(model), m_trace(trace),
      m_announcer(announcer), m_home(home), m_port(port)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &Chaos::strike);
}

void Chaos::start()
{
    m_trace.write(QStringLiteral("CHAOS seed"));
    scheduleNext();
}

void Chaos::scheduleNext()
{
    // Gaps from a fifth of the mean to twice it.
    const double gap = m_meanGapS * (0.2 + 1.8 * m_random.generateDouble());
    m_timer.start(int(gap * 1000));
}

QHostAddress Chaos::shifted(int by) const
{
    return QHostAddress(m_home.toIPv4Address() + quint32(by));
}

void Chaos::strike()
{
    enum Event { Drop, Stall, Slow, Noise, Split, LoseHv, Tube, SelfStart, Move, Twin, DropBit, Held, Mute, Freeze, Swap,
                 EventCount };
    const int event = int(m_random.bounded(int(EventCount)));
    m_server.advanceModel();  // the device's time up to now, before it changes
    QString what;
    switch (event) {
    case Drop:
        what = QStringLiteral("drop");
        m_server.dropLink();
        break;
    case Stall: {
        const int ms = 500 + int(m_random.bounded(7500));
        what = QStringLiteral("stall %1").arg(ms);
        m_server.stallFor(ms);
        break;
    }
    case Slow:
        what = QStringLiteral("slow 250");
        m_server.setReplyDelay(250);
        QTimer::singleShot(8000, this, [this] { m_server.setReplyDelay(0); });
        break;
    case Noise: {
        const int bytes = 16 + int(m_random.bounded(6000));
        what = QStringLiteral("noise %1").arg(bytes);
        m_server.sendNoise(bytes);
        break;
    }
    case Split:
        what = QStringLiteral("split");
        m_server.setSplit(true);
        QTimer::singleShot(5000, this, [this] { m_server.setSplit(false); });
        break;
    case LoseHv:
        what = QStringLiteral("lose-hv");
        m_model.cutOff(0, QStringLiteral("hv-lost"));
        break;
    case Tube:
        what = QStringLiteral("tube-error");
        m_model.cutOff(0x2, QStringLiteral("tube-error"));
        break;
    case SelfStart: {
        const int seconds = 100 + int(m_random.bounded(500));
        what = QStringLiteral("self-start %1").arg(seconds);
        m_model.startByItself(seconds);
        break;
    }
    case Move: {
        m_moved = !m_moved;
        const QHostAddress to = m_moved ? shifted(16) : m_home;
        what = QStringLiteral("move %1").arg(to.toString());
        if (!m_server.moveTo(to, m_port))
            what += QStringLiteral(" failed");
        else if (m_announcer)
            m_announcer->setAddress(to);
        break;
    }
    case Twin:
        what = QStringLiteral("twin %1").arg(shifted(32).toString());
        if (m_announcer) {
            for (int i = 0; i < 3; ++i)
                QTimer::singleShot(i * 700, this, [this] { m_announcer->sendTwin(shifted(32)); });
        }
        break;
    case DropBit: {
        // One of the three on-air bits goes, the rest stays on.
        static const std::pair<quint32, const char *> bits[] = {
            {DeviceModel::highVoltageBit, "hv"}, {DeviceModel::oscillatorBit, "osc"}, {DeviceModel::transmitBit, "transmit"}};
        const auto &bit = bits[m_random.bounded(3)];
        what = QStringLiteral("drop-bit %1").arg(QLatin1String(bit.second));
        m_model.dropBit(bit.first);
        break;
    }
    case Held: {
        // Another host takes the device for a while: this one is turned
        // away, and the announcements name the other.
        const int ms = 3000 + int(m_random.bounded(5000));
        what = QStringLiteral("held %1").arg(ms);
        m_server.setHeld(true);
        if (m_announcer)
            m_announcer->setHolder(shifted(200));
        QTimer::singleShot(ms, this, [this] {
            m_server.setHeld(false);
            if (m_announcer)
                m_announcer->setHolder(QHostAddress(QHostAddress::AnyIPv4));
        });
        break;
    }
    case Mute: {
        // The link drops and the device comes back silent: it accepts a
        // connection and answers nothing for a while.
        const int ms = 2000 + int(m_random.bounded(5000));
        what = QStringLiteral("mute %1").arg(ms);
        m_server.dropLink();
        m_server.stallFor(ms);
        break;
    }
    case Freeze: {
        const int ms = 2000 + int(m_random.bounded(5000));
        what = QStringLiteral("freeze %1").arg(ms);
        m_server.freezeFor(ms);
        break;
    }
    case Swap:
        what = QStringLiteral("swap");
        m_server.setSwap(true);
        QTimer::singleShot(8000, this, [this] { m_server.setSwap(false); });
        break;
    }
    m_trace.write(QStringLiteral("CHAOS ") + what);
    m_server.advanceModel();
    scheduleNext();
}
