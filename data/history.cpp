#include "data/history.h"

#include "data/container.h"


History::History() : Notes(QStringLiteral("history"), QStringLiteral("History")) {}

void History::setPath(const QString &base)
{
    m_path = base + QStringLiteral(".dat");
}

void History::clear()
{
    Notes::fromJson(QJsonObject());
    m_presets.fromJson(QJsonObject());
    m_programs.fromJson(QJsonObject());
    setFilter(QString());
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
    Container::ListOf<Note> notes(listKey());
    Container::ListOf<Preset> presets(m_presets.listKey());
    Container::ListOf<Program> programs(m_programs.listKey());
    QJsonObject rest;
    const Container::ReadStatus status = Container::readFile(m_path, rest, {&notes, &presets, &programs});
    if (status == Container::ReadStatus::Read) {
        editRecords() = std::move(notes.taken());
        m_presets.editRecords() = std::move(presets.taken());
        m_programs.editRecords() = std::move(programs.taken());
    }
    return Container::opened(status);
}

bool History::saveBase() const
{
    qDebug().noquote() << "saveBase History" << m_path;
    const Container::ListOf<Note> notes(listKey(), records());
    const Container::ListOf<Preset> presets(m_presets.listKey(), m_presets.records());
    const Container::ListOf<Program> programs(m_programs.listKey(), m_programs.records());
    return Container::writeFile(m_path, {{"version", RecordStore<Note>::version()}}, {&notes, &presets, &programs});
}

void History::toJson(QJsonObject &object) const
{
    Notes::toJson(object);
    m_presets.toJson(object);
    m_programs.toJson(object);
}

void History::fromJson(const QJsonObject &object)
{
    Notes::fromJson(object);
    m_presets.fromJson(object);
    m_programs.fromJson(object);
}

int History::presetNotesAfterCurrent()
{
    const int remembered = current();
    int run = 0;
    int result = -1;
    while (next()) {
        if (records().at(current()).type != LineType::PresetNote) {
            result = run;
            break;
        }
        ++run;
    }
    setCurrent(remembered);
    return result;
}
