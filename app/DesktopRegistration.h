#pragma once
// Registers ".frc" documents and the program with the desktop, under the
// user's data directory, so that double-clicking a document opens it here.

#include <QByteArray>
#include <QString>
#include <QUrl>

// Writes the desktop entry (running `executable`), the MIME type and the
// icon where they are missing or differ, then asks the desktop's caches to
// refresh when anything changed. Returns the number of files written.
int RegisterWithDesktop(const QString& executable);

// The bytes of a resource (or any file); empty when it cannot be read.
QByteArray ResourceBytes(const QString& path);
// Writes `bytes` to `path` (atomically, making its folder) unless the file
// already holds them or `bytes` is empty. True when the file was written.
bool WriteIfChanged(const QString& path, const QByteArray& bytes);

// The project's own page, shipped inside the program and written under the
// user's data directory when it is missing or out of date, so a browser can
// open it offline. Empty when there is nowhere to write it.
QUrl ProjectPage();
