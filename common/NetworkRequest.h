#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QObject;

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// A GET request made from a worker thread, which waits for it in short slices so that it can
// notice a cancel between them. The request itself runs on a network thread of its own, with
// an event loop, so the worker never needs one.
class NetworkRequest {
public:
    struct Response {
        // Absent when the server sent nothing.
        std::optional<QByteArray> body;
        // Empty when the transfer succeeded.
        QString error;
        // The HTTP status, 0 when there was no HTTP response.
        int status = 0;
    };

    NetworkRequest(const QUrl &url, std::chrono::milliseconds timeout,
                   qint64 maximumBodySize = 32 * 1024 * 1024);
    // Aborts a request that has not finished.
    ~NetworkRequest();
    NetworkRequest(const NetworkRequest &) = delete;
    NetworkRequest &operator=(const NetworkRequest &) = delete;

    // Waits at most `slice`; true once the request has finished.
    bool waitFor(std::chrono::milliseconds slice);
    void cancel();
    // Valid once waitFor() has returned true.
    const Response &response() const;

    struct State;

    // The manager for requests made and answered on the main thread (icons, the update check).
    static QNetworkAccessManager *applicationManager();

    // Sends `request` on the application's manager and calls `answer` with the finished reply,
    // on `context`'s thread, unless `context` is gone by then (the download is then stopped).
    // A body growing past `maximumBodySize` is aborted. The reply deletes itself afterwards.
    // Redirects are followed only within the same scheme, host and port, as in every request.
    static void get(QNetworkRequest request, qint64 maximumBodySize, QObject *context,
                    std::function<void(QNetworkReply *)> answer);
    // Whether get() stopped `reply` for its size. Qt reports that, and a transfer time-out,
    // both as OperationCanceledError.
    static bool wasTooLarge(const QNetworkReply *reply);

private:
    std::shared_ptr<State> m_state;
    bool m_finished = false;
};
