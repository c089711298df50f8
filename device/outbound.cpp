#include "device/outbound.h"

#include <QHostAddress>

#include <atomic>

namespace {

std::atomic<Outbound::Watcher> watcher{nullptr};

} // namespace

void Outbound::setWatcher(Watcher newWatcher)
{
    watcher = newWatcher;
}

void Outbound::aboutToSend(const QString &host, const char *channel)
{
    if (const Watcher current = watcher.load())
        current(host, channel);
}

bool Outbound::isLoopback(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}
