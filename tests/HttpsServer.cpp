#include "tests/HttpsServer.h"

#include <QFile>
#include <QSemaphore>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>

namespace {

QByteArray testData(const char *name)
{
    QFile file(QStringLiteral(QUILLET_TEST_DATA "/data/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("Cannot read the test certificate file %s", name);
    return file.readAll();
}

} // namespace

QSslCertificate HttpsServer::certificate()
{
    return QSslCertificate(testData("localhost.crt"), QSsl::Pem);
}

void HttpsServer::trustCertificate()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificate(certificate());
    QSslConfiguration::setDefaultConfiguration(configuration);
}

HttpsServer::HttpsServer(Handler handler) : m_handler(std::move(handler))
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(certificate());
    configuration.setPrivateKey(QSslKey(testData("localhost.key"), QSsl::Rsa, QSsl::Pem));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);

    QSemaphore listening;
    auto *server = new QSslServer;
    server->setSslConfiguration(configuration);
    server->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, server, &QObject::deleteLater);
    m_thread.start();
    QMetaObject::invokeMethod(
        server,
        [this, server, &listening] {
            if (!server->listen(QHostAddress::LocalHost))
                qFatal("The HTTPS test server cannot listen");
            m_port = server->serverPort();
            serve(server);
            listening.release();
        },
        Qt::QueuedConnection);
    listening.acquire();
}

HttpsServer::~HttpsServer()
{
    m_thread.quit();
    m_thread.wait();
}

void HttpsServer::setHandler(Handler handler)
{
    std::lock_guard guard(m_lock);
    m_handler = std::move(handler);
}

QString HttpsServer::url(const QString &path) const
{
    return QStringLiteral("https://127.0.0.1:%1").arg(m_port) + path;
}

QList<QByteArray> HttpsServer::requests() const
{
    std::lock_guard guard(m_lock);
    return m_requests;
}

void HttpsServer::clearRequests()
{
    std::lock_guard guard(m_lock);
    m_requests.clear();
}

void HttpsServer::serve(QSslServer *server)
{
    // Connections join the queue once their handshake is done.
    QObject::connect(server, &QTcpServer::pendingConnectionAvailable, server, [this, server] {
        while (QTcpSocket *socket = server->nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            const auto answer = [this, socket] {
                if (!socket->peek(socket->bytesAvailable()).contains("\r\n\r\n"))
                    return;
                const QByteArray line = socket->readAll().split('\r').first();
                const QByteArray target = line.split(' ').value(1);
                Handler handler;
                int index = 0;
                {
                    std::lock_guard guard(m_lock);
                    index = int(m_requests.size());
                    m_requests.append(target);
                    handler = m_handler;
                }
                Reply reply;
                if (handler)
                    reply = handler(target, index);
                else
                    reply.status = 404;
                if (reply.hang)
                    return;
                QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) +
                    " Status\r\nConnection: close\r\n";
                bool lengthGiven = false;
                for (const auto &[name, value] : reply.headers) {
                    lengthGiven =
                        lengthGiven || name.compare("Content-Length", Qt::CaseInsensitive) == 0;
                    head += name + ": " + value + "\r\n";
                }
                if (reply.sendLength && !lengthGiven)
                    head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
                socket->write(head + "\r\n" + reply.body);
                socket->disconnectFromHost();
            };
            QObject::connect(socket, &QTcpSocket::readyRead, socket, answer);
            // The request may have come with the end of the handshake.
            if (socket->bytesAvailable() > 0)
                answer();
        }
    });
}
