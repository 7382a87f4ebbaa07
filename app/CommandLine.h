#pragma once
// What the program's command line says before anything needs a display:
// the usage and version texts, and the window form's options.

#include <QString>

// The whole usage: the window form and the --render and --animate forms
// with every option.
QString UsageText();
// One line naming the program and its version.
QString VersionText();

// Reads the window form's command line (argv as main has it) without
// opening a display. Prints the usage or the version to stdout and returns
// 0 for --help or --version; prints one line to stderr and returns 2 for
// an option it does not know, or a platform option without its value;
// returns -1 when the window may start. Files are left to the window, and
// the platform's own options (-platform NAME, -style NAME, ...) to Qt.
int CheckWindowCommandLine(int argc, const char* const* argv);
