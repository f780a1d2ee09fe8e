#include "look.h"

#include "core/paths.h"
#include "window_kit.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QMouseEvent>
#include <QRadioButton>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A cursor is a few kilobytes; anything this large is not one.
constexpr qint64 kMaxCursorBytes = 1 << 20;
constexpr qint64 kMaxSkinBytes = 1 << 20;

[[noreturn]] void notACursor(const QString& fileName, const QString& why)
{
    throw std::runtime_error(
        QStringLiteral("%1 is not a usable cursor file: %2.").arg(QFileInfo(fileName).fileName(), why).toStdString());
}

// Opened without blocking: a FIFO or a device in a look file's place must not hold up start-up.
QByteArray readSmallFile(const QString& fileName, qint64 limit, const char* what)
{
    const auto cannotRead = [&](const QString& why) {
        return std::runtime_error(
            QStringLiteral("Cannot read the %1 %2: %3").arg(QLatin1String(what), fileName, why).toStdString());
    };
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw cannotRead(QString::fromLocal8Bit(std::strerror(errno)));
    QFile file;
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw cannotRead(QStringLiteral("it is not a regular file"));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw cannotRead(file.errorString());
    }
    if (file.size() > limit)
        throw std::runtime_error(QStringLiteral("The %1 %2 is larger than %3 bytes.")
                                     .arg(QLatin1String(what), fileName)
                                     .arg(limit)
                                     .toStdString());
    return file.read(limit + 1);
}

quint16 u16At(const QByteArray& bytes, qint64 at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}
quint32 u32At(const QByteArray& bytes, qint64 at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

bool isBusy(const QWidget& window)
{
    const Qt::CursorShape shape = window.cursor().shape();
    return shape == Qt::WaitCursor || shape == Qt::BusyCursor;
}

} // namespace

QIcon ProgramIcon()
{
    // The icon lives in this static library's resources, which are only linked in when asked for.
    Q_INIT_RESOURCE(quillmoor);
    return QIcon(QStringLiteral(":/quillmoor.svg"));
}

void UseButtonFace(QWidget& window)
{
    const QColor face = QApplication::palette().color(QPalette::Button);
    const auto paint = [&face](QWidget& widget) {
        QPalette palette = widget.palette();
        palette.setColor(QPalette::Window, face);
        widget.setPalette(palette);
    };
    paint(window);
    window.setAutoFillBackground(true);
    for (QWidget* child : window.findChildren<QWidget*>()) {
        if (qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child) || qobject_cast<QGroupBox*>(child) ||
            qobject_cast<QLabel*>(child))
            paint(*child);
    }
}

QCursor ReadCursorFile(const QString& fileName)
{
    const QByteArray bytes = readSmallFile(fileName, kMaxCursorBytes, "cursor file");
    // The directory: reserved 0, type 2 (cursor), a count; then 16-byte entries.
    constexpr qint64 kHeader = 6, kEntry = 16;
    if (bytes.size() < kHeader + kEntry)
        notACursor(fileName, QStringLiteral("it is too short"));
    if (u16At(bytes, 0) != 0 || u16At(bytes, 2) != 2 || u16At(bytes, 4) == 0)
        notACursor(fileName, QStringLiteral("it has no cursor directory"));
    const int width = quint8(bytes[kHeader]) == 0 ? 256 : quint8(bytes[kHeader]);
    const int height = quint8(bytes[kHeader + 1]) == 0 ? 256 : quint8(bytes[kHeader + 1]);
    const int hotX = u16At(bytes, kHeader + 4);
    const int hotY = u16At(bytes, kHeader + 6);
    const qint64 size = u32At(bytes, kHeader + 8);
    const qint64 offset = u32At(bytes, kHeader + 12);
    if (size == 0 || offset < kHeader + kEntry || offset + size > bytes.size())
        notACursor(fileName, QStringLiteral("its image lies outside the file"));
    if (hotX >= width || hotY >= height)
        notACursor(fileName, QStringLiteral("its hotspot lies outside the image"));

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    const QImage image = reader.read();
    if (image.isNull())
        notACursor(fileName, reader.errorString());
    return QCursor(QPixmap::fromImage(image), std::min(hotX, image.width() - 1), std::min(hotY, image.height() - 1));
}

std::optional<QCursor> LoadHandCursor(const AppPaths& paths)
{
    const QString file = paths.programFile(kCursorFileName);
    if (!QFileInfo::exists(file))
        return std::nullopt;
    try {
        return ReadCursorFile(file);
    } catch (const std::runtime_error&) {
        // Every window loads the pointer; one report of a broken file is enough for the run.
        static std::mutex lock;
        static QSet<QString> reported;
        const std::lock_guard guard(lock);
        if (reported.contains(file))
            return std::nullopt;
        reported.insert(file);
        throw;
    }
}

void ApplySkin(QWidget& window, const AppPaths& paths)
{
    const QString file = paths.programFile(kSkinFileName);
    if (!QFileInfo::exists(file))
        return;
    UseButtonFace(window);
    window.setStyleSheet(QString::fromUtf8(readSmallFile(file, kMaxSkinBytes, "skin")));
}

Hover::Hover(QWidget& window) : QObject(&window), m_window(window)
{}

void Hover::watch(QWidget* widget)
{
    widget->setMouseTracking(true);
    widget->installEventFilter(this);
}

void Hover::handOver(std::initializer_list<QWidget*> buttons)
{
    for (QWidget* button : buttons) {
        m_buttons.insert(button);
        watch(button);
    }
}

void Hover::arrowOver(std::initializer_list<QWidget*> elements)
{
    for (QWidget* element : elements)
        watch(element);
}

bool Hover::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseMove)
        return false;
    // A move a child ignored reaches its parent too; only the element under the pointer counts.
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->childAt(static_cast<QMouseEvent*>(event)->position().toPoint()))
        return false;
    if (isBusy(m_window))
        return false;
    if (m_buttons.contains(watched))
        m_window.setCursor(m_hand);
    else
        m_window.unsetCursor();
    return false;
}

void PrepareDialog(kit::FormDialog& dialog, const AppPaths& paths)
{
    // A skin's style sheet on the main window reaches its dialogs too, and under a style
    // sheet a control takes the application's font rather than its window's.
    for (QWidget* control : dialog.findChildren<QWidget*>()) {
        if (!control->testAttribute(Qt::WA_SetFont))
            control->setFont(dialog.font());
    }
    UseButtonFace(dialog);
    dialog.setWindowIcon(ProgramIcon());
    dialog.hover().setHand(LoadHandCursor(paths));
}
