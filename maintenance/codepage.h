#pragma once

#include <QByteArray>

// Which Windows code page an 8-bit text (one that is not UTF-8) is in:
// spreadsheets in Central Europe write Windows-1250, in Western Europe
// Windows-1252, and the same bytes read in the other one garble every
// accented letter that differs ("Crème" becomes "Crčme", "Kašeľ" "Kaše¾").
namespace CodePage {

enum Page { CentralEuropean, Western };

struct Guess
{
    Page page = CentralEuropean;
    // True when the names tell: none differs, or in one page some name
    // shows a sign where a letter belongs, or the letters of one page
    // stand where words have them far more often. False when the evidence
    // is thin: the operator is asked, `page` offered first.
    bool sure = false;
};

// Judges the text by what its words look like in each page. Looks at
// most at the first few MiB.
Guess guess(const QByteArray &text);

// "windows-1250" or "windows-1252", for QStringDecoder.
const char *codecName(Page page);
// "Windows-1250 (Central European)" or "Windows-1252 (Western European)".
const char *displayName(Page page);

} // namespace CodePage
