#pragma once

#include <QString>
#include <QUrl>

// The desktop's Secret Service through qtkeychain: one password per collection and user.

/// The stored password, or empty when none is stored or no Secret Service answers.
[[nodiscard]] QString ReadStoredPassword(const QUrl& collection, const QString& user);
/// Asks for the password on the terminal (without echo) and stores it; throws SyncError.
void AskAndStorePassword(const QUrl& collection, const QString& user);
