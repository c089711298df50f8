#include "measure.h"

#include <QFile>
#include <QThread>

#include <algorithm>
#include <cstdio>

#include <sys/resource.h>
#include <time.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace Measure {

void print(const QString &label, const QString &value)
{
    std::printf("%s: %s\n", qPrintable(label), qPrintable(value));
    std::fflush(stdout);
}

void print(const QString &label, double value, int decimals)
{
    print(label, QString::number(value, 'f', decimals));
}

static qint64 statusKb(const char *key)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    const QByteArray wanted = QByteArray(key) + ':';
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(wanted)) {
            // "VmHWM:\t   12345 kB"
            return line.mid(wanted.size()).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return -1;
}

static qint64 rusageMaxKb()
{
    struct rusage usage {};
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return -1;
    return qint64(usage.ru_maxrss);  // KiB on Linux
}

qint64 residentKb()
{
    const qint64 kb = statusKb("VmRSS");
    return kb >= 0 ? kb : rusageMaxKb();
}

qint64 peakResidentKb()
{
    const qint64 kb = statusKb("VmHWM");
    return kb >= 0 ? kb : rusageMaxKb();
}

static void trimHeap()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

bool resetPeak()
{
    trimHeap();
    // Writing 5 to clear_refs resets VmHWM to the current RSS (Linux 4.0+).
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    return file.write("5") == 1;
}

PeakScope::PeakScope()
{
    m_exact = resetPeak();
    m_startKb = residentKb();
}

qint64 PeakScope::growthKb() const
{
    return qMax<qint64>(0, peakResidentKb() - m_startKb);
}

qint64 PeakScope::heldKb() const
{
    trimHeap();
    return qMax<qint64>(0, residentKb() - m_startKb);
}

QString mebibytes(qint64 kb)
{
    return QString::number(double(kb) / 1024.0, 'f', 1) + QStringLiteral(" MiB");
}

qint64 threadCpuNs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

namespace {
int g_depth = 0;
qint64 g_longestNs = 0;
} // namespace

bool TimedApplication::notify(QObject *receiver, QEvent *event)
{
    // Events sent from within an event belong to it; other threads' events
    // are not the window's.
    if (g_depth > 0 || QThread::currentThread() != thread())
        return QApplication::notify(receiver, event);
    ++g_depth;
    const qint64 start = threadCpuNs();
    const bool done = QApplication::notify(receiver, event);
    g_longestNs = std::max(g_longestNs, threadCpuNs() - start);
    --g_depth;
    return done;
}

double TimedApplication::longestEventMs()
{
    return double(g_longestNs) / 1e6;
}

void TimedApplication::resetLongestEvent()
{
    g_longestNs = 0;
}

} // namespace Measure
