#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

// "runs.dat" beside the registry: the runs going on, so that a program that
// is killed leaves word of them for its next start. Each entry says which
// device, which history, which line is on air and, once the run is over,
// how it ended; it goes only when nothing of the run is left to record or
// to stop.
//
// Every write is made at once and whole (the file is small): an entry is on
// disk before its device is sent anything, and an end is on disk before the
// history and the device's log are asked to take it.
class RunJournal
{
public:
    static constexpr const char *fileName = "runs.dat";

    struct Entry
    {
        QString serial;
        QString address;
        QString history;  // the client's file identifier; empty for none
        QString program;
        int version = 0;
        QString started;  // "dd.MM.yyyy hh:mm", as the history's entry has it
        int line = 0;
        QString title;
        QString end;  // the end as recorded ("cut short at ..."), empty while the run goes on
        QString paused;  // when the run paused, empty while it is on air
        // How far into the line the run had gone when the entry was
        // written: 0 as the line begins, where it paused or resumed, where
        // it was cut. -1 when the journal does not say (a journal of an
        // older program): the run is not resumed from it.
        qint64 lineDone = -1;
        // The lines the run was started with, in short: a resume at the
        // next start takes the work list only while it is the same.
        QString plan;
        // For a run not yet ended, what a start after a kill needs to tell
        // from the device's own count how long it went on by itself: the
        // time the device had left at the last point written (the count it
        // was seen on air with), or, before it came on air in this part,
        // the time it was given (`warming`); -1 when not known. And the
        // value it had on air.
        qint64 deviceLeft = -1;
        bool warming = false;
        quint32 lf = 0;
    };

    enum class Read {
        Nothing,     // no journal: the last program ended with no run going
        Entries,     // read whole
        Unreadable,  // there, but damaged, of another shape or not to be opened: kept aside where it can be
    };

    // The file beside the registry's; none when the registry has no file.
    void setFolder(const QString &folder);
    QString path() const { return m_path; }

    Read read(QList<Entry> &entries) const;
    // False when it could not be written; it is tried again at the next change.
    bool write(const QList<Entry> &entries);

    // The journal's object and its entries; false, and no entries, for an
    // object of another shape.
    static bool fromJson(const QJsonObject &journal, QList<Entry> &entries);
    static QJsonObject toJson(const QList<Entry> &entries);

private:
    QString m_path;
};
