#include "data/history.h"

#include "data/container.h"

#include <QFileInfo>

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
    m_unreadPath.clear();
}

bool History::readBase()
{
    qDebug().noquote() << "readBase History" << m_path;
    const QString path = m_path;
    clear();
    m_path = path;
    QJsonObject object;
    if (!Container::readFile(m_path, object)) {
        if (QFileInfo::exists(m_path))
            m_unreadPath = m_path;
        return false;
    }
    fromJson(object);
    return true;
}

bool History::saveBase() const
{
    qDebug().noquote() << "saveBase History" << m_path;
    if (!m_unreadPath.isEmpty() && m_path == m_unreadPath) {
        qWarning().noquote() << "History file could not be read; not overwriting it:" << m_path;
        return false;
    }
    QJsonObject object;
    toJson(object);
    return Container::writeFile(m_path, object);
}

void History::toJson(QJsonObject &object) const
{
    Notes::toJson(object);
    m_presets.toJson(object);
    m_programs.toJson(object);
}

void History::fromJson(const QJsonObject &object)
{
    m_unreadPath.clear();
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
        if (records().at(current()).type != Note::PresetNote) {
            result = run;
            break;
        }
        ++run;
    }
    setCurrent(remembered);
    return result;
}
