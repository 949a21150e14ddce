#include "images.h"

#include <QFile>

QIcon imageNamed(const QString &name)
{
    const QString path = QStringLiteral(":/zorbix/images/%1.svg").arg(name);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}
