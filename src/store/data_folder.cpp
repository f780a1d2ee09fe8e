#include "data_folder.h"

#include "core/paths.h"
#include "event_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// Creates root/Quendrix/Quillmoor. Every user of the machine shares the folder, and
// SQLite writes its journal beside the file, so the folder must be writable by all.
bool makeSharedFolder(const QString& root, QString& folder)
{
    QDir dir(root);
    for (const QString& part : QString::fromLatin1(kDataSubfolder).split(u'/')) {
        if (!dir.exists(part)) {
            if (!dir.mkdir(part))
                return false;
            QFile::setPermissions(dir.filePath(part),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                      QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                      QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
        }
        if (!dir.cd(part))
            return false;
    }
    folder = dir.absolutePath();
    return true;
}

bool usable(const QString& folder)
{
    const QFileInfo live(QDir(folder).filePath(QLatin1String(kLiveFileName)));
    if (live.exists())
        return true; // even a folder in its place: opening it reports that
    return QFileInfo(folder).isWritable();
}

} // namespace

DataFolder PrepareDataFolder(const QString& machineRoot, const QString& userRoot, const QString& templateFile)
{
    DataFolder data;
    if (!makeSharedFolder(machineRoot, data.folder) || !usable(data.folder)) {
        QDir().mkpath(userRoot);
        if (!makeSharedFolder(userRoot, data.folder) || !usable(data.folder))
            throw StoreError(
                QStringLiteral("Cannot create a data folder in %1 or in %2.").arg(machineRoot, userRoot).toStdString());
    }
    data.liveFile = QDir(data.folder).filePath(QLatin1String(kLiveFileName));
    if (QFileInfo::exists(data.liveFile))
        return data;

    if (QFileInfo::exists(templateFile)) {
        if (!QFile::copy(templateFile, data.liveFile))
            throw StoreError(QStringLiteral("Cannot copy %1 to %2.").arg(templateFile, data.liveFile).toStdString());
    } else {
        CreateEventDatabase(data.liveFile);
    }
    QFile::setPermissions(data.liveFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                             QFileDevice::WriteGroup | QFileDevice::ReadOther |
                                             QFileDevice::WriteOther);
    return data;
}
