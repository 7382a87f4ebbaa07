#include "document/Pictures.h"

#include <QFile>

#include "model/FractalKinds.h"

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
    // The picture of the kind the type makes.
    return Picture(QString(":/icons/type-%1.png").arg(KindOfType(type).type));
}
