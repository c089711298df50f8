#include "work/sequencer.h"

#include "data/textforms.h"
#include "data/worklist.h"
#include "device/transmitcontrol.h"
#include "work/clock.h"
#include "work/runrules.h"

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
    item.lfValid = TextForm::lfValue(lfText, item.lf);
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
    if (!canStart() || !hasRunnableItems())
        return false;
    m_cutShort = CutShort();
    m_cutShortNew = false;
    for (SequenceItem &item : m_items)
        item.progress = 0;
    m_running = true;
    m_index = 0;
    setState(S_START_TRANSMIT);
    return true;
}

bool Sequencer::hasRunnableItems() const
{
    if (m_items.isEmpty())
        return false;
    for (const SequenceItem &item : m_items) {
        if (!item.lfValid)
            return false;
    }
    return true;
}

void Sequencer::endCutShort(const QString &reason)
{
    m_cutShort.item = currentItem();
    m_cutShort.progress = m_index > 0 ? m_items.at(m_index - 1).progress : 0;
    m_cutShort.title = m_cutShort.item < count() ? m_items.at(m_cutShort.item).title : QString();
    m_cutShort.reason = reason;
    m_cutShortNew = true;
    qDebug().noquote() << "run cut short at item" << m_cutShort.item << reason;
    setState(S_IDLE);
}

bool Sequencer::resumeAfterStall(qint64 gapMs)
{
    // The device counted its time down through the stall; the schedule
    // moves on by the gap so that no item loses time or is passed over.
    m_itemStart += gapMs;
    m_slackMs -= gapMs;
    return m_slackMs >= 0;
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

qint64 Sequencer::remainingMs() const
{
    if (!m_running)
        return -1;
    if (m_state != S_SEND_LF || m_index < 1)
        return totalSeconds() * 1000;
    qint64 rest = qMax<qint64>(0, m_itemDuration.msecsSinceStartOfDay() - elapsedMilliseconds());
    for (int i = m_index; i < count(); ++i)
        rest += qint64(secondsOf(m_items.at(i).duration)) * 1000;
    return rest;
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
                m_controller->setLfRequested(m_items.first().lf);
            m_controller->takeInterruption();  // left from an earlier run
            m_controller->requestStart();
        }
        setState(S_WAIT_RF_READY);
        break;
    case S_SEND_LF:
        if (m_controller)
            m_controller->setLfRequested(m_lfValue);
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

bool Sequencer::nextItem()
{
    if (m_index >= count())
        return false;
    // The first item starts when the device is on air; each later one where
    // the previous was due to end, so that ticks noticing an end late do not
    // add up over a long list.
    if (m_index == 0) {
        m_itemStart = m_clock->msecs();
        m_lastTickClock = m_itemStart;
        m_slackMs = deviceSlackMs;
        m_sinceTick.start();
    } else {
        m_itemStart += m_itemDuration.msecsSinceStartOfDay();
    }
    const SequenceItem &item = m_items.at(m_index);
    m_itemDuration = item.duration;
    m_lfValue = item.lf;
    ++m_index;
    return true;
}

qint64 Sequencer::elapsedMilliseconds() const
{
    return qMax<qint64>(0, m_clock->msecs() - m_itemStart);
}

void Sequencer::tick()
{
    // The device, the link or the controller ended the transmission: the
    // run ends where it stood, and nothing restarts it by itself.
    if (m_controller) {
        const QString interruption = m_controller->takeInterruption();
        if (!interruption.isEmpty() && (m_state == S_WAIT_RF_READY || m_state == S_SEND_LF)) {
            endCutShort(interruption);
            return;
        }
    }

    if (m_state == S_WAIT_RF_READY && m_controller && m_controller->isTransmitting())
        setState(nextItem() ? S_SEND_LF : S_STOP_TRANSMIT);

    if (m_state == S_SEND_LF && m_index >= 1) {
        const qint64 now = m_clock->msecs();
        const qint64 gap = m_sinceTick.restart();
        if (gap > stallMs && !resumeAfterStall(now - m_lastTickClock)) {
            m_lastTickClock = now;
            const QString reason = QStringLiteral("The program was held up for %1 s; the device's own time cannot cover the rest of the list")
                                       .arg(gap / 1000);
            endCutShort(reason);
            if (m_controller)
                m_controller->requestStop();
            return;
        }
        m_lastTickClock = now;
    }

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

void loadWork(WorkList &list, Sequencer &sequencer)
{
    list.first();
    sequencer.resize(list.count());
    for (int i = 0; i < list.count(); ++i) {
        const WorkLine &line = list.records().at(i);
        sequencer.setItem(i, TextForm::versioned(line.name, line.version), line.value, qMax(0, line.time));
    }
    sequencer.setTotalTime(RunRules::listSeconds(list));
}
