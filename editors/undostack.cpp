#include "editors/undostack.h"

void UndoStack::push(Step step)
{
    // A list changed since the stack last saw it: the earlier steps on it
    // would undo onto a list they never saw.
    for (const List &list : std::as_const(step.lists)) {
        const auto known = m_known.find(list.id);
        if (known != m_known.end() && known->second != list.before)
            forgetList(list.id);
    }
    m_steps.erase(m_steps.begin() + m_done, m_steps.end());
    note(step);
    m_steps.append(std::move(step));
    m_done = m_steps.size();
    Q_EMIT changed();
}

bool UndoStack::listsUnchanged(const Step &step, QString &why)
{
    for (const List &list : step.lists) {
        const auto known = m_known.find(list.id);
        if (known == m_known.end() || known->second != list.revision()) {
            why = tr("its list changed since");
            // Never possible again, nor any other step on that list.
            forgetList(list.id);
            Q_EMIT changed();
            return false;
        }
    }
    return true;
}

UndoStack::Outcome UndoStack::undo(QString &text, QString &why)
{
    return take(true, text, why);
}

UndoStack::Outcome UndoStack::redo(QString &text, QString &why)
{
    return take(false, text, why);
}

UndoStack::Outcome UndoStack::take(bool back, QString &text, QString &why)
{
    text.clear();
    why.clear();
    if (back ? m_done == 0 : m_done >= m_steps.size())
        return Nothing;
    const Step step = m_steps.at(back ? m_done - 1 : m_done);
    text = step.text;
    if (!listsUnchanged(step, why))
        return Refused;
    why = back ? step.undo() : step.redo();
    if (!why.isEmpty())
        return Refused;
    text = back ? step.undone : step.redone;
    m_done += back ? -1 : 1;
    note(step);
    Q_EMIT changed();
    return Done;
}

void UndoStack::clear()
{
    m_steps.clear();
    m_done = 0;
    m_known.clear();
    Q_EMIT changed();
}

void UndoStack::forgetList(const void *id)
{
    for (qsizetype i = m_steps.size() - 1; i >= 0; --i) {
        bool on = false;
        for (const List &list : std::as_const(m_steps.at(i).lists))
            on = on || list.id == id;
        if (!on)
            continue;
        m_steps.removeAt(i);
        if (i < m_done)
            --m_done;
    }
    m_known.erase(id);
}

void UndoStack::note(const Step &step)
{
    for (const List &list : step.lists)
        m_known[list.id] = list.revision();
}

QString UndoStack::nextText() const
{
    QStringList next;
    if (m_done > 0)
        next << tr("Ctrl+Z takes back the %1.").arg(undoText());
    if (m_done < m_steps.size())
        next << tr("Ctrl+Shift+Z makes the %1 again.").arg(redoText());
    return next.join(QLatin1Char(' '));
}
