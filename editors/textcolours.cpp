#include "editors/textcolours.h"

#include <QtMath>

namespace {

double channel(double value)
{
    return value <= 0.04045 ? value / 12.92 : qPow((value + 0.055) / 1.055, 2.4);
}

double luminance(const QColor &colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

// A hair above the least contrast, so that the rounding of a colour to
// whole channel values never takes it below.
constexpr double aimedContrast = TextColours::leastContrast + 0.1;

} // namespace

namespace TextColours {

double contrast(const QColor &a, const QColor &b)
{
    const double first = luminance(a) + 0.05;
    const double second = luminance(b) + 0.05;
    return first > second ? first / second : second / first;
}

QColor on(const QColor &background)
{
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return contrast(black, background) >= contrast(white, background) ? black : white;
}

QColor readable(const QColor &wanted, const QColor &background)
{
    if (contrast(wanted, background) >= aimedContrast)
        return wanted;
    // Towards white on a dark background, towards black on a light one.
    const bool lighter = on(background) == QColor(Qt::white);
    float hue = 0;
    float saturation = 0;
    float lightness = 0;
    wanted.toHsl().getHslF(&hue, &saturation, &lightness);
    constexpr float step = 0.01f;
    for (float shade = lightness; shade >= 0 && shade <= 1; shade += lighter ? step : -step) {
        const QColor tried = QColor::fromHslF(hue, saturation, shade).toRgb();
        if (contrast(tried, background) >= aimedContrast)
            return tried;
    }
    return on(background);
}

QColor refusal(const QColor &background)
{
    return readable(QColor(170, 0, 0), background);
}

} // namespace TextColours
