#include "ui/columnwidths.h"

#include <algorithm>

namespace ColumnWidths {

QList<int> presetList(int tableWidth)
{
    // The description keeps a readable width before the name grows.
    constexpr int description = 250;
    const int w = tableWidth - 1;
    const int name = std::clamp(w - 299 - description, 300, 600);
    return {name, 80, std::max(0, w - name - 299), 90, 80};
}

QList<int> programList(int tableWidth)
{
    const int w = tableWidth - 1;
    int name = 300;
    int b = 460;
    if (w >= 1099) {
        name = (w - 199) / 3;
        b = name + 160;
    }
    return {name, 80, std::max(0, w - 39 - b), 80};
}

QList<int> clientList(int tableWidth)
{
    const int w = tableWidth - 1 - 39;
    int address = 400;
    int notes = w - 650;
    if (w < 750) {
        address = 250;
        notes = w - 500;
    } else if (w < 1203) {
        address = w / 3;
        notes = w - (w / 3 + 250);
    }
    return {250, address, std::max(300, notes)};
}

QList<int> historyList(int tableWidth, int dateWidth)
{
    const int date = std::max(100, dateWidth);
    return {date, std::max(300, tableWidth - date - 50)};
}

} // namespace ColumnWidths
