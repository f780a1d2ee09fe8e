// fake-notifier: a notification service on the session bus that shows nothing, so that
// bench/remind_memory.sh can run the reminder agent as it runs on a desktop.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

class Notifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public slots:
    QStringList GetCapabilities() { return {QStringLiteral("body"), QStringLiteral("actions")}; }
    uint Notify(const QString&, uint, const QString&, const QString&, const QString&, const QStringList&,
                const QVariantMap&, int)
    {
        return ++m_shown;
    }

private:
    uint m_shown = 0;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Notifications service;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.Notifications")))
        return 1;
    return QCoreApplication::exec();
}

#include "fake_notifier.moc"
