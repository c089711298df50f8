#pragma once

#include <QObject>
#include <QString>
#include <QTime>
#include <QVector>

class Clock;
class TransmitControl;

struct SequenceItem
{
    QString title;
    QString lfText;
    QTime duration = QTime(0, 0);
    int progress = 0;
};

// Runs one device's work list: asks the controller to go on air for the
// whole list, then hands it one LF value after another, each for its
// item's duration. Ticked right after its controller.
class Sequencer : public QObject
{
    Q_OBJECT

public:
    enum State {
        S_IDLE,
        S_START_TRANSMIT,
        S_WAIT_RF_READY,
        S_RF_READY,
        S_SEND_LF,
        S_WAIT_FOR_DONE,
        S_CHECK_NEXT,
        S_STOP_TRANSMIT,
        StateCount
    };

    static constexpr int stopTicks = 20;

    explicit Sequencer(QObject *parent = nullptr);

    void setController(TransmitControl *controller) { m_controller = controller; }
    TransmitControl *controller() const { return m_controller; }
    void setClock(const Clock *clock);

    void resize(int count);
    void setItem(int index, const QString &title, const QString &lfText, int minutes);
    void setTotalTime(qint64 seconds);

    // False, and nothing changes, unless the sequencer is idle.
    bool start();
    bool canStart() const { return m_state == S_IDLE; }
    void stop();
    void reset();

    int progress(int index) const;
    int currentItem() const;
    int count() const { return int(m_items.size()); }
    const SequenceItem &item(int index) const { return m_items.at(index); }
    qint64 totalSeconds() const;
    QTime totalTime() const { return m_totalTime; }
    bool isRunning() const { return m_running; }
    State state() const { return m_state; }

    void tick();
    void setState(State state);

    static const char *stateName(State state);

private:
    bool nextItem();
    static float lfValueOf(const SequenceItem &item, float unchanged);
    qint64 elapsedMilliseconds() const;

    State m_state = S_IDLE;
    State m_nextState = S_IDLE;
    int m_countdown = 0;
    TransmitControl *m_controller = nullptr;
    const Clock *m_clock = nullptr;
    QVector<SequenceItem> m_items;
    bool m_running = false;
    int m_index = 0;
    QTime m_totalTime = QTime(0, 0);
    QTime m_itemDuration = QTime(0, 0);
    qint64 m_itemStart = 0;  // on the clock, when the item began
    float m_lfValue = 0;
};
