#pragma once

// Store load and save against their goals, and the window's start-up.
void benchStores(bool quick);
