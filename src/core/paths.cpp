#include "paths.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

QString DefaultDatabase(const QString& machineRoot, const QString& userRoot)
{
    const QString shared = LiveFileUnder(machineRoot);
    return QFileInfo::exists(shared) ? shared : LiveFileUnder(userRoot);
}

AppPaths InstalledPaths()
{
    return {QCoreApplication::applicationDirPath(), QStringLiteral("/var/lib"),
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)};
}
