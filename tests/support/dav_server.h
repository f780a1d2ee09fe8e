#pragma once

#include <QProcess>
#include <QString>
#include <QUrl>

/// A real CalDAV server on 127.0.0.1 at a free port, storing in `folder`, with one empty calendar
/// collection at url(): Radicale (Debian `radicale`), without authentication or with the one user
/// `user` and `password` (htpasswd), or Xandikos (Debian `xandikos`), without. With `faults`, it
/// is reached through a reverse proxy (dav_front.py), and Radicale stores through
/// faulty_storage.py, both transparent until fault() names a fault. Stopped by process id.
/// Throws std::runtime_error when it does not start or listen within 15 s.
class DavServer
{
public:
    enum class Kind
    {
        Radicale,
        Xandikos,
    };
    explicit DavServer(const QString& folder, const QString& user = {}, const QString& password = {},
                       bool faults = false, Kind kind = Kind::Radicale);
    ~DavServer();
    DavServer(const DavServer&) = delete;
    DavServer& operator=(const DavServer&) = delete;

    /// Starts it again on the same port and storage after stop().
    void start();
    void stop();
    [[nodiscard]] QUrl url() const;
    [[nodiscard]] qint64 pid() const { return m_process.processId(); }
    /// The fault the proxy or the storage acts out from now on (see their files); empty: none.
    void fault(const QByteArray& what) const;
    [[nodiscard]] Kind kind() const { return m_kind; }
    /// The folder of url()'s items, one file each (Radicale).
    [[nodiscard]] QString collectionFolder() const { return m_folder + QStringLiteral("/collection-root/u/cal"); }

private:
    QString m_folder;
    QString m_htpasswd;     ///< empty: no authentication
    quint16 m_port = 0;     ///< the proxy's
    quint16 m_backPort = 0; ///< Radicale's
    bool m_faults = false;
    Kind m_kind;
    QProcess m_process;
    QProcess m_front;
};
