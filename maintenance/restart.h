#pragma once

// Ends the program and starts it again as a detached process with the same
// command line, so that everything is read afresh from the data files.
void restartApplication();
