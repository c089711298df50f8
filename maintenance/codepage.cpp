#include "maintenance/codepage.h"

#ifdef TAVIK_HAVE_ICU
#include <unicode/ucsdet.h>
#endif

#include <algorithm>
#include <cstdlib>

namespace CodePage {

namespace {

// The lead a guess needs over the other page, in the detector's
// confidence points (0 to 100), to be taken without asking.
constexpr int sureMargin = 10;

} // namespace

Guess guess(const QByteArray &text)
{
    Guess result;
#ifdef TAVIK_HAVE_ICU
    // ICU weighs the text's letters against the languages written in
    // each page; it names the ISO pages where no Windows-only byte shows.
    UErrorCode status = U_ZERO_ERROR;
    UCharsetDetector *detector = ucsdet_open(&status);
    if (U_FAILURE(status))
        return result;
    // The detector keeps a pointer: the bytes outlive it here.
    // The first few MiB tell as much as a whole large file.
    const qsizetype looked = std::min<qsizetype>(text.size(), qsizetype(4) << 20);
    ucsdet_setText(detector, text.constData(), int32_t(looked), &status);
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
    result.page = western > central ? Western : CentralEuropean;
    result.sure = std::abs(western - central) >= sureMargin;
#else
    Q_UNUSED(text);
#endif
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
