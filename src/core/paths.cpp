#include "paths.h"

#include <QFileInfo>

QString DefaultDatabase(const QString& machineRoot, const QString& userRoot)
{
    const QString shared = LiveFileUnder(machineRoot);
    return QFileInfo::exists(shared) ? shared : LiveFileUnder(userRoot);
}
