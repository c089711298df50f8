#include "data/textmatch.h"

#include "data/transliteration.h"

#include <QList>

#include <algorithm>
#include <atomic>
#include <vector>

namespace {

bool isDropped(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format:   // soft hyphen, zero-width spaces and joiners
    case QChar::Other_Control:  // white space among them is kept as space
        return !QChar::isSpace(c);
    default:
        return false;
    }
}

// Compatibility decomposition and case folding, again after the folding
// (which may give a letter with a decomposition, "İ" its "i" and dot), then
// marks dropped and white space made plain.
QString foldPlainly(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD)
                                   .toCaseFolded()
                                   .normalized(QString::NormalizationForm_KD);
    QString kept;
    kept.reserve(decomposed.size());
    const QList<uint> codePoints = decomposed.toUcs4();
    for (const uint c : codePoints) {
        if (QChar::isSpace(c))
            kept.append(QLatin1Char(' '));
        else if (!isDropped(c))
            kept.append(QString::fromUcs4(reinterpret_cast<const char32_t *>(&c), 1));
    }
    return kept;
}

bool hasLatinLeft(const QString &folded)
{
    const QList<uint> codePoints = folded.toUcs4();
    for (const uint c : codePoints) {
        if (c < 0x80)
            continue;
        const QChar::Script script = QChar::script(c);
        if (script == QChar::Script_Latin || script == QChar::Script_Common || script == QChar::Script_Inherited)
            return true;
    }
    return false;
}

// One character's fold. Letters that normalisation leaves as they are ("ł",
// "ø", "ß") go through ICU's Latin-to-ASCII transliteration, taken from the
// character itself: its compatibility form may already have lost the
// letter ("ŀ" decomposes to "l" and a middle dot).
QString foldCharacter(char32_t c)
{
    const QString character = QString::fromUcs4(&c, 1);
    QString folded = foldPlainly(character);
    if (!hasLatinLeft(folded))
        return folded;
    folded = foldPlainly(Transliteration::latinToAscii(character));
    if (hasLatinLeft(folded))
        folded = foldPlainly(Transliteration::latinToAscii(folded));
    return folded;
}

// The fold of every UTF-16 unit, built once from the functions above, so
// that a name costs a table look-up a character. An entry holds a single
// unit, or a run in `expansions`, or says the unit is white space or half
// of a surrogate pair (folded on its own, rarely).
class FoldTable
{
public:
    static const FoldTable &instance()
    {
        static const FoldTable table;
        return table;
    }
    static std::atomic<bool> &built()
    {
        static std::atomic<bool> done {false};
        return done;
    }

    void append(QStringView text, QString &out) const
    {
        // Leading space is never written; a run of it becomes one space,
        // written only before what follows it.
        const qsizetype start = out.size();
        bool space = false;
        auto put = [&](char16_t unit) {
            if (unit == u' ') {
                space = out.size() > start;
                return;
            }
            if (space) {
                out.append(QLatin1Char(' '));
                space = false;
            }
            out.append(QChar(unit));
        };
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t unit = text.at(i).unicode();
            if (unit < 0x80) {
                // Most names are plain ASCII: letters, digits, spaces.
                const char16_t folded = m_ascii[unit];
                if (folded)
                    put(folded);
                continue;
            }
            const quint32 entry = m_entries[unit];
            const quint32 length = entry >> 24;
            if (length == 1) {
                put(char16_t(entry));
            } else if (length == surrogate) {
                QString folded;
                if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
                    folded = foldCharacter(QChar::surrogateToUcs4(unit, text.at(i + 1).unicode()));
                    ++i;
                }
                for (const QChar c : std::as_const(folded))
                    put(c.unicode());
            } else {
                for (quint32 k = 0; k < length; ++k)
                    put(m_expansions.at(qsizetype(entry & 0xFFFFFF) + k).unicode());
            }
        }
    }

private:
    static constexpr quint32 surrogate = 0xFF;

    FoldTable() : m_entries(0x10000, 0)
    {
        for (char32_t c = 0; c < 0x80; ++c) {
            const QString folded = foldCharacter(c);
            m_ascii[c] = folded.isEmpty() ? 0 : folded.at(0).unicode();
        }
        for (char32_t c = 0x80; c < 0x10000; ++c) {
            if (QChar::isSurrogate(c)) {
                m_entries[c] = surrogate << 24;
                continue;
            }
            const QString folded = foldCharacter(c);
            if (folded.size() == 1) {
                m_entries[c] = (1u << 24) | folded.at(0).unicode();
            } else if (!folded.isEmpty()) {
                // The longest compatibility forms are some tens of units.
                m_entries[c] = quint32(qMin<qsizetype>(folded.size(), surrogate - 1) << 24) | quint32(m_expansions.size());
                m_expansions.append(folded.left(surrogate - 1));
            }
        }
        m_expansions.squeeze();
        built().store(true, std::memory_order_release);
    }

    char16_t m_ascii[0x80] = {};
    std::vector<quint32> m_entries;
    QString m_expansions;
};

} // namespace

bool foldingReady()
{
    return FoldTable::built().load(std::memory_order_acquire);
}

void appendFolded(QStringView text, QString &out)
{
    FoldTable::instance().append(text, out);
}

QString foldForSearch(QStringView text)
{
    QString folded;
    folded.reserve(text.size());
    appendFolded(text, folded);
    return folded;
}

bool needsTransliteration(QStringView folded)
{
    for (qsizetype i = 0; i < folded.size(); ++i) {
        char32_t c = folded.at(i).unicode();
        if (c < 0x80)
            continue;
        if (QChar::isHighSurrogate(c) && i + 1 < folded.size()) {
            c = QChar::surrogateToUcs4(folded.at(i).unicode(), folded.at(i + 1).unicode());
            ++i;
        }
        const QChar::Script script = QChar::script(c);
        if (script != QChar::Script_Latin && script != QChar::Script_Common && script != QChar::Script_Inherited)
            return true;
    }
    return false;
}

namespace {

bool hasScript(QStringView folded, QChar::Script wanted)
{
    const QList<uint> codePoints = folded.toUcs4();
    return std::any_of(codePoints.cbegin(), codePoints.cend(),
                       [wanted](uint c) { return QChar::script(c) == wanted; });
}

// How passports, maps and the press spell Russian and Ukrainian names in
// English, which neither ICU's default nor BGN/PCGN quite gives: "Дмитрий"
// Dmitry, "Юлия" Yulia, "Фёдор" Fyodor, "Нижний" Nizhny; a name with
// letters only Ukrainian has by Ukraine's own system, "Київ" Kyiv,
// "Запоріжжя" Zaporizhzhia. Empty when a letter is outside both alphabets.
struct CyrillicLetter
{
    const char *plain;
    const char *initial;  // at the start of a word (in Russian also after a vowel)
};

QString everydayCyrillic(const QString &text)
{
    // а to я; the few letters outside that run are looked up apart.
    static const CyrillicLetter russian[32] = {
        {"a", "a"},   {"b", "b"},       {"v", "v"}, {"g", "g"}, {"d", "d"}, {"e", "ye"},  {"zh", "zh"}, {"z", "z"},
        {"i", "i"},   {"y", "y"},       {"k", "k"}, {"l", "l"}, {"m", "m"}, {"n", "n"},   {"o", "o"},   {"p", "p"},
        {"r", "r"},   {"s", "s"},       {"t", "t"}, {"u", "u"}, {"f", "f"}, {"kh", "kh"}, {"ts", "ts"}, {"ch", "ch"},
        {"sh", "sh"}, {"shch", "shch"}, {"", ""},   {"y", "y"}, {"", ""},   {"e", "e"},   {"yu", "yu"}, {"ya", "ya"}};
    const QString lower = text.normalized(QString::NormalizationForm_C).toLower();
    const bool ukrainian = std::any_of(lower.cbegin(), lower.cend(), [](QChar c) {
        return c == u'і' || c == u'ї' || c == u'є' || c == u'ґ';
    });
    const auto isVowel = [](QChar c) { return QStringView(u"аеёиоуыэюяіїє").contains(c); };
    const auto letterAt = [&](qsizetype i) { return i < lower.size() && lower.at(i).isLetter(); };

    QString spelled;
    spelled.reserve(lower.size() * 2);
    bool wordStart = true;
    QChar previous;
    for (qsizetype i = 0; i < lower.size(); ++i) {
        const QChar c = lower.at(i);
        const bool apostrophe = c == u'\'' || c == u'\u2019' || c == u'\u02BC';
        if (ukrainian && apostrophe && !wordStart && letterAt(i + 1))
            continue;  // the apostrophe before я, ю, є is not written
        if (!c.isLetter() || c.unicode() < 0x80) {
            spelled.append(c);
            wordStart = !c.isLetter();
            previous = QChar();
            continue;
        }
        const bool initial = wordStart || (!ukrainian && (isVowel(previous) || previous == u'ъ' || previous == u'ь'));
        const QChar next = i + 1 < lower.size() ? lower.at(i + 1) : QChar();
        const bool lastButOne = !letterAt(i + 2);
        const char *out = nullptr;
        if (c == u'ё') {
            out = "yo";
        } else if (ukrainian) {
            switch (c.unicode()) {
            case u'г': out = "h"; break;
            case u'ґ': out = "g"; break;
            case u'е': out = "e"; break;
            case u'є': out = initial ? "ye" : "ie"; break;
            case u'и': out = "y"; break;
            case u'і': out = "i"; break;
            case u'ї': out = initial ? "yi" : "i"; break;
            case u'й': out = initial ? "y" : "i"; break;
            case u'ю': out = initial ? "yu" : "iu"; break;
            case u'я': out = initial ? "ya" : "ia"; break;
            case u'з': out = next == u'г' ? "zg" : "z"; break;  // зг is zgh, apart from ж
            default: break;
            }
        } else if ((c == u'и' || c == u'ы') && next == u'й' && lastButOne) {
            out = "y";  // Dmitry, Nizhny, Krasny
            ++i;
        } else if (c == u'и' && next == u'я' && lastButOne) {
            out = "ia";  // Yulia, Maria
            ++i;
        }
        if (!out) {
            // A letter of neither alphabet (Serbian, Macedonian, another
            // script): ICU's spellings serve the name.
            if (c.unicode() < u'а' || c.unicode() > u'я')
                return QString();
            const CyrillicLetter &letter = russian[c.unicode() - u'а'];
            out = initial ? letter.initial : letter.plain;
        }
        spelled.append(QLatin1String(out));
        wordStart = false;
        previous = c;
    }
    return spelled;
}

// ICU's spelling of each word of `text` with the spaces it put inside the
// word taken out: Chinese is spelled a syllable a word ("běi jīng"), and
// an operator types the name as one word as often as not.
QString spelledWordsJoined(const QString &text)
{
    QString joined;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !text.at(i).isSpace())
            continue;
        if (i > start) {
            if (!joined.isEmpty())
                joined.append(QLatin1Char(' '));
            joined.append(foldForSearch(Transliteration::toLatin(text.mid(start, i - start))).remove(QLatin1Char(' ')));
        }
        start = i + 1;
    }
    return joined;
}

} // namespace

QStringList spellingsForSearch(const QString &text, QStringView folded)
{
    QStringList spellings;
    const auto add = [&](const QString &spelled) {
        if (!spelled.isEmpty() && spelled != folded && !spellings.contains(spelled))
            spellings.append(spelled);
    };
    const QString latin = foldForSearch(Transliteration::toLatin(text));
    add(latin);
    if (latin.count(QLatin1Char(' ')) > folded.count(QLatin1Char(' ')))
        add(spelledWordsJoined(text));
    // Apostrophes ICU puts between vowels ("mumba'ī" for "मुंबई") are
    // not typed.
    if (latin.contains(QLatin1Char('\'')) && !folded.contains(QLatin1Char('\'')))
        add(QString(latin).remove(QLatin1Char('\'')));
    const bool cyrillic = hasScript(folded, QChar::Script_Cyrillic);
    const bool greek = hasScript(folded, QChar::Script_Greek);
    if (cyrillic || greek || hasScript(folded, QChar::Script_Armenian)) {
        // The signs for the soft and hard letters ("Olʹga") are left out
        // of English spellings, and so of what an operator types.
        QString common = Transliteration::toCommonLatin(text);
        common.remove(QChar(0x02B9)).remove(QChar(0x02BA));
        add(foldForSearch(common));
    }
    if (cyrillic)
        add(foldForSearch(everydayCyrillic(text)));
    if (greek)
        add(foldForSearch(Transliteration::toModernGreekLatin(text)));
    return spellings;
}

bool containsIgnoringAccents(const QString &text, const QString &pattern)
{
    const QString folded = foldForSearch(text);
    const QString wanted = foldForSearch(pattern);
    if (folded.contains(wanted))
        return true;
    if (!needsTransliteration(folded))
        return false;
    const QStringList spellings = spellingsForSearch(text, folded);
    return std::any_of(spellings.cbegin(), spellings.cend(),
                       [&wanted](const QString &spelled) { return spelled.contains(wanted); });
}
