#include "data/history.h"

#include "data/container.h"

#include <QFileInfo>


History::History() : m_notes(QStringLiteral("history"), QStringLiteral("History")) {}

void History::setPath(const QString &path)
{
    m_path = path;
    // Another file: whatever it holds, the next save writes it.
    m_fileRevisions = {~quint64(0), ~quint64(0), ~quint64(0)};
    m_besideWrite = {};
}

void History::clear()
{
    m_notes.fromJson(QJsonObject());
    m_presets.fromJson(QJsonObject());
    m_programs.fromJson(QJsonObject());
    m_notes.setFilter(QString());
    m_presets.setFilter(QString());
    m_programs.setFilter(QString());
    m_path.clear();
}

bool History::readBase()
{
    qDebug().noquote() << "readBase History" << m_path;
    const QString path = m_path;
    clear();
    m_path = path;
    Container::ListOf<Note> notes(m_notes.listKey());
    Container::ListOf<Preset> presets(m_presets.listKey());
    Container::ListOf<Program> programs(m_programs.listKey());
    QJsonObject rest;
    const Container::ReadStatus status = Container::readFile(m_path, rest, {&notes, &presets, &programs});
    if (status == Container::ReadStatus::Read) {
        m_notes.replaceRecords(std::move(notes.taken()));
        m_presets.replaceRecords(std::move(presets.taken()));
        m_programs.replaceRecords(std::move(programs.taken()));
    }
    if (Container::opened(status))
        markWritten();
    return Container::opened(status);
}

bool History::saveBase() const
{
    qDebug().noquote() << "saveBase History" << m_path;
    const Container::ListOf<Note> notes(m_notes.listKey(), m_notes.records());
    const Container::ListOf<Preset> presets(m_presets.listKey(), m_presets.records());
    const Container::ListOf<Program> programs(m_programs.listKey(), m_programs.records());
    const bool written = Container::writeFile(m_path, {{"version", m_notes.fileVersion()}},
                                              {&notes, &presets, &programs});
    if (written)
        markWritten();
    return written;
}

std::array<quint64, 3> History::revisions() const
{
    return {m_notes.revision(), m_presets.revision(), m_programs.revision()};
}

void History::markWritten() const
{
    m_fileRevisions = revisions();
    m_besideWrite = {};
}

bool History::changedSinceFile() const
{
    return revisions() != m_fileRevisions || m_besideWrite.failed();
}

bool History::saveIfChanged() const
{
    if (!changedSinceFile())
        return true;
    qDebug().noquote() << "saveBeside History" << m_path;
    const std::array<quint64, 3> now = revisions();
    m_besideWrite = WriteBeside::write(m_path, [notes = m_notes.records(), presets = m_presets.records(),
                                                programs = m_programs.records(), version = m_notes.fileVersion()] {
        return encode(notes, presets, programs, version);
    });
    m_fileRevisions = now;
    return true;
}

QByteArray History::encode(const QList<Note> &notes, const QList<Preset> &presets, const QList<Program> &programs,
                           const QString &version)
{
    const Container::ListOf<Note> noteList(QStringLiteral("history"), notes);
    const Container::ListOf<Preset> presetList(QStringLiteral("presets"), presets);
    const Container::ListOf<Program> programList(QStringLiteral("programs"), programs);
    return Container::encode({{"version", version}}, {&noteList, &presetList, &programList});
}

WriteBeside::Ticket History::appendBeside(const QString &path, const Note &entry)
{
    qDebug().noquote() << "appendBeside History" << path;
    return WriteBeside::change(path, [path, entry] {
        History history;
        history.setPath(path);
        // A client without a history yet gets one; one that is there but
        // cannot be read whole is not written over.
        if (!history.readBase() && QFileInfo::exists(path))
            return QByteArray();
        history.notes().insertRecord(entry);
        return encode(history.notes().records(), history.presets().records(), history.programs().records(),
                      history.notes().fileVersion());
    });
}

void History::toJson(QJsonObject &object) const
{
    m_notes.toJson(object);
    m_presets.toJson(object);
    m_programs.toJson(object);
}

void History::fromJson(const QJsonObject &object)
{
    m_notes.fromJson(object);
    m_presets.fromJson(object);
    m_programs.fromJson(object);
}

int History::presetNotesAfterCurrent()
{
    const int remembered = m_notes.current();
    int run = 0;
    int result = -1;
    while (m_notes.next()) {
        if (m_notes.records().at(m_notes.current()).type != LineType::PresetNote) {
            result = run;
            break;
        }
        ++run;
    }
    m_notes.setCurrent(remembered);
    return result;
}

void History::addOnTop(const std::function<void()> &add)
{
    const QString shown = m_notes.filter();
    m_notes.setFilter(QString());
    m_notes.setCurrent(0);
    add();
    m_notes.setFilter(shown);
    m_notes.setCurrent(0);
}
