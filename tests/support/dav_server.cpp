#include "dav_server.h"

#include "sync/dav_client.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <stdexcept>

DavServer::DavServer(const QString& folder, const QString& user, const QString& password, bool faults, Kind kind)
    : m_folder(folder), m_faults(faults), m_kind(kind)
{
    if (!user.isEmpty()) {
        m_htpasswd = folder + QStringLiteral(".htpasswd");
        QFile file(m_htpasswd);
        if (!file.open(QIODevice::WriteOnly) || file.write((user + u':' + password + u'\n').toUtf8()) < 0)
            throw std::runtime_error("cannot write the htpasswd file");
    }
    QTcpServer probes[2];
    for (QTcpServer& probe : probes) {
        if (!probe.listen(QHostAddress::LocalHost, 0))
            throw std::runtime_error("no free port on 127.0.0.1");
    }
    m_port = probes[0].serverPort();
    m_backPort = faults ? probes[1].serverPort() : m_port;
    for (QTcpServer& probe : probes)
        probe.close();
    start();
    DavClient setup(url(), user, password);
    setup.send("MKCOL", url().resolved(QUrl(QStringLiteral(".."))), {}, {});
    setup.makeCalendar(url());
}

DavServer::~DavServer()
{
    stop();
}

void DavServer::start()
{
    QStringList arguments{QStringLiteral("--config="), QStringLiteral("--server-hosts=127.0.0.1:%1").arg(m_backPort),
                          QStringLiteral("--storage-filesystem-folder=%1").arg(m_folder),
                          QStringLiteral("--rights-type=authenticated"), QStringLiteral("--logging-level=warning")};
    if (m_htpasswd.isEmpty())
        arguments << QStringLiteral("--auth-type=none");
    else
        arguments << QStringLiteral("--auth-type=htpasswd") << QStringLiteral("--auth-htpasswd-filename=") + m_htpasswd
                  << QStringLiteral("--auth-htpasswd-encryption=plain");
    if (m_kind == Kind::Xandikos)
        arguments = QStringList{QStringLiteral("-d"),           m_folder,
                                QStringLiteral("--autocreate"), QStringLiteral("-l"),
                                QStringLiteral("127.0.0.1"),    QStringLiteral("-p"),
                                QString::number(m_backPort)};
    if (m_faults) {
        if (m_kind == Kind::Radicale)
            arguments << QStringLiteral("--storage-type=faulty_storage");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PYTHONPATH"), QStringLiteral(QUILLMOOR_TEST_SUPPORT_DIR));
        m_process.setProcessEnvironment(environment);
        m_front.start(QStringLiteral("/usr/bin/python3"),
                      {QStringLiteral(QUILLMOOR_TEST_SUPPORT_DIR "/dav_front.py"), QString::number(m_port),
                       QString::number(m_backPort), m_folder + QStringLiteral(".fault")});
    }
    const QString program = m_kind == Kind::Radicale ? QStringLiteral("radicale") : QStringLiteral("xandikos");
    m_process.start(QStringLiteral("/usr/bin/") + program, arguments);
    if (!m_process.waitForStarted(5000) || (m_faults && !m_front.waitForStarted(5000)))
        throw std::runtime_error(program.toStdString() + " does not start (scripts/deps.sh installs it)");
    for (int attempt = 0, up = 0; attempt < 100; ++attempt) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, up ? m_port : m_backPort);
        if (socket.waitForConnected(100) && ++up == (m_faults ? 2 : 1))
            return;
        if (m_process.state() == QProcess::NotRunning || (m_faults && m_front.state() == QProcess::NotRunning))
            break;
        QThread::msleep(50);
    }
    stop();
    throw std::runtime_error(program.toStdString() + " does not listen on 127.0.0.1 within 15 s");
}

void DavServer::stop()
{
    for (QProcess* process : {&m_front, &m_process}) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->terminate();
        if (!process->waitForFinished(5000))
            process->kill();
        process->waitForFinished(2000);
    }
}

void DavServer::fault(const QByteArray& what) const
{
    QFile trigger(m_folder + QStringLiteral(".fault"));
    if (what.isEmpty() ? trigger.exists() && !trigger.remove()
                       : !trigger.open(QIODevice::WriteOnly) || trigger.write(what) < 0)
        throw std::runtime_error("cannot write the fault trigger");
}

QUrl DavServer::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/u/cal/").arg(m_port));
}
