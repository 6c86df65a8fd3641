#pragma once

// An HTTPS server on 127.0.0.1 for the tests, on a thread of its own. Its certificate lives in
// tests/data; only a test that trusts it (trustCertificate) can talk to it.

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QThread>
#include <QUrl>

#include <functional>
#include <mutex>

class QSslServer;

class HttpsServer {
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        // Sent as given; a Content-Length here replaces the true one.
        QList<std::pair<QByteArray, QByteArray>> headers;
        // Without a length the body ends when the connection closes.
        bool sendLength = true;
        // Never answer: the client has to give up.
        bool hang = false;
    };
    // `target` is the request's path and query as sent.
    using Handler = std::function<Reply(const QByteArray &target, int requestIndex)>;

    explicit HttpsServer(Handler handler = {});
    ~HttpsServer();

    void setHandler(Handler handler);
    quint16 port() const { return m_port; }
    // https://127.0.0.1:<port> followed by `path`.
    QString url(const QString &path = QString()) const;
    // Request targets, in order.
    QList<QByteArray> requests() const;
    int requestCount() const { return int(requests().size()); }
    void clearRequests();

    static QSslCertificate certificate();
    // Adds the certificate to the default configuration's authorities, for this process only.
    static void trustCertificate();

private:
    void serve(QSslServer *server);

    Handler m_handler;
    QThread m_thread;
    quint16 m_port = 0;
    mutable std::mutex m_lock;
    QList<QByteArray> m_requests;
};
