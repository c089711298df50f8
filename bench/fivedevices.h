#pragma once

// Five tavik-sim devices on 127.0.0.1 to 127.0.0.5 driven by the device tick:
// CPU share of one core and item-boundary-to-REQ_SET_LF latency. Binds the
// fixed ports 8888 and 11000: run it in a network namespace of its own.
void benchFiveDevices(bool quick);

// The same five devices in the real window with the Tavik tab shown and
// every device's log full: the CPU the window costs, idle and transmitting.
void benchWindowDevices(bool quick);

// The longest the window's thread is held while a run's end is written into
// the history of a client that is not open, one with 100 000 entries.
void benchRunEndHistory(bool quick);
