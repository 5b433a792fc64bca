#pragma once

// Starts the terminal: creates the application and the main window, shows it centred and runs
// until the window is closed. Returns the program's exit code.
int runTerminal(int argc, char** argv);
