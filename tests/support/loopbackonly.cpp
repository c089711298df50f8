// Built into every test program: a test that would send anything beyond
// this machine's loopback stops there, naming itself, before a packet leaves.

#include "device/outbound.h"

#include <QTest>

#include <cstring>

namespace {

void refuseBeyondLoopback(const QString &host, const char *channel)
{
    if (host.isEmpty() || Outbound::isLoopback(host))
        return;
    const char *path = QTest::currentAppName();
    const char *slash = path ? std::strrchr(path, '/') : nullptr;
    const char *test = slash ? slash + 1 : path;
    const char *function = QTest::currentTestFunction();
    qFatal("%s::%s would send %s to %s; tests may reach only 127.0.0.0/8 "
           "(use an address such as 127.0.0.9 where nothing listens)",
           test ? test : "a test", function ? function : "(outside a test function)", channel, qPrintable(host));
}

void installWatcher()
{
    Outbound::setWatcher(refuseBeyondLoopback);
}

} // namespace

Q_CONSTRUCTOR_FUNCTION(installWatcher)
