#pragma once
// Where the file dialogs start: in the folder the user last chose a file in
// (kept in the settings across runs), with the document's name suggested.

#include <QString>

QString LastFolder();
// Remembers the folder of a chosen file; an empty path (a cancelled dialog)
// changes nothing.
void RememberFolder(const QString& chosenPath);
// `name` (a document's title and an extension) in the last folder. Path
// separators in the title would point elsewhere, so they become '_'.
QString SuggestedPath(QString name);
