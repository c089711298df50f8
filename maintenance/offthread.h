#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QtConcurrent/QtConcurrentRun>

#include <functional>
#include <utility>

// Runs `work` on a worker thread, then `done` with its result on the
// thread of `context`: reading and decoding a large file must not hold up
// the device tick. `work` gets copies of what it needs and shares nothing
// mutable with the rest; `done` does not run once the context is gone.
// The future tells whether the work still runs.
template <typename Result>
QFuture<Result> runOffThread(QObject *context, std::function<Result()> work, std::function<void(Result)> done)
{
    auto *watcher = new QFutureWatcher<Result>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context, [watcher, done = std::move(done)] {
        // Taken, not copied: a large result dies where `done` lets it go.
        done(watcher->future().takeResult());
        watcher->deleteLater();
    });
    QFuture<Result> future = QtConcurrent::run(std::move(work));
    watcher->setFuture(future);
    return future;
}

// Lets a large value (the records a pool had before a restore) go on a
// worker thread: freeing hundreds of thousands of texts takes longer than
// a device tick may wait.
template <typename Value>
void releaseOffThread(Value &&value)
{
    // Nobody waits for the task: the value is simply gone when it has run.
    (void)QtConcurrent::run([held = std::forward<Value>(value)]() mutable { held = std::decay_t<Value>(); });
}
