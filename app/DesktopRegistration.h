#pragma once
// Registers ".frc" documents and the program with the desktop, under the
// user's data directory, so that double-clicking a document opens it here.

#include <QString>

// Writes the desktop entry (running `executable`), the MIME type and the
// icon where they are missing or differ, then asks the desktop's caches to
// refresh when anything changed. Returns the number of files written.
int RegisterWithDesktop(const QString& executable);
