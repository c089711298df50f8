#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT (a session logout, Ctrl+C in a terminal) into a
// Qt signal on the GUI thread, so that the window closes the normal way and
// saves what is open. The handler itself only writes one byte to a pipe.
class SignalCloser : public QObject
{
    Q_OBJECT
public:
    explicit SignalCloser(QObject *parent = nullptr);
    ~SignalCloser() override;

Q_SIGNALS:
    void closeRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};
