#pragma once

#include <QString>

/// Where the shared event database lives below a data root (/var/lib, ~/.local/share).
inline constexpr char kDataSubfolder[] = "Quendrix/Quillmoor";
inline constexpr char kLiveFileName[] = "dbData.mdb";

/// Files that may lie in the program folder.
inline constexpr char kTemplateFileName[] = "dbBlank.mdb";
inline constexpr char kSkinFileName[] = "x/o.cjs";
inline constexpr char kCursorFileName[] = "HAND-M.CUR";

/// Folders the program works with, found once by main() and passed in, so tests
/// can point them at temporary folders.
struct AppPaths
{
    QString programFolder;   ///< holds the template database and the optional look files
    QString machineDataRoot; ///< shared by every user: /var/lib
    QString userDataRoot;    ///< fallback where the shared one cannot be written: ~/.local/share

    /// `name` in the program folder.
    [[nodiscard]] QString programFile(const char* name) const { return programFolder + u'/' + QLatin1String(name); }
};

/// The folders of this program as installed (or built): the folder of its executable,
/// /var/lib for every user, and the user's own data folder (~/.local/share).
[[nodiscard]] AppPaths InstalledPaths();

/// The live database file under a data root.
[[nodiscard]] inline QString LiveFileUnder(const QString& dataRoot)
{
    return dataRoot + u'/' + QLatin1String(kDataSubfolder) + u'/' + QLatin1String(kLiveFileName);
}

/// The database a tool reads when it is given none: the machine-wide live file under
/// `machineRoot` when that file exists, else the per-user one under `userRoot`, whether
/// or not it exists. Creates nothing.
[[nodiscard]] QString DefaultDatabase(const QString& machineRoot, const QString& userRoot);
