#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The user's own files (settings, records of what was sent) sit in the user's folders, yet a
// FIFO, a device or a link to another user's file may stand in their place: opened like a
// plain file, a FIFO waits for ever for a writer.

/// Why `path` is not a usable file of this user's: not a regular file (a FIFO, a device, a
/// folder), or, also through a link, another user's. Nothing when it is usable or missing.
[[nodiscard]] std::optional<QString> OwnFileProblem(const QString& path);

/// The whole of `path`, opened so that nothing can make the open or the read wait: nothing
/// when it is missing. Throws std::runtime_error with a one-line reason when OwnFileProblem
/// finds one, when it is larger than `maxBytes` or when it cannot be read.
[[nodiscard]] std::optional<QByteArray> ReadOwnFile(const QString& path, qint64 maxBytes);
