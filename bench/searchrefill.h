#pragma once

// The preset list as the user sees it: one keystroke in its search field
// until the list is refilled and painted, and a switch to a large pool.
// Needs a QApplication; `offscreen` is the platform unless one is chosen.
namespace SearchRefillBench {

void chooseOffscreenPlatform();
void run(bool quick);

} // namespace SearchRefillBench
