#pragma once

#include "data/releaseoffthread.h"

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
