#pragma once

// The files of the shared event database can be put in place by any user of the machine.
// These two guards keep such a user from freezing or locking out the others.

#include <QString>

/// Makes every open that SQLite does in this process refuse a symbolic link and anything
/// that is not a regular file or a folder (a FIFO, a socket, a device), without blocking
/// on it: the refused open fails, so SQLite reports "unable to open" instead of waiting for
/// ever. SQLite's own reads of /dev/urandom and /dev/null stay allowed. A write-ahead log
/// ("...-wal") beside a database in rollback mode goes unseen. Call before opening a
/// connection; later calls do nothing.
void InstallSafeOpen();

/// Checks the journal SQLite keeps beside `databaseFile` ("...-journal") before the file
/// is opened, and throws StoreError with a message for a person when it is not a regular
/// file, or, for a database others may write in a sticky folder (the shared one), when it
/// is owned by a user other than the folder's owner and this one, cannot be read and
/// written by this user, or is missing while the folder is another's (the first writer
/// would own it). Does nothing when the database itself is missing, or is a link (opening
/// reports both).
void CheckJournal(const QString& databaseFile);

/// The command that prepares the shared folder again, for messages.
inline constexpr char kMendCommand[] = "sudo dpkg-reconfigure quillmoor";
