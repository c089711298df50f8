#pragma once

#include "data/recordstore.h"

#include <QDateTime>
#include <QLatin1StringView>
#include <QTime>

#include <array>
#include <utility>

// One named frequency with a run time, the smallest unit run on a device.
struct Preset
{
    TextForm::Stamp created;
    TextForm::Stamp modified;
    QString name;
    int version = 0;
    int forMachine = 0;
    QString notes;
    int time = TextForm::noMinutes;
    QString variable;
    int obtained = 0;
    QString author;

    // A preset as the editor starts it; a default-constructed one is what a
    // file record without keys reads as.
    static Preset newRecord();
    static Preset fromJson(const QJsonObject &object);
    static Preset fromFields(const RecordFields &fields);
    QJsonObject toJson() const;
    // What toJson holds, keys in their stored order.
    using Texts = std::array<std::pair<QLatin1StringView, QString>, 10>;
    Texts texts() const;
    const QString &displayText() const { return name; }

    // Words are matched case-sensitively; unknown text reads as 0.
    static QString forMachineWord(int value);
    static int forMachineFromWord(QStringView word);
    static QString obtainedWord(int value);
    static int obtainedFromWord(QStringView word);
};

// A large pool grows its list by moving bytes, not record by record.
Q_DECLARE_TYPEINFO(Preset, Q_RELOCATABLE_TYPE);

// The three preset pools and the words that name them in files and on screen.
namespace PresetPool {
enum { Client = 0, General = 1, Legitimate = 2 };
QString word(int pool);
// "Client" and "General" are recognised; any other text is the Legitimate pool.
int fromWord(const QString &word);
} // namespace PresetPool

class Presets : public RecordStore<Preset>
{
public:
    Presets();

    void insertNew();
    Preset currentPreset() const;

    QString createdText() const { return dateTimeText(&Preset::created); }
    void setCreatedText(const QString &text) { setDateTimeText(&Preset::created, text); }
    void setCreatedNow() { setNow(&Preset::created); }
    void setCreated(const QDateTime &when) { setField(&Preset::created, TextForm::Stamp(when)); }
    QString modifiedText() const { return dateTimeText(&Preset::modified); }
    void setModifiedText(const QString &text) { setDateTimeText(&Preset::modified, text); }
    void setModifiedNow() { setNow(&Preset::modified); }
    void setModified(const QDateTime &when) { setField(&Preset::modified, TextForm::Stamp(when)); }
    QString name() const { return field(&Preset::name); }
    void setName(const QString &name) { setField(&Preset::name, name); }
    int version() const { return field(&Preset::version); }
    QString versionText() const { return intText(&Preset::version); }
    void setVersion(int version) { setField(&Preset::version, version); }
    int forMachine() const { return field(&Preset::forMachine); }
    QString forMachineWord() const;
    void setForMachine(int value) { setField(&Preset::forMachine, value); }
    void setForMachineWord(const QString &word);
    QString notes() const { return field(&Preset::notes); }
    void setNotes(const QString &notes) { setField(&Preset::notes, notes); }
    int timeMinutes() const { return minutes(&Preset::time); }
    QString timeText() const { return minutesText(&Preset::time); }
    void setTime(int value) { setMinutes(&Preset::time, value); }
    void setTimeText(const QString &text) { setMinutesText(&Preset::time, text); }
    QString variable() const { return field(&Preset::variable); }
    void setVariable(const QString &variable) { setField(&Preset::variable, variable); }
    int obtained() const { return field(&Preset::obtained); }
    QString obtainedWord() const;
    void setObtained(int value) { setField(&Preset::obtained, value); }
    void setObtainedWord(const QString &word);
    QString author() const { return field(&Preset::author); }
    void setAuthor(const QString &author) { setField(&Preset::author, author); }
};
