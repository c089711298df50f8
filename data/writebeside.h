#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

// Store files written on a thread of their own, one after another in the
// order asked: a large pool or history takes longer to encode and write
// than a tab change or a Start may hold up the window and the device tick.
//
// Each write goes through Container::writeBytes, so a file is replaced
// whole or not at all. A read or a synchronous write of a path waits for
// the writes of that path asked before it, so nothing older lands later.
// A write asked while an older one of the same path still waits takes its
// place: only the newest state is written.
namespace WriteBeside {

// What became of one write, for the store that asked it.
class Ticket
{
public:
    // Replaced: a newer write of the same path took its place unwritten.
    enum State { Waiting, Written, Failed, Replaced };
    // A ticket of no write has nothing to fail.
    State state() const { return m_state ? State(m_state->load()) : Written; }
    bool failed() const { return state() == Failed; }

private:
    friend class Queue;
    std::shared_ptr<std::atomic<int>> m_state;
};

// `encode` runs on the writer thread: it holds its own (implicitly shared)
// copies of the records and nothing the GUI thread changes.
Ticket write(const QString &path, std::function<QByteArray()> encode);
// A change made to the file as it stands (an entry appended to the history
// of a client not open): `change` runs on the writer thread after every
// write of the path asked before it, reads the file and gives the bytes
// to write, or null bytes to write nothing (having said why). It is never
// replaced by a later write, nor replaces an earlier one.
Ticket change(const QString &path, std::function<QByteArray()> change);

// Waits until every write asked so far has ended; false when `milliseconds`
// ran out first (a negative time waits as long as it takes).
bool waitForAll(int milliseconds = -1);

// Waits for the writes of this path; nothing on the writer thread waits.
void waitFor(const QString &path);

} // namespace WriteBeside
