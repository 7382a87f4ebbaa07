#pragma once
// The program's pictures from its resources, each with its 2x drawing when
// there is one, so that screens of any density get a sharp picture.

#include <QIcon>
#include <QString>

// `resource` names the 1x file, e.g. ":/icons/toolbar/new.png"; a sibling
// "new@2x.png" is added beside it. Qt finds such siblings by itself only when
// the screen is dense at the moment of loading; a window moved to a dense
// screen later would get a blown-up picture.
QIcon Picture(const QString& resource);

// The window icon of a document of type code `type` (0-3; others get 3).
QIcon KindPicture(int type);
