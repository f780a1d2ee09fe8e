// New event database files: the template beside the program, and the first live file.
#include "event_rows.h"
#include "event_store.h"
#include "safe_open.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

void CreateEventDatabase(const QString& fileName)
{
    if (QFileInfo::exists(fileName))
        throw StoreError(QStringLiteral("%1 already exists.").arg(fileName));
    InstallSafeOpen();
    try {
        const sqlite::Connection db(fileName, sqlite::Connection::Mode::Create);
        db.exec(rows::statements().schema);
    } catch (const StoreError& e) {
        QFile::remove(fileName);
        throw StoreError(QStringLiteral("Cannot create %1: %2").arg(fileName, QString::fromUtf8(e.what())));
    }
}

QByteArray EmptyEventDatabase()
{
    try {
        const sqlite::Connection db(QStringLiteral(":memory:"), sqlite::Connection::Mode::Create);
        db.exec(rows::statements().schema);
        sqlite3_int64 size = 0;
        unsigned char* image = sqlite3_serialize(db.handle(), "main", &size, 0);
        if (!image)
            throw StoreError("out of memory");
        const QByteArray bytes(reinterpret_cast<const char*>(image), qsizetype(size));
        sqlite3_free(image);
        return bytes;
    } catch (const StoreError& e) {
        throw StoreError(QStringLiteral("Cannot make an empty event database: %1").arg(QString::fromUtf8(e.what())));
    }
}
