#pragma once

// A store lookup service on 127.0.0.1 for the tests, on a thread of its own so that it answers
// while the test thread waits inside the scanner.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>
#include <QVariantMap>

#include <functional>
#include <mutex>

class QTcpServer;

class LookupServer {
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        // Never answer: the client has to give up.
        bool hang = false;
        // Sends the client to this host instead, with the same port, path and query.
        QString redirectHost = {};
        // No Content-Length: the end of the connection ends the body.
        bool undeclaredLength = false;
    };
    using Handler = std::function<Reply(const QUrlQuery &query, int requestIndex)>;

    explicit LookupServer(Handler handler = knownApps({}));
    ~LookupServer();

    QUrl url() const { return m_url; }
    QList<QUrlQuery> requests() const;
    // The "bundleId" value of every request, in order.
    QStringList requestedIdentifiers() const;
    // Raw request lines, in order.
    QList<QByteArray> requestLines() const;

    // Answers every identifier found in `genres` (bundle id -> genre) with a full result.
    static Handler knownApps(const QHash<QString, QString> &genres);
    static QByteArray results(const QList<QVariantMap> &objects);

private:
    void serve(QTcpServer *server);

    Handler m_handler;
    QThread m_thread;
    QUrl m_url;
    mutable std::mutex m_lock;
    QList<QByteArray> m_lines;
};
