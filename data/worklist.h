#pragma once

#include "data/linetype.h"
#include "data/recordstore.h"

#include <QTime>


// One line of a device's work list: a preset or notes entry with the LF
// value to transmit and for how long.
struct WorkLine
{
    // A line is a preset, notes or a program.
    static constexpr std::initializer_list<int> kinds = {LineType::Preset, LineType::Notes, LineType::Program};

    QString name;
    int version = 0;
    int type = LineType::Preset;
    int time = 0;
    int orgTime = 0;
    QString value;
    QString note;
    int pool = 0;

    static WorkLine fromJson(const QJsonObject &object);
    QJsonObject toJson() const;
    const QString &displayText() const { return name; }
};

// What a device is to transmit, with a header naming the program the lines
// came from. Stored as {"bse", "nam", "ver", "tim", "version", "program"}:
// the header's "bse" is a pool word, each line's "bse" a number.
class WorkList : public RecordStore<WorkLine>
{
public:
    WorkList() : RecordStore(QStringLiteral("program"), QStringLiteral("Work")) {}

    int pool = 0;
    QString programName;
    int programVersion = 0;
    int totalTime = TextForm::noMinutes;  // none until the Work tab has added the lines up
    QString programNotes;  // kept in memory only

    void toJson(QJsonObject &object) const;
    void fromJson(const QJsonObject &object);
    bool saveBase() const;
    bool readBase();

    void insertNew();

    // Accessors of the current line.
    QString name() const { return field(&WorkLine::name); }
    void setName(const QString &v) { setField(&WorkLine::name, v); }
    void setLineVersion(int v) { setField(&WorkLine::version, v); }
    int type() const { return field(&WorkLine::type); }
    int time() const { return field(&WorkLine::time); }
    void setTime(int minutes) { setField(&WorkLine::time, minutes); }
    int orgTime() const { return field(&WorkLine::orgTime); }
    QString value() const { return field(&WorkLine::value); }
    void setValue(const QString &v) { setField(&WorkLine::value, v); }
    QString note() const { return field(&WorkLine::note); }
    void setNote(const QString &v) { setField(&WorkLine::note, v); }
    void setLinePool(int v) { setField(&WorkLine::pool, v); }

private:
    void writeHeader(QJsonObject &object) const;
    void readHeader(const QJsonObject &object);
};

