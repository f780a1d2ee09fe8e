#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

// What the command-line tools share for writing to a terminal or a pipe.

/// `text` on one line: each control character (below 0x20, and 0x7f) becomes a blank.
[[nodiscard]] QString OneLine(QString text);

/// Writes `bytes` to standard output `out` and flushes it. Throws std::runtime_error with a
/// one-line message when `out` is null (the tool was started with it closed) or a write or
/// the flush fails (a full disk, a device that takes nothing): lost output is no success.
void WriteAll(std::FILE* out, const QByteArray& bytes);

/// What a tool answers to --version: "program VERSION" on one line.
[[nodiscard]] QByteArray VersionLine(const char* program);

/// Writes "program: message" as one UTF-8 line to `err`, the way the tools report. Nothing
/// when `err` is null; a failure to write it has nowhere left to be told and is ignored.
void WriteMessage(std::FILE* err, const char* program, const QString& message);

/// The standard streams of a tool; each that was closed when the tool started is null.
struct StandardStreams
{
    std::FILE* in;
    std::FILE* out;
    std::FILE* err;
};

/// Call first in main, before anything opens a file: each closed standard descriptor is
/// given /dev/null, so that no file opened later takes its number (and is read as the input
/// or written as the output), and comes back null.
[[nodiscard]] StandardStreams OpenStandardStreams();

/// Closes `out` at the end of a run that ended with `status`: when what it still held cannot
/// be written, a status of 0 or 1 becomes 2, after one line on `err`.
[[nodiscard]] int CloseOutput(int status, std::FILE* out, std::FILE* err, const char* program);
