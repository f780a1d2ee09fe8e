#include "radicale.h"

#include "sync/dav_client.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <stdexcept>

Radicale::Radicale(const QString& folder) : m_folder(folder)
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("no free port on 127.0.0.1");
    m_port = probe.serverPort();
    probe.close();
    start();
    DavClient setup(url(), {}, {});
    setup.send("MKCOL", url().resolved(QUrl(QStringLiteral(".."))), {}, {});
    setup.makeCalendar(url());
}

Radicale::~Radicale()
{
    stop();
}

void Radicale::start()
{
    m_process.start(QStringLiteral("/usr/bin/radicale"),
                    {QStringLiteral("--config="), QStringLiteral("--server-hosts=127.0.0.1:%1").arg(m_port),
                     QStringLiteral("--storage-filesystem-folder=%1").arg(m_folder), QStringLiteral("--auth-type=none"),
                     QStringLiteral("--rights-type=authenticated"), QStringLiteral("--logging-level=warning")});
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
