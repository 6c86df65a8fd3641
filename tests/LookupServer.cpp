#include "tests/LookupServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>

LookupServer::LookupServer(Handler handler) : m_handler(std::move(handler))
{
    QSemaphore listening;
    auto *server = new QTcpServer;
    server->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, server, &QObject::deleteLater);
    m_thread.start();
    QMetaObject::invokeMethod(
        server,
        [this, server, &listening] {
            server->listen(QHostAddress::LocalHost);
            m_url = QUrl(QStringLiteral("http://127.0.0.1:%1/lookup").arg(server->serverPort()));
            serve(server);
            listening.release();
        },
        Qt::QueuedConnection);
    listening.acquire();
}

LookupServer::~LookupServer()
{
    m_thread.quit();
    m_thread.wait();
}

void LookupServer::serve(QTcpServer *server)
{
    QObject::connect(server, &QTcpServer::newConnection, server, [this, server] {
        while (QTcpSocket *socket = server->nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                const QByteArray pending = socket->peek(socket->bytesAvailable());
                if (!pending.contains("\r\n\r\n"))
                    return;
                const QByteArray line = socket->readAll().split('\r').first();
                int index = 0;
                {
                    std::lock_guard guard(m_lock);
                    index = int(m_lines.size());
                    m_lines.append(line);
                }
                const QUrl target(QString::fromLatin1(line.split(' ').value(1)));
                const Reply reply = m_handler(QUrlQuery(target), index);
                if (reply.hang)
                    return;
                QByteArray location;
                if (!reply.redirectHost.isEmpty()) {
                    QUrl elsewhere = m_url.resolved(target);
                    elsewhere.setHost(reply.redirectHost);
                    location = "Location: " + elsewhere.toEncoded() + "\r\n";
                }
                QByteArray response = "HTTP/1.1 " + QByteArray::number(reply.status) +
                    " Status\r\n" + location + "Content-Type: application/json\r\n" +
                    (reply.undeclaredLength
                         ? QByteArray()
                         : "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n") +
                    "Connection: close\r\n\r\n" + reply.body;
                socket->write(response);
                socket->disconnectFromHost();
            });
        }
    });
}

QList<QByteArray> LookupServer::requestLines() const
{
    std::lock_guard guard(m_lock);
    return m_lines;
}

QList<QUrlQuery> LookupServer::requests() const
{
    QList<QUrlQuery> queries;
    for (const QByteArray &line : requestLines())
        queries.append(QUrlQuery(QUrl(QString::fromLatin1(line.split(' ').value(1)))));
    return queries;
}

QStringList LookupServer::requestedIdentifiers() const
{
    QStringList identifiers;
    for (const QUrlQuery &query : requests())
        identifiers.append(query.queryItemValue(QStringLiteral("bundleId")));
    return identifiers;
}

QByteArray LookupServer::results(const QList<QVariantMap> &objects)
{
    QJsonArray array;
    for (const QVariantMap &object : objects)
        array.append(QJsonObject::fromVariantMap(object));
    return QJsonDocument(QJsonObject{{QStringLiteral("resultCount"), array.size()},
                                     {QStringLiteral("results"), array}})
        .toJson(QJsonDocument::Compact);
}

LookupServer::Handler LookupServer::knownApps(const QHash<QString, QString> &genres)
{
    return [genres](const QUrlQuery &query, int) {
        QList<QVariantMap> found;
        const QStringList identifiers =
            query.queryItemValue(QStringLiteral("bundleId")).split(u',', Qt::SkipEmptyParts);
        for (const QString &identifier : identifiers) {
            if (!genres.contains(identifier))
                continue;
            found.append({{QStringLiteral("bundleId"), identifier},
                          {QStringLiteral("primaryGenreName"), genres.value(identifier)},
                          {QStringLiteral("version"), QStringLiteral("9.0")},
                          {QStringLiteral("artworkUrl100"), QStringLiteral("https://a/100.png")},
                          {QStringLiteral("artworkUrl512"),
                           QStringLiteral("https://a/%1/512.png").arg(identifier)}});
        }
        return Reply{200, results(found), false};
    };
}
