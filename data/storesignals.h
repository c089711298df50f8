#pragma once

#include <QObject>

#include <memory>

// What a store tells of each change to its records, by index in the whole
// store, after the change is made. A list's model follows these rather than
// asking the store again at every tick.
class StoreSignals : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

Q_SIGNALS:
    void inserted(int index);
    void removed(int index);
    // Two neighbours swapped places.
    void swapped(int a, int b);
    void changed(int index);
    // The whole list was replaced (a read, an import, a download, a restore).
    void reset();
};

// A store's announcer, made when someone first listens. A copy of a store
// (a program copied into an editor) is another store that nobody listens
// to yet, so the announcer is never copied, and assigning records to a
// store keeps whoever listens to it.
class StoreAnnouncer
{
public:
    StoreAnnouncer() = default;
    StoreAnnouncer(const StoreAnnouncer &) {}
    StoreAnnouncer &operator=(const StoreAnnouncer &) { return *this; }

    StoreSignals *listen()
    {
        if (!m_signals)
            m_signals = std::make_unique<StoreSignals>();
        return m_signals.get();
    }
    // Null while nobody listens: the stores nobody shows pay nothing.
    StoreSignals *listening() const { return m_signals.get(); }

private:
    std::unique_ptr<StoreSignals> m_signals;
};
