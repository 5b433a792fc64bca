#pragma once

// Starts the terminal: creates the application and the main window, shows it centred and runs
// until the window is closed. Returns the program's exit code.
int runTerminal(int argc, char** argv);

// Gives the application the look all the terminal's windows share: the style, and the main
// window's font for every window, menu, tool tip and message box. Needs the application object.
void applyTerminalLook();
