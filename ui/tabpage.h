#pragma once

// One tab of the main window. The window routes tab changes and its 250 ms
// tick to the page of the tab shown; the page keeps that tab's behaviour.
class TabPage
{
public:
    virtual ~TabPage() = default;

    virtual void enter() {}    // the tab becomes the shown one
    virtual void leave() {}    // commits and saves what the tab edits
    virtual void refresh() {}  // every UI tick while the tab is shown
};
