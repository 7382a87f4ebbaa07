#pragma once
// The gradients a user can choose: the built-in gallery, then those the
// user saved, each a ".ggr" file in the program's data folder
// (QStandardPaths::AppDataLocation, "gradients").

#include <QList>
#include <QString>

#include "imaging/Gradient.h"

struct NamedGradient {
    QString name;
    Gradient gradient;
    bool saved = false; // the user's, not the gallery's
};

QString GradientLibraryFolder();
// The gallery, then the user's gradients by name; a file that does not
// read as a gradient is left out.
QList<NamedGradient> ListGradients();
// Writes `gradient` as "<name>.ggr" in the library, replacing one of that
// name; false with the reason.
bool SaveToLibrary(const QString& name, const Gradient& gradient, QString& error);
