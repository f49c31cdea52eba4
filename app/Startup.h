#pragma once

// Start-up: runProgram creates the three windows, wires them and runs the program.

#include <functional>

class TfrmAbout;
class TfrmDuzenleme;
class TfrmMenu;
class ZilApplication;

// Creates the windows in the program's order (main window first, then the editor and the about
// window, hidden) and runs the event loop until the program ends. `online` tells whether the
// machine has a connection.
int runProgram(ZilApplication &app, const std::function<bool()> &online);

// Hands the main window's new, edit and about commands to the editor and the about window.
void connectWindows(TfrmMenu &frmMenu, TfrmDuzenleme &frmDuzenleme, TfrmAbout &frmAbout);
