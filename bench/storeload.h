#pragma once

class Presets;

// Store load and save against their goals, and the window's start-up.
void benchStores(bool quick);

// Presets as a maker's pool holds them: every field filled, accented names.
void fillPresets(Presets &presets, int count);
