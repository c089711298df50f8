#pragma once

#include <QByteArrayView>
#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1StringView>
#include <QString>
#include <QStringDecoder>
#include <QStringView>

#include <cstring>
#include <vector>

// One stored record as the file reader hands it over: its keys in file
// order with their values. Building a QJsonObject per record costs more
// than the record itself on a large store; this keeps its slots and its
// decoded texts from one record to the next and compares short keys as
// bytes. A text becomes a QString of its own only when a reader keeps it;
// numbers, words and dates are read from a view.
class RecordFields
{
public:
    void clear()
    {
        m_count = 0;
        m_used = 0;
    }

    // A key of at most keyCapacity ASCII letters (all of ours).
    static constexpr qsizetype keyCapacity = 31;
    // Decodes UTF-8 text into the record; false when it is not valid UTF-8.
    bool addText(QLatin1StringView key, QByteArrayView utf8) { return decodeInto(named(key), utf8); }
    bool addText(const QString &key, QByteArrayView utf8) { return decodeInto(named(key), utf8); }
    void add(QLatin1StringView key, QJsonValue &&value) { named(key).setValue(std::move(value)); }
    void add(const QString &key, QJsonValue &&value) { named(key).setValue(std::move(value)); }

    // The text of the key's last occurrence, as in a JSON object; false
    // when the record does not have the key or its value is not a text.
    // The view lasts until the next record is read.
    bool view(QLatin1StringView key, QStringView &text) const
    {
        const Field *field = find(key);
        if (!field || !field->isText)
            return false;
        text = textOf(*field);
        return true;
    }
    // The same as a text of its own. A text equal to the one this key gave
    // for the record before shares it: a pool repeats its authors and
    // values, and each copy would be an allocation kept for its lifetime.
    bool text(QLatin1StringView key, QString &text) const
    {
        const Field *field = find(key);
        if (!field || !field->isText)
            return false;
        const QStringView decoded = textOf(*field);
        if (field->last != decoded)
            field->last = decoded.toString();
        text = field->last;
        return true;
    }

    QJsonObject toObject() const
    {
        QJsonObject object;
        for (qsizetype i = 0; i < m_count; ++i) {
            const Field &field = m_fields[size_t(i)];
            const QJsonValue value = field.isText ? QJsonValue(textOf(field).toString()) : field.value;
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
        qsizetype at = 0;  // the text's place among the record's characters
        qsizetype length = 0;
        mutable QString last;
        QJsonValue value;

        void setValue(QJsonValue &&v)
        {
            isText = false;
            value = std::move(v);
        }
    };

    QStringView textOf(const Field &field) const
    {
        return QStringView(m_chars.data() + field.at, field.length);
    }
    bool decodeInto(Field &field, QByteArrayView utf8)
    {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        // A UTF-8 byte never makes more than one UTF-16 unit.
        const size_t need = size_t(m_used) + size_t(utf8.size());
        // Room to grow for the next records, but not half again of a
        // single huge text.
        if (m_chars.size() < need)
            m_chars.resize(need + qMin(need / 2, size_t(1) << 16));
        QChar *const start = m_chars.data() + m_used;
        QChar *const end = decoder.appendToBuffer(start, utf8);
        field.isText = true;
        field.at = m_used;
        field.length = end - start;
        m_used += field.length;
        return !decoder.hasError();
    }
    const Field *find(QLatin1StringView key) const
    {
        for (qsizetype i = m_count - 1; i >= 0; --i) {
            const Field &field = m_fields[size_t(i)];
            if (field.size < 0 ? field.longKey == key
                               : field.size == key.size() && std::memcmp(field.key, key.data(), size_t(key.size())) == 0)
                return &field;
        }
        return nullptr;
    }
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
    std::vector<QChar> m_chars;
    qsizetype m_used = 0;
};
