#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

// What the command-line tools share for writing to a terminal or a pipe.

/// `text` on one line: each control character (below 0x20, and 0x7f) becomes a blank.
[[nodiscard]] QString OneLine(QString text);

/// Writes `bytes` to `file` and flushes it.
void WriteAll(std::FILE* file, const QByteArray& bytes);

/// Writes "program: message" as one UTF-8 line to `file`, the way the tools report.
void WriteMessage(std::FILE* file, const char* program, const QString& message);
