#pragma once

#include <QByteArray>

// Which Windows code page an 8-bit text (one that is not UTF-8) is in:
// spreadsheets in Central Europe write Windows-1250, in Western Europe
// Windows-1252, and the same bytes read in the other one garble every
// accented letter ("Crème" becomes "Crčme").
namespace CodePage {

enum Page { CentralEuropean, Western };

struct Guess
{
    Page page = CentralEuropean;
    // False when the text gives too little to tell (a few short names):
    // the operator is asked.
    bool sure = false;
};

Guess guess(const QByteArray &text);

// "windows-1250" or "windows-1252", for QStringDecoder.
const char *codecName(Page page);
// "Windows-1250 (Central European)" or "Windows-1252 (Western European)".
const char *displayName(Page page);

} // namespace CodePage
