#pragma once

#include <QColor>

class QPalette;

// The colours of text the program picks itself. The desktop's palette may
// be light or dark, so a colour fixed for one of them can vanish on the
// other; every such text goes through here.
namespace TextColours {

// The least contrast a text keeps against what lies behind it.
constexpr double leastContrast = 4.5;

// How far apart two colours read, from 1 (the same) to 21 (black on white),
// by their relative luminance as the accessibility guidelines define it.
double contrast(const QColor &a, const QColor &b);

// Black or white, whichever reads better on `background`.
QColor on(const QColor &background);

// `wanted`, lightened or darkened no more than needed to read on
// `background`; its hue stays, so red still says red.
QColor readable(const QColor &wanted, const QColor &background);

// The red of a refusal (the reason an edit is not stored) on a widget
// whose background is `background`.
QColor refusal(const QColor &background);

} // namespace TextColours
