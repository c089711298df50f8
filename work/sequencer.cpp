#include "work/sequencer.h"

#include "work/clock.h"
#include "work/transmitcontrol.h"

#include <QDebug>
#include <QElapsedTimer>

namespace {

class SystemClock : public Clock
{
public:
    SystemClock() { m_timer.start(); }
    qint64 msecs() const override { return m_timer.elapsed(); }

private:
    QElapsedTimer m_timer;  // monotonic where the system has such a clock
};

int secondsOf(const QTime &time)
{
    return time.isValid() ? time.msecsSinceStartOfDay() / 1000 : 0;
}

} // namespace

const Clock &Clock::system()
{
    static const SystemClock clock;
    return clock;
}

Sequencer::Sequencer(QObject *parent)
    : QObject(parent), m_clock(&Clock::system())
{
}

void Sequencer::setClock(const Clock *clock)
{
    m_clock = clock ? clock : &Clock::system();
}

const char *Sequencer::stateName(State state)
{
    static const char *const names[StateCount] = {
        "S_IDLE", "S_START_TRANSMIT", "S_WAIT_RF_READY", "S_RF_READY",
        "S_SEND_LF", "S_WAIT_FOR_DONE", "S_CHECK_NEXT", "S_STOP_TRANSMIT",
    };
    return state >= 0 && state < StateCount ? names[state] : "?";
}

void Sequencer::resize(int count)
{
    m_items = QVector<SequenceItem>(qMax(0, count));
    m_index = 0;
}

void Sequencer::setItem(int index, const QString &title, const QString &lfText, int minutes)
{
    if (index < 0 || index >= count())
        return;
    SequenceItem &item = m_items[index];
    item.title = title;
    item.lfText = lfText;
    item.duration = QTime(0, 0).addSecs(qBound(0, minutes, 24 * 60 - 1) * 60);
    item.progress = 0;
}

void Sequencer::setTotalTime(qint64 seconds)
{
    m_totalTime = QTime(0, 0).addSecs(int(seconds % 86400));
}

bool Sequencer::start()
{
    // Until the stop of the last run has run its course a start would be
    // swallowed by the return to S_IDLE; it is refused instead.
    if (!canStart())
        return false;
    m_running = true;
    m_index = 0;
    setState(S_START_TRANSMIT);
    return true;
}

void Sequencer::stop()
{
    m_running = false;
    m_index = 0;
    if (m_state != S_IDLE)
        setState(S_STOP_TRANSMIT);
}

void Sequencer::reset()
{
    m_running = false;
    m_index = 0;
}

int Sequencer::progress(int index) const
{
    return index >= 0 && index < count() ? m_items.at(index).progress : -1;
}

int Sequencer::currentItem() const
{
    return m_index == 0 || count() == 0 ? 0 : m_index - 1;
}

qint64 Sequencer::totalSeconds() const
{
    qint64 total = 0;
    for (const SequenceItem &item : m_items)
        total += secondsOf(item.duration);
    return total;
}

void Sequencer::setState(State state)
{
    qDebug() << "Setstate :" << stateName(m_state);
    qDebug() << "->" << stateName(state);
    m_countdown = 0;
    m_state = state;
    switch (state) {
    case S_START_TRANSMIT:
        if (m_controller) {
            m_controller->setTransmitSeconds(quint32(totalSeconds()));
            // The controller sends the value it holds as soon as it is on
            // air, before the first item is begun: let that be the first
            // item's value rather than whatever the last run left.
            if (!m_items.isEmpty())
                m_controller->setLfRequested(quint32(qint64(lfValueOf(m_items.first(), 0))));
            m_controller->requestStart();
        }
        setState(S_WAIT_RF_READY);
        break;
    case S_SEND_LF:
        if (m_controller)
            m_controller->setLfRequested(quint32(qint64(m_lfValue)));
        break;
    case S_STOP_TRANSMIT:
        if (m_controller)
            m_controller->requestStop();
        m_nextState = S_IDLE;
        m_countdown = stopTicks;
        break;
    case S_IDLE:
        m_running = false;
        m_index = 0;
        break;
    default:
        break;
    }
}

float Sequencer::lfValueOf(const SequenceItem &item, float unchanged)
{
    if (item.lfText.isNull())
        return unchanged;
    bool ok = false;
    const float value = item.lfText.trimmed().toFloat(&ok);
    return ok ? value : 0;
}

bool Sequencer::nextItem()
{
    if (m_index >= count())
        return false;
    // The first item starts when the device is on air; each later one where
    // the previous was due to end, so that ticks noticing an end late do not
    // add up over a long list.
    if (m_index == 0)
        m_itemStart = m_clock->msecs();
    else
        m_itemStart += m_itemDuration.msecsSinceStartOfDay();
    const SequenceItem &item = m_items.at(m_index);
    m_itemDuration = item.duration;
    m_lfValue = lfValueOf(item, m_lfValue);
    ++m_index;
    return true;
}

qint64 Sequencer::elapsedMilliseconds() const
{
    return qMax<qint64>(0, m_clock->msecs() - m_itemStart);
}

void Sequencer::tick()
{
    if (m_state == S_WAIT_RF_READY && m_controller && m_controller->isTransmitting())
        setState(nextItem() ? S_SEND_LF : S_STOP_TRANSMIT);

    // An item that ended several ticks ago (a zero-length one, or a stalled
    // event loop) is passed in this same tick rather than one per tick.
    // A reset while an item is on air leaves no item to follow: the run ends.
    if (m_state == S_SEND_LF && m_index < 1)
        setState(S_STOP_TRANSMIT);
    while (m_state == S_SEND_LF) {
        const qint64 elapsed = elapsedMilliseconds() / 1000;
        const qint64 durationMs = m_itemDuration.msecsSinceStartOfDay();
        if (durationMs > elapsed * 1000) {
            m_items[m_index - 1].progress = int(double(elapsed) / double(durationMs / 1000) * 100);
            break;
        }
        m_items[m_index - 1].progress = 100;
        setState(nextItem() ? S_SEND_LF : S_STOP_TRANSMIT);
    }

    if (m_countdown == 1) {
        m_countdown = 0;
        setState(m_nextState);
    }
    if (m_countdown > 1)
        --m_countdown;
}
