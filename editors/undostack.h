#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <unordered_map>

// The operator's steps in the library lists (deletes, moves, stored edits),
// taken back with Ctrl+Z and made again with Ctrl+Shift+Z.
//
// A step names the lists it changed. It stays possible while nothing else
// changed those lists: each list's revision is known to the stack after
// every step it made, undid or redid; a list found at another revision was
// changed by something the stack did not make (an import, another client's
// history read in its place), and every step on it goes, with the reason
// told once. Steps on other lists are untouched by it.
//
// A step may still refuse for now (another pool holds the pair it would put
// back): it stays, and can be taken back once the pair is free again.
class UndoStack : public QObject
{
    Q_OBJECT

public:
    // A list a step changed, by its identity and how to read its revision.
    struct List
    {
        const void *id = nullptr;
        std::function<quint64()> revision;
        // The revision before the step: a list changed by another path
        // since the stack last saw it voids the earlier steps on it.
        quint64 before = 0;
    };
    struct Step
    {
        // What the step did, for the operator: "delete of Preset Sun".
        QString text;
        // What the notice says once it is taken back, and once made again.
        QString undone;
        QString redone;
        QList<List> lists;
        // Each answers empty when done, or why it is not (nothing changed).
        std::function<QString()> undo;
        std::function<QString()> redo;
    };

    explicit UndoStack(QObject *parent = nullptr) : QObject(parent) {}

    static List list(const void *id, std::function<quint64()> revision)
    {
        const quint64 now = revision();
        return {id, std::move(revision), now};
    }

    // A step just made: the steps undone before it can no longer be redone.
    void push(Step step);

    enum Outcome { Done, Refused, Nothing };
    // `text` is the step's notice when done, else its name; `why` says why
    // it was not done.
    Outcome undo(QString &text, QString &why);
    Outcome redo(QString &text, QString &why);

    // The next step each would take, empty for none.
    QString undoText() const { return m_done > 0 ? m_steps.at(m_done - 1).text : QString(); }
    QString redoText() const { return m_done < m_steps.size() ? m_steps.at(m_done).text : QString(); }
    int count() const { return int(m_steps.size()); }
    // Both next steps, with their keys, for a notice or a tooltip.
    QString nextText() const;

    // Every step goes (a restore replaced the whole library).
    void clear();

Q_SIGNALS:
    // What undoText() or redoText() say may have changed.
    void changed();

private:
    Outcome take(bool back, QString &text, QString &why);
    bool listsUnchanged(const Step &step, QString &why);
    void forgetList(const void *id);
    void note(const Step &step);

    QList<Step> m_steps;
    qsizetype m_done = 0;
    std::unordered_map<const void *, quint64> m_known;
};
