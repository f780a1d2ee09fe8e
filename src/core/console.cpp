#include "console.h"

QString OneLine(QString text)
{
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u' ';
    }
    return text;
}

void WriteAll(std::FILE* file, const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), file);
    std::fflush(file);
}

void WriteMessage(std::FILE* file, const char* program, const QString& message)
{
    WriteAll(file, QByteArray(program) + ": " + OneLine(message).toUtf8() + '\n');
}
