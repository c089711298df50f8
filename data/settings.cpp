#include "data/settings.h"

#include "data/container.h"
#include "data/textforms.h"

#include <QDebug>
#include <QDir>
#include <QStandardPaths>

#include <algorithm>

namespace {

constexpr const char *keyGeometry = "geometry";
constexpr const char *keyMachineIP = "machineIP";
constexpr const char *keyAutoconnect = "machineAutoconnect";
constexpr const char *keyPresets = "presetsGenuine";
constexpr const char *keyPrograms = "programsGenuine";
constexpr const char *keyOperator = "operator";
constexpr const char *keyOperatorName = "typ";
constexpr const char *keyOpenClient = "openClient";
constexpr const char *keyColumns = "columnWidths";
constexpr const char *keyPauseLimit = "pauseLimit";
// No table has more columns, nor a column wider than this.
constexpr int mostColumns = 32;
constexpr int widestColumn = 10000;
const QString noName = QStringLiteral("noname");

QString ensured(const QString &folder)
{
    if (!folder.isEmpty() && !QDir(folder).exists())
        QDir().mkpath(folder);
    return folder;
}

} // namespace

Settings::Settings(QObject *parent) : QObject(parent) {}

void Settings::init(const QString &fileName)
{
    const QString appData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    m_dataFolder = appData + QStringLiteral("/data/");
    m_backupFolder = appData + QStringLiteral("/backup/");
    m_exportFolder = documents + QStringLiteral("/TavikStudio/export/");
    m_settingsPath = dataFolder() + fileName;
}

QString Settings::dataFolder() const { return ensured(m_dataFolder); }
QString Settings::backupFolder() const { return ensured(m_backupFolder); }
QString Settings::exportFolder() const { return ensured(m_exportFolder); }

bool Settings::readSettings()
{
    qDebug().noquote() << "readSettings" << m_settingsPath;
    QJsonObject object;
    const bool read = Container::opened(Container::readFile(m_settingsPath, object));
    if (read)
        fromJson(object);
    else
        m_machineAutoconnect = true;  // a first start connects on its own
    if (m_operatorName.trimmed().isEmpty())
        m_operatorName = noName;
    return read;
}

bool Settings::saveSettings() const
{
    qDebug().noquote() << "saveSettings" << m_settingsPath;
    QJsonObject object;
    toJson(object);
    return Container::writeFile(m_settingsPath, object);
}

void Settings::setColumnWidths(const QString &table, const QList<int> &widths)
{
    if (std::any_of(widths.cbegin(), widths.cend(), [](int width) { return width > 0; }))
        m_columnWidths.insert(table, widths.mid(0, mostColumns));
    else
        m_columnWidths.remove(table);
}

void Settings::toJson(QJsonObject &object) const
{
    QJsonObject columns;
    for (auto table = m_columnWidths.cbegin(); table != m_columnWidths.cend(); ++table) {
        QStringList widths;
        for (int width : table.value())
            widths << QString::number(width);
        columns.insert(table.key(), widths.join(QLatin1Char(',')));
    }
    if (!columns.isEmpty())
        object.insert(QLatin1String(keyColumns), columns);
    object.insert(QLatin1String(keyGeometry), QString::fromLatin1(m_geometry.toHex()));
    object.insert(QLatin1String(keyMachineIP), m_machineIP);
    object.insert(QLatin1String(keyAutoconnect), m_machineAutoconnect ? QStringLiteral("1") : QStringLiteral("0"));
    object.insert(QLatin1String(keyPresets), QString::number(m_presetsPool));
    object.insert(QLatin1String(keyPrograms), m_programsGeneral ? QStringLiteral("1") : QStringLiteral("0"));
    object.insert(QLatin1String(keyOperator), QJsonObject{{QLatin1String(keyOperatorName), m_operatorName}});
    if (m_openClient)
        object.insert(QLatin1String(keyOpenClient), *m_openClient);
    object.insert(QLatin1String(keyPauseLimit), QString::number(m_pauseLimitMinutes));
}

void Settings::fromJson(const QJsonObject &object)
{
    QString text;
    if (TextForm::stringOf(object, keyGeometry, text))
        m_geometry = QByteArray::fromHex(text.toLatin1());
    if (TextForm::stringOf(object, keyMachineIP, text))
        m_machineIP = text;
    if (TextForm::stringOf(object, keyAutoconnect, text)) {
        bool ok = false;
        const int value = text.toInt(&ok);
        m_machineAutoconnect = ok && value != 0;
    }
    if (TextForm::stringOf(object, keyPresets, text))
        m_presetsPool = text == QLatin1String("2") ? 2 : text == QLatin1String("1") ? 1 : 0;
    if (TextForm::stringOf(object, keyPrograms, text))
        m_programsGeneral = text == QLatin1String("1");
    if (TextForm::stringOf(object, keyOpenClient, text))
        m_openClient = text;
    if (TextForm::stringOf(object, keyPauseLimit, text)) {
        bool ok = false;
        const int minutes = text.toInt(&ok);
        if (ok && minutes > 0)
            setPauseLimitMinutes(minutes);
    }
    const QJsonObject columns = object.value(QLatin1String(keyColumns)).toObject();
    for (auto table = columns.constBegin(); table != columns.constEnd(); ++table) {
        QList<int> widths;
        for (const QString &word : table.value().toString().split(QLatin1Char(',')).mid(0, mostColumns)) {
            bool ok = false;
            const int width = word.toInt(&ok);
            widths << (ok && width > 0 && width <= widestColumn ? width : -1);
        }
        setColumnWidths(table.key(), widths);
    }
    const QJsonValue identity = object.value(QLatin1String(keyOperator));
    if (identity.isObject())
        TextForm::stringOf(identity.toObject(), keyOperatorName, m_operatorName);
}
