#include "work/sequencer.h"

#include "data/textforms.h"
#include "data/worklist.h"
#include "device/transmitcontrol.h"
#include "work/clock.h"
#include "work/runrules.h"

#include <QDebug>
#include <QElapsedTimer>

#include <limits>

namespace {

// How the parts of a run that paused begin when none was seen on air.
const char nothingSent[] = "nothing sent";

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
        "S_PAUSED", "S_PAUSE_EXPIRED", "S_RESUME_TRANSMIT",
    };
    return state >= 0 && state < StateCount ? names[state] : "?";
}

void Sequencer::resize(int count)
{
    m_items = QVector<SequenceItem>(qMax(0, count));
    m_index = 0;
}

SequenceItem Sequencer::makeItem(const QString &title, const QString &lfText, int minutes)
{
    SequenceItem item;
    item.title = title;
    item.lfText = lfText;
    item.lfValid = TextForm::lfValue(lfText, item.lf);
    item.duration = QTime(0, 0).addSecs(qBound(0, minutes, 24 * 60 - 1) * 60);
    return item;
}

void Sequencer::setItem(int index, const QString &title, const QString &lfText, int minutes)
{
    if (index < 0 || index >= count())
        return;
    m_items[index] = makeItem(title, lfText, minutes);
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
    beginRun();
    m_pauses = 0;
    m_afterCut = false;
    m_pausedAtMs = -1;
    for (SequenceItem &item : m_items) {
        item.progress = 0;
        item.startedMs = -1;
    }
    m_running = true;
    m_index = 0;
    setState(S_START_TRANSMIT);
    return true;
}

void Sequencer::beginRun()
{
    // Nothing of the last run's device carries over: its own time ran out
    // with it, and a pause in this run's warm-up counts from now.
    m_cutShort = CutShort();
    m_deviceFromMs = std::numeric_limits<qint64>::max();
    m_deviceEndMs = std::numeric_limits<qint64>::max();
    m_stretches.clear();
    m_part = 0;
    m_priorOnAirMs = 0;
    m_partFromMs = -1;
    m_sinceStart.start();
    m_startClock = m_clock->msecs();
}

void Sequencer::forgetCutShort()
{
    if (canStart() && m_events->isEmpty())
        m_cutShort = CutShort();
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

void Sequencer::push(RunEvent event)
{
    event.run = m_run;
    m_events->push(std::move(event));
}

qint64 Sequencer::onAirFromMs() const
{
    // A part after a pause counts from when the program saw it on air.
    if (m_part > 0 || m_pausedAtMs >= 0)
        return m_pausedAtMs >= 0 ? -1 : m_partFromMs;
    if (m_items.isEmpty())
        return -1;
    const qint64 seen = m_index > 0 ? m_items.first().startedMs : std::numeric_limits<qint64>::max();
    // The count goes by whole seconds, rounded up, and the program sees
    // the oscillator up to a warm-up poll late: only more than a second
    // says it was held up, or the device was, as it came on air.
    const qint64 from = m_deviceFromMs < seen - realSecondMs() ? m_deviceFromMs : seen;
    return from == std::numeric_limits<qint64>::max() ? -1 : from;
}

qint64 Sequencer::realSecondMs() const
{
    const qint64 real = m_sinceStart.isValid() ? m_sinceStart.elapsed() : 0;
    const qint64 clock = m_clock->msecs() - m_startClock;
    return real > 0 && clock > real ? stallMs * clock / real : stallMs;
}

qint64 Sequencer::seenLateMs(qint64 atMs) const
{
    const qint64 from = onAirFromMs();
    if (from < 0 || m_pauses > 0)
        return 0;
    return m_index > 0 ? m_items.first().startedMs - from : qMax<qint64>(1, atMs - from);
}

qint64 Sequencer::onAirMs(qint64 atMs) const
{
    const qint64 from = onAirFromMs();
    return m_priorOnAirMs + (from >= 0 ? qMax<qint64>(0, atMs - from) : 0);
}

void Sequencer::handle(const RunEvent &event)
{
    if (m_run == 0 || event.run != m_run)
        return;
    const qint64 now = m_clock->msecs();
    if (event.onAirMs > 0 && (m_state == S_WAIT_RF_READY || m_state == S_SEND_LF))
        m_deviceFromMs = qMin(m_deviceFromMs, now - event.onAirMs);
    // A resumed line went on with its value from the moment the device was
    // on air again, before the program saw it: its time left counts from
    // then, by the device's own count beyond its rounding.
    if (m_part > 0 && m_state == S_SEND_LF && m_pausedAtMs < 0 && m_index == m_pausedItem + 1
        && m_deviceFromMs < m_partFromMs - deviceSecondMs) {
        const qint64 earlier = m_partFromMs - m_deviceFromMs;
        m_partFromMs -= earlier;
        m_itemStart -= earlier;
        m_items[m_pausedItem].startedMs = m_itemStart;
        if (!m_stretches.isEmpty())
            m_stretches.last().fromMs -= earlier;
    }
    if (event.kind == RunEvent::DeviceTimeLeft && m_state == S_SEND_LF && m_index >= 1) {
        m_deviceEndMs = qMin(m_deviceEndMs, now + event.ms);
    } else if (event.kind == RunEvent::Interrupted && (m_state == S_WAIT_RF_READY || m_state == S_SEND_LF)) {
        // The device, the link or the controller ended the transmission:
        // the run ends where it stood, and nothing restarts it by itself.
        endCutShort(event.text, qMin(now, m_deviceEndMs), event.linkLost);
    }
}

void Sequencer::endCutShort(const QString &reason, qint64 atMs, bool linkLost)
{
    noteCutShort(reason, atMs, linkLost);
    setState(S_IDLE);
}

void Sequencer::noteComplete(qint64 atMs)
{
    closeStretch(atMs);
    RunEvent ended;
    ended.kind = RunEvent::Ended;
    ended.complete = true;
    ended.ms = onAirMs(atMs);
    ended.sent = partsText();
    push(std::move(ended));
}

void Sequencer::noteCutShort(const QString &reason, qint64 atMs, bool linkLost)
{
    m_cutShort.item = currentItem();
    // The first item went out from the moment the device came on air (its
    // value goes before the start), seen or not.
    const qint64 lateMs = seenLateMs(atMs);
    const bool offAir = m_pausedAtMs >= 0;
    qint64 doneMs = 0;
    if (offAir) {
        // Nothing went out since the pause: the run ends where it paused.
        m_cutShort.item = m_pausedItem;
        m_cutShort.progress = m_items.at(m_pausedItem).progress;
        doneMs = m_pausedDoneMs;
        atMs = m_pausedAtMs;
    } else if (m_index > 0 || lateMs > 0) {
        SequenceItem &item = m_items[m_cutShort.item];
        const qint64 durationMs = item.duration.msecsSinceStartOfDay();
        const qint64 sentMs =
            qMax<qint64>(0, atMs - (m_cutShort.item == 0 && m_part == 0 ? onAirFromMs() : item.startedMs));
        item.progress = durationMs > 0 ? int(qMin<qint64>(100, sentMs * 100 / durationMs)) : 100;
        m_cutShort.progress = item.progress;
        doneMs = qMin(sentMs, durationMs);
    } else {
        m_cutShort.progress = 0;
    }
    m_cutShort.title = m_cutShort.item < count() ? m_items.at(m_cutShort.item).title : QString();
    m_cutShort.reason = reason;
    if (m_state == S_PAUSED)
        m_cutShort.reason += QStringLiteral(" while the run was paused");
    else if (offAir && m_state == S_WAIT_RF_READY)
        m_cutShort.reason += QStringLiteral(" while the device warmed up to resume");
    closeStretch(atMs);
    // After a stall, or an oscillator seen late, the list's times no
    // longer say what went out.
    QStringList why;
    if (lateMs > 0)
        why.append(QStringLiteral("the device was on air %1 s before the program saw it")
                       .arg(double(lateMs) / 1000.0, 0, 'f', 1));
    if (m_heldUpMs > 0 && m_index > 0)
        why.append(QStringLiteral("the program was held up for %1 s").arg(double(m_heldUpMs) / 1000.0, 0, 'f', 1));
    if (!why.isEmpty() && m_pauses == 0)
        m_cutShort.reason += QStringLiteral(" (%1; sent %2)").arg(why.join(QStringLiteral(", ")), sentText(atMs));
    else if (!why.isEmpty())
        m_cutShort.reason += QStringLiteral(" (%1)").arg(why.join(QStringLiteral(", ")));
    qDebug().noquote() << "run cut short at item" << m_cutShort.item << m_cutShort.reason;
    RunEvent ended;
    ended.kind = RunEvent::Ended;
    ended.item = m_cutShort.item;
    ended.progress = m_cutShort.progress;
    ended.title = m_cutShort.title;
    ended.text = m_cutShort.reason;
    ended.linkLost = linkLost;
    ended.doneMs = doneMs;
    ended.ms = onAirMs(atMs);
    ended.sent = partsText();
    push(std::move(ended));
}

QString Sequencer::sentText(qint64 atMs) const
{
    QStringList parts;
    const int begun = qMax(m_index, onAirFromMs() >= 0 ? 1 : 0);
    for (int i = 0; i < begun && i < count(); ++i) {
        const qint64 until = i + 1 < m_index ? m_items.at(i + 1).startedMs : atMs;
        const qint64 from = i == 0 ? onAirFromMs() : m_items.at(i).startedMs;
        const qint64 seconds = (qMax<qint64>(0, until - from) + 500) / 1000;
        parts.append(QStringLiteral("LF %1 for %2 s").arg(m_items.at(i).lf).arg(seconds));
    }
    return parts.join(QStringLiteral(", "));
}

void Sequencer::stop(const QString &reason)
{
    // Warming up, on air or paused; once the last line is done the run is
    // whole.
    if (m_running && runOpen())
        noteCutShort(reason, qMin(m_clock->msecs(), m_deviceEndMs));
    m_index = 0;
    if (m_state != S_IDLE)
        setState(S_STOP_TRANSMIT);
}

void Sequencer::endStopped(const QString &reason)
{
    if (m_running && runOpen())
        noteCutShort(reason, qMin(m_clock->msecs(), m_deviceEndMs));
    setState(S_IDLE);
}

void Sequencer::reset()
{
    if (m_running && runOpen())
        noteCutShort(QStringLiteral("The device left the list"), qMin(m_clock->msecs(), m_deviceEndMs));
    m_running = false;
    m_index = 0;
    // A paused run has nothing on air to stop, nor a place to go back to.
    if (m_state == S_PAUSED)
        setState(S_IDLE);
}

qint64 Sequencer::pausedForMs() const
{
    return m_pausedAtMs >= 0 ? qMax<qint64>(0, m_clock->msecs() - m_pausedAtMs) : 0;
}

void Sequencer::setPauseLimitMinutes(int minutes)
{
    m_pauseLimitMinutes = qBound(1, minutes, 24 * 60);
}

bool Sequencer::pause()
{
    if (!m_running || (m_state != S_WAIT_RF_READY && m_state != S_SEND_LF))
        return false;
    const qint64 now = qMin(m_clock->msecs(), m_deviceEndMs);
    // Paused again while a resume warms up: the place is the one kept.
    if (m_pausedAtMs < 0) {
        m_pausedItem = currentItem();
        m_pausedDoneMs = 0;
        if (m_state == S_SEND_LF && m_index >= 1) {
            m_pausedDoneMs = qBound<qint64>(0, now - m_itemStart, qint64(m_itemDuration.msecsSinceStartOfDay()));
            const qint64 durationMs = m_itemDuration.msecsSinceStartOfDay();
            m_items[m_pausedItem].progress = durationMs > 0 ? int(m_pausedDoneMs * 100 / durationMs) : 100;
            closeStretch(now);
            m_priorOnAirMs = onAirMs(now);
        }
    }
    m_pausedAtMs = now;
    ++m_pauses;
    const SequenceItem &item = m_items.at(m_pausedItem);
    RunEvent paused;
    paused.kind = RunEvent::Paused;
    paused.item = m_pausedItem;
    paused.progress = item.progress;
    paused.title = item.title;
    paused.ms = item.duration.msecsSinceStartOfDay() - m_pausedDoneMs;
    paused.onAirMs = m_priorOnAirMs;
    push(std::move(paused));
    setState(S_PAUSED);
    return true;
}

bool Sequencer::sentNothing(const QString &sent)
{
    return sent.startsWith(QLatin1String(nothingSent));
}

bool Sequencer::wentOnAfterPause(qint64 ms)
{
    if (m_state != S_PAUSED || ms <= 0)
        return false;
    SequenceItem &item = m_items[m_pausedItem];
    const qint64 durationMs = item.duration.msecsSinceStartOfDay();
    m_pausedDoneMs = qMin(durationMs, m_pausedDoneMs + ms);
    item.progress = durationMs > 0 ? int(m_pausedDoneMs * 100 / durationMs) : 100;
    m_priorOnAirMs += ms;
    // Paused in the warm-up, the part had no stretch of its own until now.
    if (!m_stretches.isEmpty() && m_stretches.last().part == m_part && m_stretches.last().untilMs >= 0)
        m_stretches.last().untilMs += ms;
    else
        m_stretches.append({m_part, m_pausedItem, m_pausedAtMs, m_pausedAtMs + ms});
    return true;
}

bool Sequencer::resumeFrom(int item, qint64 doneMs)
{
    if (!canStart() || !hasRunnableItems() || item < 0 || item >= count())
        return false;
    beginRun();
    const qint64 durationMs = m_items.at(item).duration.msecsSinceStartOfDay();
    for (int i = 0; i < count(); ++i) {
        m_items[i].progress = i < item ? 100 : 0;
        m_items[i].startedMs = -1;
    }
    m_pausedItem = item;
    m_pausedDoneMs = qBound<qint64>(0, doneMs, durationMs);
    m_items[item].progress = durationMs > 0 ? int(m_pausedDoneMs * 100 / durationMs) : 0;
    m_pausedAtMs = m_clock->msecs();
    // What went out before the cut is the record's; this says the rest.
    m_pauses = 1;
    m_afterCut = true;
    m_running = true;
    m_index = item;
    setState(S_RESUME_TRANSMIT);
    return true;
}

bool Sequencer::mayResume() const
{
    return m_state == S_PAUSED && m_running && (!m_controller || m_controller->mayStartAgain());
}

bool Sequencer::resume()
{
    if (!mayResume())
        return false;
    setState(S_RESUME_TRANSMIT);
    return true;
}

void Sequencer::resumeOnAir(qint64 now)
{
    SequenceItem &item = m_items[m_pausedItem];
    m_partFromMs = now;
    m_pausedAtMs = -1;
    m_index = m_pausedItem + 1;
    // The line goes on from where it stopped: its time left, not its whole.
    m_itemStart = now - m_pausedDoneMs;
    item.startedMs = m_itemStart;
    m_itemDuration = item.duration;
    m_lfValue = item.lf;
    m_lastTickClock = now;
    m_sinceTick.start();
    openStretch(m_pausedItem, now);
}

void Sequencer::openStretch(int item, qint64 fromMs)
{
    closeStretch(fromMs);
    m_stretches.append({m_part, item, fromMs, -1});
}

void Sequencer::closeStretch(qint64 untilMs)
{
    if (!m_stretches.isEmpty() && m_stretches.last().untilMs < 0)
        m_stretches.last().untilMs = qMax(m_stretches.last().fromMs, untilMs);
}

QString Sequencer::partsText() const
{
    if (m_pauses == 0)
        return QString();
    auto valueFor = [this](int item, qint64 ms) {
        return QStringLiteral("LF %1 for %2 s").arg(m_items.at(item).lf).arg((ms + 500) / 1000);
    };
    QStringList parts;
    QStringList values;
    QVector<int> order;
    QVector<qint64> totals(count(), 0);
    int part = -1;
    for (const Stretch &stretch : m_stretches) {
        if (stretch.part != part) {
            if (!values.isEmpty())
                parts.append(QStringLiteral("part %1: %2").arg(parts.size() + 1).arg(values.join(QStringLiteral(", "))));
            values.clear();
            part = stretch.part;
        }
        const qint64 ms = qMax<qint64>(0, stretch.untilMs - stretch.fromMs);
        values.append(valueFor(stretch.item, ms));
        if (!order.contains(stretch.item))
            order.append(stretch.item);
        totals[stretch.item] += ms;
    }
    if (!values.isEmpty())
        parts.append(QStringLiteral("part %1: %2").arg(parts.size() + 1).arg(values.join(QStringLiteral(", "))));
    if (parts.isEmpty())
        return QLatin1String(nothingSent) + (m_afterCut ? QStringLiteral(" since it was resumed after its cut") : QString());
    QStringList all;
    for (int item : order)
        all.append(valueFor(item, totals.at(item)));
    return QStringLiteral("sent %1in %2: %3; in all: %4")
        .arg(m_afterCut ? QStringLiteral("since it was resumed after its cut ") : QString(),
             parts.size() == 1 ? QStringLiteral("one part") : QStringLiteral("%1 parts").arg(parts.size()))
        .arg(parts.join(QStringLiteral("; ")), all.isEmpty() ? QStringLiteral("nothing") : all.join(QStringLiteral(", ")));
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
    if (m_pausedAtMs >= 0) {
        qint64 rest = m_items.at(m_pausedItem).duration.msecsSinceStartOfDay() - m_pausedDoneMs;
        for (int i = m_pausedItem + 1; i < count(); ++i)
            rest += qint64(secondsOf(m_items.at(i).duration)) * 1000;
        return rest;
    }
    if (m_state != S_SEND_LF || m_index < 1)
        return totalSeconds() * 1000;
    qint64 rest = qMax<qint64>(0, m_itemDuration.msecsSinceStartOfDay() - elapsedMilliseconds());
    for (int i = m_index; i < count(); ++i)
        rest += qint64(secondsOf(m_items.at(i).duration)) * 1000;
    // A run held up past what the device's own time covers ends with it.
    if (m_deviceEndMs != std::numeric_limits<qint64>::max())
        rest = qMin(rest, qMax<qint64>(0, m_deviceEndMs - m_clock->msecs()));
    return rest;
}

void Sequencer::setState(State state)
{
    qDebug() << "Setstate :" << stateName(m_state);
    qDebug() << "->" << stateName(state);
    const State before = m_state;
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
            m_run = m_controller->requestStart();
        }
        setState(S_WAIT_RF_READY);
        break;
    case S_SEND_LF:
        if (m_controller)
            m_controller->setLfRequested(m_lfValue);
        break;
    case S_STOP_TRANSMIT:
        // The run is over once its stop goes out, complete or not: nothing
        // of it is warming up or going on while the stop runs its course.
        m_running = false;
        if (m_controller)
            m_controller->requestStop();
        m_nextState = S_IDLE;
        m_countdown = stopTicks;
        break;
    case S_PAUSED:
        // Off air at once; nothing but status queries goes to the device
        // until the resume, and a device found on air is stopped by its
        // controller, which has no run now.
        if (m_controller)
            m_controller->requestStop();
        m_nextState = S_PAUSE_EXPIRED;
        m_countdown = int(qint64(m_pauseLimitMinutes) * 60 * 1000 / tickMs);
        break;
    case S_PAUSE_EXPIRED:
        noteCutShort(QStringLiteral("The pause went on longer than %1 min").arg(m_pauseLimitMinutes), m_pausedAtMs);
        setState(S_STOP_TRANSMIT);
        break;
    case S_RESUME_TRANSMIT: {
        const SequenceItem &item = m_items.at(m_pausedItem);
        const qint64 leftMs = item.duration.msecsSinceStartOfDay() - m_pausedDoneMs;
        qint64 seconds = (leftMs + 999) / 1000;
        for (int i = m_pausedItem + 1; i < count(); ++i)
            seconds += secondsOf(m_items.at(i).duration);
        ++m_part;
        m_deviceEndMs = std::numeric_limits<qint64>::max();
        m_deviceFromMs = std::numeric_limits<qint64>::max();
        m_index = m_pausedItem + 1;
        const quint32 before = m_run;
        if (m_controller) {
            m_controller->setTransmitSeconds(quint32(seconds));
            // The paused line's value goes out before the start.
            m_controller->setLfRequested(item.lf);
            m_run = m_controller->requestStart();
        }
        RunEvent resumed;
        resumed.kind = RunEvent::Resumed;
        resumed.item = m_pausedItem;
        resumed.title = item.title;
        resumed.ms = leftMs;
        resumed.resumedFrom = before;
        push(std::move(resumed));
        setState(S_WAIT_RF_READY);
        break;
    }
    case S_IDLE:
        m_running = false;
        m_index = 0;
        m_pausedAtMs = -1;
        // Nothing of the run is left on its way to the device.
        if (before != S_IDLE) {
            RunEvent idle;
            idle.kind = RunEvent::Idle;
            push(std::move(idle));
        }
        break;
    default:
        break;
    }
}

bool Sequencer::nextItem(qint64 startMs)
{
    if (m_index >= count())
        return false;
    openStretch(m_index, startMs);
    if (m_index == 0) {
        m_lastTickClock = startMs;
        m_heldUpMs = 0;
        m_deviceEndMs = std::numeric_limits<qint64>::max();
        m_sinceTick.start();
    }
    m_itemStart = startMs;
    SequenceItem &item = m_items[m_index];
    item.startedMs = startMs;
    m_itemDuration = item.duration;
    m_lfValue = item.lf;
    ++m_index;
    RunEvent begun;
    begun.kind = RunEvent::ItemBegun;
    begun.item = m_index - 1;
    // Into the run as the device went on air, when its count says it did
    // so before the program saw it.
    begun.ms = m_index > 1 ? startMs - onAirFromMs() : 0;
    push(std::move(begun));
    return true;
}

qint64 Sequencer::nextBoundaryMs() const
{
    if (m_state != S_SEND_LF || m_index < 1)
        return -1;
    return m_itemStart + m_itemDuration.msecsSinceStartOfDay();
}

qint64 Sequencer::elapsedMilliseconds() const
{
    return qMax<qint64>(0, m_clock->msecs() - m_itemStart);
}

void Sequencer::tick()
{
    advance();
    if (m_countdown == 1) {
        m_countdown = 0;
        setState(m_nextState);
    }
    if (m_countdown > 1)
        --m_countdown;
}

void Sequencer::advance()
{
    const qint64 now = m_clock->msecs();
    bool stalled = false;
    if (m_state == S_SEND_LF && m_index >= 1) {
        // The device went on transmitting the value it had through a
        // stall; only the item boundaries that fell in it came late.
        stalled = m_sinceTick.restart() > stallMs;
        if (stalled)
            m_heldUpMs += now - m_lastTickClock;
        m_lastTickClock = now;
    }
    // No value went out after the device's own time ran out.
    const qint64 endedAt = qMin(now, m_deviceEndMs);

    if (m_state == S_WAIT_RF_READY && m_controller && m_controller->isTransmitting()) {
        if (m_pausedAtMs >= 0) {
            resumeOnAir(now);
            setState(S_SEND_LF);
        } else if (nextItem(now)) {
            setState(S_SEND_LF);
        } else {
            noteComplete(now);
            setState(S_STOP_TRANSMIT);
        }
    }

    // A reset while an item is on air leaves no item to follow: the run ends.
    if (m_state == S_SEND_LF && m_index < 1)
        setState(S_STOP_TRANSMIT);
    const QString ranOut = QStringLiteral("The device's own time ran out");
    if (m_state == S_SEND_LF && stalled && now >= m_deviceEndMs) {
        endCutShort(ranOut, endedAt);
        if (m_controller)
            m_controller->requestStop();
        return;
    }
    // An item that ended several ticks ago (a zero-length one, or a stalled
    // event loop) is passed in this same tick rather than one per tick.
    // Each item begins where the last was due to end, so that ticks that
    // notice an end late do not add up over a long list; after a stall,
    // when its value can go out, and the rest of the list moves with it.
    while (m_state == S_SEND_LF) {
        const qint64 elapsed = elapsedMilliseconds() / 1000;
        const qint64 durationMs = m_itemDuration.msecsSinceStartOfDay();
        if (durationMs > elapsed * 1000) {
            m_items[m_index - 1].progress = int(double(elapsed) / double(durationMs / 1000) * 100);
            break;
        }
        m_items[m_index - 1].progress = 100;
        const qint64 due = m_itemStart + durationMs;
        if (nextItem(stalled ? qMax(due, now) : due)) {
            setState(S_SEND_LF);
        } else {
            noteComplete(due);
            setState(S_STOP_TRANSMIT);
        }
    }
    // Once the schedule runs past the device's own time, the run ends
    // where the device stops.
    if (m_state == S_SEND_LF && now >= m_deviceEndMs) {
        endCutShort(ranOut, endedAt);
        if (m_controller)
            m_controller->requestStop();
    }
}

void loadWork(const WorkList &list, Sequencer &sequencer)
{
    sequencer.resize(list.count());
    for (int i = 0; i < list.count(); ++i) {
        const WorkLine &line = list.records().at(i);
        sequencer.setItem(i, TextForm::versioned(line.name, line.version), line.value, qMax(0, line.time));
    }
    sequencer.setTotalTime(RunRules::listSeconds(list));
}
