#pragma once

// Ends the program so that it starts again, as a detached process with the
// same command line, and reads everything afresh from the data files.
void restartApplication();

// Called by main once the window is gone and the data folder released:
// the new copy finds the folder free. True when a restart was asked for.
bool startAgainIfAsked();
