#include "data/writebeside.h"

#include "data/container.h"

#include <QDebug>
#include <QDeadlineTimer>
#include <QMutex>
#include <QWaitCondition>

#include <deque>
#include <thread>

namespace WriteBeside {

namespace {

// The writer waits this long for what is asked when the process ends on
// its own; after it, a write still running is given up: it only ever
// writes NAME.tavik-new, which the next start removes.
constexpr int lastWaitMs = 30000;

thread_local bool onWriter = false;

} // namespace

class Queue
{
public:
    static Queue &instance()
    {
        static Queue queue;
        return queue;
    }

    Queue()
    {
        // The files' shared state is made first, so that it outlives the
        // last writes at the process's end.
        (void)Container::keptAside();
    }

    Ticket add(const QString &path, std::function<QByteArray()> encode, bool whole)
    {
        Ticket ticket;
        ticket.m_state = std::make_shared<std::atomic<int>>(Ticket::Waiting);
        const QMutexLocker lock(&m_mutex);
        // Only the last write of the path waiting may be replaced, and only
        // a whole state by a whole state: a change made to the file as it
        // stands would be lost.
        for (auto job = m_jobs.rbegin(); job != m_jobs.rend(); ++job) {
            if (job->path != path)
                continue;
            if (whole && job->whole) {
                job->state->store(Ticket::Replaced);
                job->state = ticket.m_state;
                job->encode = std::move(encode);
                return ticket;
            }
            break;
        }
        m_jobs.push_back({path, std::move(encode), ticket.m_state, whole});
        if (!m_thread.joinable())
            m_thread = std::thread([this] { work(); });
        m_changed.wakeAll();
        return ticket;
    }

    bool waitFor(const QString *path, int milliseconds)
    {
        if (onWriter)
            return true;
        QDeadlineTimer deadline(milliseconds < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(milliseconds));
        QMutexLocker lock(&m_mutex);
        while (holds(path)) {
            if (!m_changed.wait(&m_mutex, deadline))
                return !holds(path);
        }
        return true;
    }

    ~Queue()
    {
        {
            const QMutexLocker lock(&m_mutex);
            m_ending = true;
            m_changed.wakeAll();
        }
        if (!m_thread.joinable())
            return;
        if (waitFor(nullptr, lastWaitMs)) {
            m_thread.join();
        } else {
            qWarning() << "A file is still being written; the program ends without it";
            m_thread.detach();
        }
    }

private:
    struct Job
    {
        QString path;
        std::function<QByteArray()> encode;
        std::shared_ptr<std::atomic<int>> state;
        bool whole = true;
    };

    bool holds(const QString *path) const
    {
        if (!path)
            return !m_jobs.empty() || !m_running.isNull();
        if (m_running == *path)
            return true;
        for (const Job &job : m_jobs) {
            if (job.path == *path)
                return true;
        }
        return false;
    }

    void work()
    {
        onWriter = true;
        QMutexLocker lock(&m_mutex);
        for (;;) {
            while (m_jobs.empty() && !m_ending)
                m_changed.wait(&m_mutex);
            if (m_jobs.empty())
                return;
            Job job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_running = job.path;
            lock.unlock();
            const QByteArray bytes = job.encode();
            const bool written = !bytes.isNull() && Container::writeBytes(job.path, bytes);
            job.state->store(written ? Ticket::Written : Ticket::Failed);
            job = Job();  // the records' copies go here, not under the lock
            lock.relock();
            m_running.clear();
            m_changed.wakeAll();
        }
    }

    QMutex m_mutex;
    QWaitCondition m_changed;
    std::deque<Job> m_jobs;
    QString m_running;
    bool m_ending = false;
    std::thread m_thread;
};

Ticket write(const QString &path, std::function<QByteArray()> encode)
{
    return Queue::instance().add(path, std::move(encode), true);
}

Ticket change(const QString &path, std::function<QByteArray()> change)
{
    return Queue::instance().add(path, std::move(change), false);
}

bool waitForAll(int milliseconds)
{
    return Queue::instance().waitFor(nullptr, milliseconds);
}

void waitFor(const QString &path)
{
    Queue::instance().waitFor(&path, -1);
}

} // namespace WriteBeside
