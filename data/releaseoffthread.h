#pragma once

#include <QtConcurrent/QtConcurrentRun>

#include <type_traits>
#include <utility>

// Lets a large value (the records a pool had before a restore) go on a
// worker thread: freeing hundreds of thousands of texts takes longer than
// a device tick may wait. The application waits for its workers at its end.
template <typename Value>
void releaseOffThread(Value &&value)
{
    // Nobody waits for the task: the value is simply gone when it has run.
    (void)QtConcurrent::run([held = std::forward<Value>(value)]() mutable { held = std::decay_t<Value>(); });
}
