#include "app/signalcloser.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};
constexpr int handledSignals[] = {SIGTERM, SIGINT, SIGHUP};

void onSignal(int number)
{
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}
} // namespace
#endif

SignalCloser::SignalCloser(QObject *parent) : QObject(parent)
{
#ifdef Q_OS_UNIX
    if (signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    m_notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalCloser::readSignal);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A closed terminal hangs up on the program it started: its default
    // end would leave a device on air as a kill does.
    for (const int number : handledSignals)
        sigaction(number, &action, nullptr);
#endif
}

SignalCloser::~SignalCloser()
{
#ifdef Q_OS_UNIX
    if (m_notifier) {
        for (const int number : handledSignals)
            signal(number, SIG_DFL);
    }
#endif
}

void SignalCloser::readSignal()
{
#ifdef Q_OS_UNIX
    unsigned char byte = 0;
    if (::read(signalPipe[1], &byte, 1) == 1)
        Q_EMIT closeRequested(byte);
#endif
}
