// The console's start: headless ("-H", or no display) or with its windows.
#pragma once

#include "app/commandline.h"

namespace kel {

// Runs the print server console to its end and returns the program's exit
// status (0 after SHUTDOWN or Exit, 1 when the start-up refused). Creates
// the application object itself: a QGuiApplication on the offscreen
// platform when headless, a QApplication otherwise.
int runConsole(int argc, char **argv, const CommandLine &commandLine);

} // namespace kel
