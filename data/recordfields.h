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
        m_keyBytes.clear();
        m_others.clear();
    }

    // A key of at most keyCapacity ASCII letters (all of ours).
    static constexpr qsizetype keyCapacity = 31;
    // Decodes UTF-8 text into the record; false when it is not valid UTF-8.
    bool addText(QLatin1StringView key, QByteArrayView utf8) { return decodeInto(named(key), utf8); }
    bool addText(const QString &key, QByteArrayView utf8) { return decodeInto(named(key), utf8); }
    void add(QLatin1StringView key, QJsonValue &&value) { setValue(named(key), std::move(value)); }
    void add(const QString &key, QJsonValue &&value) { setValue(named(key), std::move(value)); }

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
        const size_t slot = size_t(field - m_fields.data());
        if (m_last.size() <= slot)
            m_last.resize(slot + 1);
        QString &last = m_last[slot];
        const QStringView decoded = textOf(*field);
        if (last != decoded)
            last = decoded.toString();
        text = last;
        return true;
    }

    QJsonObject toObject() const
    {
        QJsonObject object;
        char letters[8];
        for (qsizetype i = 0; i < m_count; ++i) {
            const Field &field = m_fields[size_t(i)];
            const QJsonValue value = field.isText ? QJsonValue(textOf(field).toString()) : m_others[size_t(field.other)].value;
            if (field.size < 0)
                object.insert(m_others[size_t(field.longKey)].longKey, value);
            else
                object.insert(keyOf(field, letters), value);
        }
        return object;
    }

private:
    // Small, so that a record's fields share a cache line or two: a large
    // list is read in batches of many records.
    struct Field
    {
        quint64 code = 0;   // the first eight letters of the key
        qint32 size = 0;    // of the key; -1: a long key, in m_others[longKey]
        qint32 keyAt = 0;   // a key of more than eight letters, in m_keyBytes
        qint32 longKey = -1;
        qint32 other = -1;  // a value that is not a text, in m_others
        qsizetype at = 0;   // the text's place among the record's characters
        qsizetype length = 0;
        bool isText = false;
    };
    // What keys and values our own files never have.
    struct Other
    {
        QString longKey;
        QJsonValue value;
    };

    void setValue(Field &field, QJsonValue &&value)
    {
        field.isText = false;
        field.other = qint32(m_others.size());
        m_others.push_back({QString(), std::move(value)});
    }
    // A key of at most eight letters is spelt into `letters`.
    QLatin1StringView keyOf(const Field &field, char (&letters)[8]) const
    {
        if (field.size > 8)
            return longerKeyOf(field);
        for (qint32 i = 0; i < field.size; ++i)
            letters[i] = char(field.code >> (8 * i));
        return QLatin1StringView(letters, field.size);
    }
    QLatin1StringView longerKeyOf(const Field &field) const
    {
        return QLatin1StringView(m_keyBytes.data() + field.keyAt, field.size);
    }
    QStringView textOf(const Field &field) const
    {
        return QStringView(m_chars.data() + field.at, field.length);
    }
    bool decodeInto(Field &field, QByteArrayView utf8)
    {
        // A UTF-8 byte never makes more than one UTF-16 unit.
        const size_t need = size_t(m_used) + size_t(utf8.size());
        // Room to grow for the next records, but not half again of a
        // single huge text.
        if (m_chars.size() < need)
            m_chars.resize(need + qMin(need / 2, size_t(1) << 16));
        QChar *const start = m_chars.data() + m_used;
        field.isText = true;
        field.at = m_used;
        // Most texts of a record (dates, numbers, words) are short and
        // ASCII, which widens for less than the decoder costs to set up.
        if (isAscii(utf8)) {
            widen(reinterpret_cast<char16_t *>(start), reinterpret_cast<const uchar *>(utf8.data()), utf8.size());
            field.length = utf8.size();
            m_used += field.length;
            return true;
        }
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QChar *const end = decoder.appendToBuffer(start, utf8);
        field.length = end - start;
        m_used += field.length;
        return !decoder.hasError();
    }
    static bool isAscii(QByteArrayView bytes)
    {
        const char *at = bytes.data();
        const char *const end = at + bytes.size();
        quint64 high = 0;
        for (; end - at >= 8; at += 8) {
            quint64 word;
            std::memcpy(&word, at, 8);
            high |= word;
        }
        for (; at < end; ++at)
            high |= uchar(*at);
        return (high & 0x8080808080808080ULL) == 0;
    }
    static void widen(char16_t *__restrict out, const uchar *__restrict in, qsizetype size)
    {
        for (qsizetype i = 0; i < size; ++i)
            out[i] = in[i];
    }
    // Keys of up to eight letters (all of ours) compare as one number.
    static quint64 codeOf(const char *key, qsizetype size)
    {
        quint64 code = 0;
        for (qsizetype i = 0; i < size && i < 8; ++i)
            code |= quint64(uchar(key[i])) << (8 * i);
        return code;
    }
    const Field *find(QLatin1StringView key) const
    {
        const quint64 code = codeOf(key.data(), key.size());
        for (qsizetype i = m_count - 1; i >= 0; --i) {
            const Field &field = m_fields[size_t(i)];
            if (field.size < 0 ? m_others[size_t(field.longKey)].longKey == key
                               : field.code == code && field.size == key.size()
                                     && (key.size() <= 8 || longerKeyOf(field) == key))
                return &field;
        }
        return nullptr;
    }
    Field &next()
    {
        if (size_t(m_count) == m_fields.size())
            m_fields.emplace_back();
        Field &field = m_fields[size_t(m_count++)];
        field.other = -1;
        return field;
    }
    Field &named(QLatin1StringView key)
    {
        Field &field = next();
        field.size = qint32(key.size());
        field.code = codeOf(key.data(), key.size());
        if (key.size() > 8) {
            field.keyAt = qint32(m_keyBytes.size());
            m_keyBytes.insert(m_keyBytes.end(), key.data(), key.data() + key.size());
        }
        return field;
    }
    Field &named(const QString &key)
    {
        Field &field = next();
        field.size = -1;
        field.longKey = qint32(m_others.size());
        m_others.push_back({key, QJsonValue()});
        return field;
    }

    std::vector<Field> m_fields;
    qsizetype m_count = 0;
    std::vector<QChar> m_chars;
    qsizetype m_used = 0;
    std::vector<char> m_keyBytes;
    std::vector<Other> m_others;
    mutable std::vector<QString> m_last;  // by field slot
};
