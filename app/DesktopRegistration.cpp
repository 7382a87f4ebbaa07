#include "app/DesktopRegistration.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

QByteArray ResourceBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteIfChanged(const QString& path, const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return false;
    QFile old(path);
    if (old.open(QIODevice::ReadOnly) && old.readAll() == bytes)
        return false;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.commit();
}

namespace {

void Refresh(const QString& program, const QString& dir)
{
    const QString tool = QStandardPaths::findExecutable(program);
    if (!tool.isEmpty())
        QProcess::startDetached(tool, {dir});
}

} // namespace

int RegisterWithDesktop(const QString& executable)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return 0;
    QByteArray entry = ResourceBytes(":/desktop/quillion.desktop");
    // The entry runs this very program, wherever it was built or installed.
    QString quoted = executable;
    quoted.replace("\\", "\\\\").replace("\"", "\\\"");
    entry.replace("Exec=quillion %f", ("Exec=\"" + quoted + "\" %f").toUtf8());

    int written = 0;
    const bool entryChanged = WriteIfChanged(data + "/applications/quillion.desktop", entry);
    const bool mimeChanged =
        WriteIfChanged(data + "/mime/packages/quillion-frc.xml", ResourceBytes(":/desktop/quillion-frc.xml"));
    for (int size : {16, 32, 48, 64, 128, 256})
        written += WriteIfChanged(QString("%1/icons/hicolor/%2x%2/apps/quillion.png").arg(data).arg(size),
                                  ResourceBytes(QString(":/icons/quillion-%1.png").arg(size)));
    written += entryChanged + mimeChanged;
    if (mimeChanged)
        Refresh("update-mime-database", data + "/mime");
    if (entryChanged)
        Refresh("update-desktop-database", data + "/applications");
    return written;
}

QUrl ProjectPage()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (dir.isEmpty())
        return {};
    const QString page = dir + "/site/index.html";
    WriteIfChanged(page, ResourceBytes(":/site/index.html"));
    WriteIfChanged(dir + "/site/main-window.png", ResourceBytes(":/site/main-window.png"));
    if (!QFile::exists(page))
        return {};
    return QUrl::fromLocalFile(page);
}
