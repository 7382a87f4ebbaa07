#include "document/FileFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {
const char* const kKey = "Settings/LastFolder";
}

QString LastFolder()
{
    const QString folder = QSettings().value(kKey).toString();
    // A folder removed since would leave the dialog nowhere.
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void RememberFolder(const QString& chosenPath)
{
    if (!chosenPath.isEmpty())
        QSettings().setValue(kKey, QFileInfo(chosenPath).absolutePath());
}

QString SuggestedPath(QString name)
{
    name.replace('/', '_').replace('\\', '_');
    const QString folder = LastFolder();
    return folder.isEmpty() ? name : QDir(folder).filePath(name);
}
