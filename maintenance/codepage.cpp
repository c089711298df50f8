#include "maintenance/codepage.h"

#include <QChar>
#include <QList>
#include <QString>
#include <QStringDecoder>

#ifdef TAVIK_HAVE_ICU
#include <unicode/ucsdet.h>
#endif

#include <algorithm>
#include <array>

namespace CodePage {

namespace {

constexpr qsizetype looked = qsizetype(4) << 20;

// A sign where a letter belongs: one page cannot be the one written.
constexpr int impossible = 4;

// The languages written in each page, for the letters that only some of
// them use.
enum Language : unsigned {
    Cs = 1u << 0, Sk = 1u << 1, Pl = 1u << 2, Hu = 1u << 3, Ro = 1u << 4, Sh = 1u << 5,
    De = 1u << 6, Fr = 1u << 7, Es = 1u << 8, It = 1u << 9, Pt = 1u << 10, No = 1u << 11,
    Sv = 1u << 12, Is = 1u << 13, Every = ~0u
};

unsigned languagesOf(QChar c)
{
    switch (c.toLower().unicode()) {
    case u'á': return Cs | Sk | Hu | Es | Pt | Is;
    case u'í': case u'ú': return Cs | Sk | Hu | Es | Pt | Is;
    case u'ó': return Cs | Sk | Pl | Hu | Es | Pt | Is;
    case u'ý': return Cs | Sk | Is;
    case u'š': case u'ž': case u'č': return Cs | Sk | Sh;
    case u'ä': return Sk | De | Sv;
    case u'ö': return Hu | De | Sv | Is;
    case u'ü': return Hu | De | Es | Fr;
    case u'ß': return De;
    case u'ç': return Fr | Pt;
    case u'ô': return Sk | Fr | Pt;
    case u'â': return Ro | Fr | Pt;
    case u'î': return Ro | Fr;
    case u'ë': case u'û': case u'ï': case u'œ': case u'ÿ': return Fr;
    case u'ř': case u'ě': case u'ů': return Cs;
    case u'ň': case u'ť': case u'ď': return Cs | Sk;
    case u'ľ': case u'ĺ': case u'ŕ': return Sk;
    case u'ő': case u'ű': return Hu;
    case u'ą': case u'ę': case u'ł': case u'ś': case u'ź': case u'ż': case u'ń': return Pl;
    case u'ć': return Pl | Sh;
    case u'ă': case u'ş': case u'ţ': return Ro;
    case u'đ': return Sh;
    case u'ø': return No;
    case u'æ': return No | Is;
    case u'å': return No | Sv;
    case u'è': return Fr | It;
    case u'à': return Fr | It | Pt;
    case u'ì': case u'ò': return It;
    case u'ù': return It | Fr;
    case u'õ': case u'ã': return Pt;
    case u'ñ': return Es;
    case u'ê': return Fr | Pt;
    case u'ð': case u'þ': return Is;
    default: return Every;
    }
}

bool isVowel(QChar c)
{
    const QChar lower = c.toLower();
    if (lower == u'ø' || lower == u'æ' || lower == u'œ')
        return true;
    const QString decomposed = lower.decomposition();
    const QChar base = decomposed.isEmpty() ? lower : decomposed.at(0);
    // y stands beside vowels as a consonant would ("øy", "gy", "ly").
    return QStringLiteral("aeiou").contains(base);
}

// What a character is beside a letter in a name.
enum Kind { Boundary, Vowel, Consonant, Sign };

Kind kindOf(QChar c)
{
    if (c.isNull())
        return Boundary;
    if (!c.isLetter())
        return Sign;
    return isVowel(c) ? Vowel : Consonant;
}

// Signs that do stand next to letters: ordinals and exponents after them
// ("Nº", "m³"), Spanish marks before them ("¿Qué").
bool signAfterLetter(QChar c)
{
    return c == u'º' || c == u'ª' || c == u'¹' || c == u'²' || c == u'³';
}
bool signBeforeLetter(QChar c)
{
    return c == u'¿' || c == u'¡' || c == u'«' || c == u'‹';
}

// How odd the letter at `i` of a word looks where it stands, in points:
// 0 where words have it, up to `impossible` for a sign inside a word.
int oddity(const QString &word, qsizetype i)
{
    const QChar c = word.at(i);
    const QChar left = i > 0 ? word.at(i - 1) : QChar();
    const QChar right = i + 1 < word.size() ? word.at(i + 1) : QChar();
    const Kind l = kindOf(left), self = kindOf(c), r = kindOf(right);
    if (self == Sign) {
        // No character at all in this page, or a sign inside a word.
        if (c == QChar::ReplacementCharacter || c.category() == QChar::Other_Control)
            return impossible;
        if (l == Vowel || l == Consonant) {
            if (r == Vowel || r == Consonant || !signAfterLetter(c))
                return impossible;
        } else if ((r == Vowel || r == Consonant) && !signBeforeLetter(c)) {
            return impossible;
        }
        return 0;
    }
    int odd = 0;
    // A capital after small letters.
    if (c.isUpper() && left.isLetter() && left.isLower())
        odd += 2;
    // Three consonants or three vowels in a row.
    if (l == r && l == self && self != Boundary)
        odd += 1;
    const QChar lower = c.toLower();
    const QChar before = left.toLower();
    const QChar after = right.toLower();
    const bool atEnd = r == Boundary;
    switch (lower.unicode()) {
    case u'ě':  // after b, d, f, m, n, p, t, v only
        odd += QStringLiteral("bdfmnptv").contains(before) ? 0 : 2;
        break;
    case u'ř':  // never beside another r
        odd += before == u'r' || after == u'r' || before == u'ř' || after == u'ř' ? 2 : 0;
        break;
    case u'ů':  // inside or at the end, never before a vowel
        odd += l == Boundary || r == Vowel ? 1 : 0;
        break;
    case u'ĺ': case u'ŕ':  // the syllable between two consonants
        odd += l == Consonant && r == Consonant ? 0 : 1;
        break;
    case u'ď':
        odd += r == Consonant ? 1 : 0;
        break;
    case u'ę': case u'ń': case u'ś': case u'ź': case u'ć':  // Polish writes "ni", "si", ... before a vowel
        odd += r == Vowel ? 2 : 0;
        break;
    case u'ø':
        odd += r == Vowel && after != u'y' ? 1 : 0;
        break;
    case u'è': case u'ê':  // before a consonant or at the end
        odd += r == Vowel ? 1 : 0;
        break;
    case u'ì': case u'ò': case u'à':  // stressed at the end of a word
        odd += atEnd || l == Boundary ? 0 : 1;
        break;
    case u'ù':
        odd += atEnd || before == u'o' ? 0 : 1;
        break;
    case u'ñ':  // before a vowel
        odd += r == Vowel ? 0 : 1;
        break;
    case u'õ':  // "ões", "õe"
        odd += after == u'e' || after == u's' ? 0 : 1;
        break;
    case u'ã':  // "ão", "ãe", or at the end
        odd += atEnd || after == u'o' || after == u'e' || after == u's' ? 0 : 1;
        break;
    case u'û':  // "oû", "aû", "ûr", "ûl", "ût"
        odd += QStringLiteral("aou").contains(before) || QStringLiteral("rlt").contains(after) ? 0 : 1;
        break;
    case u'ï':  // after a vowel
        odd += l == Vowel ? 0 : 1;
        break;
    default:
        break;
    }
    return odd;
}

// Letters of languages that no one language writes together.
int mixedLanguages(const QString &word)
{
    unsigned common = Every;
    for (const QChar c : word) {
        if (c.isLetter() && c.unicode() >= 0x80)
            common &= languagesOf(c);
    }
    return common == 0 ? 2 : 0;
}

Page icuLeaning(const QByteArray &text);

struct Pages
{
    std::array<QChar, 128> central;
    std::array<QChar, 128> western;
};

const Pages &pages()
{
    static const Pages table = [] {
        Pages built;
        for (int b = 0x80; b <= 0xff; ++b) {
            const char byte = char(b);
            QStringDecoder central(codecName(CentralEuropean), QStringDecoder::Flag::Stateless);
            QStringDecoder western(codecName(Western), QStringDecoder::Flag::Stateless);
            const QString c = central.decode(QByteArrayView(&byte, 1));
            const QString w = western.decode(QByteArrayView(&byte, 1));
            built.central[size_t(b - 0x80)] = c.size() == 1 ? c.at(0) : QChar(QChar::ReplacementCharacter);
            built.western[size_t(b - 0x80)] = w.size() == 1 ? w.at(0) : QChar(QChar::ReplacementCharacter);
        }
        return built;
    }();
    return table;
}

struct Evidence
{
    // Words that read as words in one page only, and the weight of the
    // words that merely read better in it.
    std::array<int, 2> certain {0, 0};
    std::array<int, 2> better {0, 0};
    bool differs = false;
};

// One word: a run of letters (ASCII, or any byte above 0x7f that is a
// letter in either page).
void weigh(const QByteArray &bytes, Evidence &evidence)
{
    const Pages &table = pages();
    QString central, western;
    QList<qsizetype> differing;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar b = uchar(bytes.at(i));
        const QChar c = b < 0x80 ? QChar(b) : table.central[b - 0x80];
        const QChar w = b < 0x80 ? QChar(b) : table.western[b - 0x80];
        if (c != w)
            differing << i;
        central += c;
        western += w;
    }
    if (differing.isEmpty())
        return;
    evidence.differs = true;
    std::array<int, 2> odd {mixedLanguages(central), mixedLanguages(western)};
    std::array<bool, 2> cannot {false, false};
    for (const qsizetype i : std::as_const(differing)) {
        const int c = oddity(central, i), w = oddity(western, i);
        odd[CentralEuropean] += c;
        odd[Western] += w;
        cannot[CentralEuropean] = cannot[CentralEuropean] || c >= impossible;
        cannot[Western] = cannot[Western] || w >= impossible;
    }
    if (cannot[CentralEuropean] != cannot[Western]) {
        ++evidence.certain[cannot[CentralEuropean] ? Western : CentralEuropean];
        return;
    }
    if (odd[CentralEuropean] != odd[Western])
        evidence.better[odd[CentralEuropean] > odd[Western] ? Western : CentralEuropean] +=
            std::min(3, std::abs(odd[CentralEuropean] - odd[Western]));
}

bool partOfWord(uchar b)
{
    if (b >= 0x80) {
        const qsizetype at = b - 0x80;
        return pages().central[at].isLetter() || pages().western[at].isLetter()
               || pages().central[at] != pages().western[at];
    }
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
}

// For a tie, the letter groups common in the languages of each page and
// rare in the other's ("sz", "cz" against "qu", "ou"); the detector's own
// reading where they do not tell either.
Page leaning(const QByteArray &text)
{
    static const QList<QByteArray> central{"cz", "sz", "rz", "zs", "gy", "ny", "ly", "dz", "ck"};
    static const QList<QByteArray> western{"qu", "ou", "th", "ph", "eau", "sch", "ie", "x", "ee", "oo"};
    const QByteArray lower = text.left(looked).toLower();
    int c = 0, w = 0;
    for (const QByteArray &group : central)
        c += int(lower.count(group));
    for (const QByteArray &group : western)
        w += int(lower.count(group));
    if (c != w)
        return w > c ? Western : CentralEuropean;
    return icuLeaning(text);
}

// The detector's own reading, for a tie.
Page icuLeaning(const QByteArray &text)
{
#ifdef TAVIK_HAVE_ICU
    UErrorCode status = U_ZERO_ERROR;
    UCharsetDetector *detector = ucsdet_open(&status);
    if (U_FAILURE(status))
        return CentralEuropean;
    // The detector keeps a pointer: the bytes outlive it here.
    ucsdet_setText(detector, text.constData(), int32_t(std::min(text.size(), looked)), &status);
    int32_t found = 0;
    const UCharsetMatch **matches = U_SUCCESS(status) ? ucsdet_detectAll(detector, &found, &status) : nullptr;
    int central = 0;
    int western = 0;
    for (int32_t i = 0; matches && i < found; ++i) {
        UErrorCode error = U_ZERO_ERROR;
        const QByteArray name = QByteArray(ucsdet_getName(matches[i], &error)).toLower();
        const int confidence = ucsdet_getConfidence(matches[i], &error);
        if (U_FAILURE(error))
            continue;
        if (name == "windows-1250" || name == "iso-8859-2")
            central = std::max(central, confidence);
        else if (name == "windows-1252" || name == "iso-8859-1")
            western = std::max(western, confidence);
    }
    ucsdet_close(detector);
    return western > central ? Western : CentralEuropean;
#else
    Q_UNUSED(text);
    return CentralEuropean;
#endif
}

} // namespace

Guess guess(const QByteArray &text)
{
    Evidence evidence;
    const qsizetype end = std::min(text.size(), looked);
    for (qsizetype i = 0; i < end;) {
        if (!partOfWord(uchar(text.at(i)))) {
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < end && partOfWord(uchar(text.at(j))))
            ++j;
        weigh(text.mid(i, j - i), evidence);
        i = j;
    }
    Guess result;
    // No name reads differently in the two pages: either reads it right.
    if (!evidence.differs) {
        result.sure = true;
        return result;
    }
    const auto &certain = evidence.certain;
    const auto &better = evidence.better;
    if (certain[CentralEuropean] != certain[Western]) {
        result.page = certain[Western] > certain[CentralEuropean] ? Western : CentralEuropean;
        // A word that cannot be the other page settles it, unless another
        // cannot be this one.
        result.sure = certain[result.page == Western ? CentralEuropean : Western] == 0;
        return result;
    }
    if (better[CentralEuropean] != better[Western]) {
        result.page = better[Western] > better[CentralEuropean] ? Western : CentralEuropean;
        const int for_ = better[result.page];
        const int against = better[result.page == Western ? CentralEuropean : Western];
        // Many words, and few against: a letter or two in odd places is
        // thin.
        result.sure = certain[CentralEuropean] == 0 && for_ >= 6 && against * 5 <= for_;
        return result;
    }
    result.page = leaning(text);
    return result;
}

const char *codecName(Page page)
{
    return page == Western ? "windows-1252" : "windows-1250";
}

const char *displayName(Page page)
{
    return page == Western ? "Windows-1252 (Western European)" : "Windows-1250 (Central European)";
}

} // namespace CodePage
