#include "document/Pictures.h"

#include <QFile>

QIcon Picture(const QString& resource)
{
    QIcon icon;
    icon.addFile(resource);
    QString dense = resource;
    dense.insert(dense.lastIndexOf('.'), "@2x");
    if (QFile::exists(dense))
        icon.addFile(dense);
    return icon;
}

QIcon KindPicture(int type)
{
    return Picture(QString(":/icons/type-%1.png").arg(type >= 0 && type <= 3 ? type : 3));
}
