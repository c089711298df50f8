#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <optional>

// Where the program keeps its files, and the few preferences that survive a
// restart: window geometry, the pools the selection tabs show, the operator.
class Settings : public QObject
{
    Q_OBJECT
public:
    explicit Settings(QObject *parent = nullptr);

    // Computes the folders and sets the settings file to dataFolder + name.
    void init(const QString &fileName);

    // Each ends in "/" and is created, with its parents, when first asked for.
    QString dataFolder() const;
    QString backupFolder() const;
    QString exportFolder() const;
    QString settingsPath() const { return m_settingsPath; }

    bool readSettings();
    bool saveSettings() const;
    void toJson(QJsonObject &object) const;
    void fromJson(const QJsonObject &object);

    QByteArray geometry() const { return m_geometry; }
    void setGeometry(const QByteArray &geometry) { m_geometry = geometry; }
    int presetsPool() const { return m_presetsPool; }
    void setPresetsPool(int pool) { m_presetsPool = pool; }
    bool programsGeneral() const { return m_programsGeneral; }
    void setProgramsGeneral(bool general) { m_programsGeneral = general; }
    // Column widths the operator set in a table, by the table's object
    // name; -1 where the table's own formula decides.
    QList<int> columnWidths(const QString &table) const { return m_columnWidths.value(table); }
    void setColumnWidths(const QString &table, const QList<int> &widths);
    QString operatorName() const { return m_operatorName; }
    void setOperatorName(const QString &name) { m_operatorName = name; }
    bool machineAutoconnect() const { return m_machineAutoconnect; }
    // Minutes a paused run may stay paused before it ends cut short.
    static constexpr int defaultPauseLimit = 30;
    static constexpr int longestPauseLimit = 24 * 60;
    int pauseLimitMinutes() const { return m_pauseLimitMinutes; }
    void setPauseLimitMinutes(int minutes) { m_pauseLimitMinutes = qBound(1, minutes, longestPauseLimit); }
    // The file identifier of the client open at the last exit, empty for
    // none; unset when the settings file does not say (an older one).
    std::optional<QString> openClient() const { return m_openClient; }
    void setOpenClient(const QString &file) { m_openClient = file; }

private:
    QString m_operatorName;
    QString m_settingsPath;
    QByteArray m_geometry;
    QMap<QString, QList<int>> m_columnWidths;
    QString m_dataFolder;
    QString m_exportFolder;
    QString m_backupFolder;
    bool m_machineAutoconnect = false;
    QString m_machineIP;
    bool m_programsGeneral = false;
    int m_presetsPool = 0;
    int m_pauseLimitMinutes = defaultPauseLimit;
    std::optional<QString> m_openClient;
};
