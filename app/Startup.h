#pragma once

class ZilApplication;

// Creates the windows in the program's order (main window first, then the editor and the about
// window, hidden) and runs the event loop until the program ends.
int runProgram(ZilApplication &app);
