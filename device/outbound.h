#pragma once

#include <QString>

// Every place that sends something to a host names the host here first.
// The program sets no watcher. The test suite and the benchmark set one
// that stops the process when a target lies beyond this machine's loopback:
// an address a test picked "because nothing answers there" may be somebody
// else's equipment on the network the test machine sits in.
namespace Outbound {

// `channel` says what is about to go out ("TCP", "ping", "HTTPS").
using Watcher = void (*)(const QString &host, const char *channel);

void setWatcher(Watcher watcher);
void aboutToSend(const QString &host, const char *channel);

// 127.0.0.0/8, ::1 and "localhost".
bool isLoopback(const QString &host);

} // namespace Outbound
