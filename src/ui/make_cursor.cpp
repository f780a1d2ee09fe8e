// Turns the drawing resources/hand-cursor.txt into the Windows cursor file HAND-M.CUR
// that lies beside the program.
#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTextStream>
#include <QtEndian>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: quillmoor-mkcursor DRAWING.txt OUT.CUR\n");
        return 2;
    }
    QFile drawing(QString::fromLocal8Bit(argv[1]));
    if (!drawing.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    int hotX = 0, hotY = 0, row = 0;
    QTextStream in(&drawing);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.startsWith(u'#') && line.size() > 1 && line[1] == u' ')
            continue; // a comment
        if (line.startsWith(QLatin1String("hotspot "))) {
            const QStringList xy = line.split(u' ');
            hotX = xy.value(1).toInt();
            hotY = xy.value(2).toInt();
            continue;
        }
        for (int x = 0; x < std::min<int>(int(line.size()), 32) && row < 32; ++x) {
            if (line[x] == u'#')
                image.setPixel(x, row, qRgba(0, 0, 0, 255));
            else if (line[x] == u'.')
                image.setPixel(x, row, qRgba(255, 255, 255, 255));
        }
        ++row;
    }

    // Qt writes icons; a cursor is an icon of type 2 whose entry holds the hotspot
    // where an icon keeps its planes and bit count.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!QImageWriter(&buffer, "ico").write(image)) {
        std::fprintf(stderr, "cannot encode the cursor image\n");
        return 1;
    }
    QByteArray bytes = buffer.data();
    qToLittleEndian<quint16>(2, bytes.data() + 2);
    qToLittleEndian<quint16>(quint16(hotX), bytes.data() + 6 + 4);
    qToLittleEndian<quint16>(quint16(hotY), bytes.data() + 6 + 6);

    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
