#include "radicale.h"

#include "sync/dav_client.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <stdexcept>

Radicale::Radicale(const QString& folder, const QString& user, const QString& password) : m_folder(folder)
{
    if (!user.isEmpty()) {
        m_htpasswd = folder + QStringLiteral(".htpasswd");
        QFile file(m_htpasswd);
        if (!file.open(QIODevice::WriteOnly) || file.write((user + u':' + password + u'\n').toUtf8()) < 0)
            throw std::runtime_error("cannot write the htpasswd file");
    }
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("no free port on 127.0.0.1");
    m_port = probe.serverPort();
    probe.close();
    start();
    DavClient setup(url(), user, password);
    setup.send("MKCOL", url().resolved(QUrl(QStringLiteral(".."))), {}, {});
    setup.makeCalendar(url());
}

Radicale::~Radicale()
{
    stop();
}

void Radicale::start()
{
    QStringList arguments{QStringLiteral("--config="), QStringLiteral("--server-hosts=127.0.0.1:%1").arg(m_port),
                          QStringLiteral("--storage-filesystem-folder=%1").arg(m_folder),
                          QStringLiteral("--rights-type=authenticated"), QStringLiteral("--logging-level=warning")};
    if (m_htpasswd.isEmpty())
        arguments << QStringLiteral("--auth-type=none");
    else
        arguments << QStringLiteral("--auth-type=htpasswd") << QStringLiteral("--auth-htpasswd-filename=") + m_htpasswd
                  << QStringLiteral("--auth-htpasswd-encryption=plain");
    m_process.start(QStringLiteral("/usr/bin/radicale"), arguments);
    if (!m_process.waitForStarted(5000))
        throw std::runtime_error("radicale does not start (scripts/deps.sh installs it)");
    for (int attempt = 0; attempt < 100; ++attempt) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        if (socket.waitForConnected(100))
            return;
        if (m_process.state() == QProcess::NotRunning)
            break;
        QThread::msleep(50);
    }
    stop();
    throw std::runtime_error("radicale does not listen on 127.0.0.1 within 15 s");
}

void Radicale::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(2000);
}

QUrl Radicale::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/u/cal/").arg(m_port));
}
