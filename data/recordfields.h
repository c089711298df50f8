#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1StringView>
#include <QString>

#include <cstring>
#include <vector>

// One stored record as the file reader hands it over: its keys in file
// order with their values. Building a QJsonObject per record costs more
// than the record itself on a large store; this keeps its slots from one
// record to the next and compares short keys as bytes.
class RecordFields
{
public:
    void clear() { m_count = 0; }

    // A key of at most keyCapacity ASCII letters (all of ours).
    static constexpr qsizetype keyCapacity = 31;
    // Texts, nearly all a record holds, are kept as QString: a QJsonValue
    // of a text costs an allocation of its own.
    void add(QLatin1StringView key, QString &&text) { named(key).setText(std::move(text)); }
    void add(const QString &key, QString &&text) { named(key).setText(std::move(text)); }
    void add(QLatin1StringView key, QJsonValue &&value) { named(key).setValue(std::move(value)); }
    void add(const QString &key, QJsonValue &&value) { named(key).setValue(std::move(value)); }

    // The text of the key's last occurrence, as in a JSON object; false
    // when the record does not have the key or its value is not a text.
    bool text(QLatin1StringView key, QString &text) const
    {
        for (qsizetype i = m_count - 1; i >= 0; --i) {
            const Field &field = m_fields[size_t(i)];
            if (field.size < 0 ? field.longKey == key
                               : field.size == key.size() && std::memcmp(field.key, key.data(), size_t(key.size())) == 0) {
                if (!field.isText)
                    return false;
                text = field.text;
                return true;
            }
        }
        return false;
    }

    QJsonObject toObject() const
    {
        QJsonObject object;
        for (qsizetype i = 0; i < m_count; ++i) {
            const Field &field = m_fields[size_t(i)];
            const QJsonValue value = field.isText ? QJsonValue(field.text) : field.value;
            if (field.size < 0)
                object.insert(field.longKey, value);
            else
                object.insert(QLatin1StringView(field.key, field.size), value);
        }
        return object;
    }

private:
    struct Field
    {
        char key[keyCapacity];
        qsizetype size = 0;  // -1: the key is longKey
        QString longKey;
        bool isText = false;
        QString text;
        QJsonValue value;

        void setText(QString &&t)
        {
            isText = true;
            text = std::move(t);
        }
        void setValue(QJsonValue &&v)
        {
            isText = false;
            value = std::move(v);
        }
    };
    Field &next()
    {
        if (size_t(m_count) == m_fields.size())
            m_fields.emplace_back();
        return m_fields[size_t(m_count++)];
    }
    Field &named(QLatin1StringView key)
    {
        Field &field = next();
        field.size = key.size();
        std::memcpy(field.key, key.data(), size_t(key.size()));
        return field;
    }
    Field &named(const QString &key)
    {
        Field &field = next();
        field.size = -1;
        field.longKey = key;
        return field;
    }

    std::vector<Field> m_fields;
    qsizetype m_count = 0;
};
