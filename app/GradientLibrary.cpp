#include "app/GradientLibrary.h"

#include <QDir>
#include <QStandardPaths>

#include <algorithm>

#include "document/FileReplacement.h"
#include "imaging/GradientFiles.h"
#include "imaging/GradientGallery.h"

namespace {

// A name as a file name: no folder separators, no leading dot, not empty.
QString FileNameOf(const QString& name)
{
    QString file = name.trimmed();
    for (QChar& c : file)
        if (c == '/' || c == '\\' || c.category() == QChar::Other_Control)
            c = '_';
    if (file.startsWith('.'))
        file.prepend('_');
    return file.isEmpty() ? QString("Gradient") : file;
}

} // namespace

QString GradientLibraryFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/gradients";
}

QList<NamedGradient> ListGradients()
{
    QList<NamedGradient> list;
    for (const GalleryGradient& g : GradientGallery())
        list.append({QString::fromUtf8(g.name), g.gradient, false});
    QList<NamedGradient> saved;
    const QDir folder(GradientLibraryFolder());
    for (const QFileInfo& file : folder.entryInfoList({"*.ggr"}, QDir::Files | QDir::Readable, QDir::Name)) {
        const GradientFileResult r = ReadGradientFile(file.filePath().toStdString());
        if (r.ok)
            saved.append({file.completeBaseName(), r.gradient, true});
    }
    std::stable_sort(saved.begin(), saved.end(), [](const NamedGradient& a, const NamedGradient& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return list + saved;
}

bool SaveToLibrary(const QString& name, const Gradient& gradient, QString& error)
{
    const QString folder = GradientLibraryFolder();
    if (!QDir().mkpath(folder)) {
        error = QString("Cannot make the folder \"%1\".").arg(folder);
        return false;
    }
    const QString path = folder + "/" + FileNameOf(name) + ".ggr";
    std::string why;
    if (!WriteFileAtomically(path.toStdString(), WriteGgr(gradient, name.trimmed().toStdString()), why)) {
        error = QString::fromStdString(why);
        return false;
    }
    return true;
}
