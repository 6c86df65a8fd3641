#include "common/NetworkRequest.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSemaphore>
#include <QThread>

#include <atomic>
#include <mutex>

struct NetworkRequest::State {
    QSemaphore done;
    std::atomic<bool> cancelled = false;
    // Touched only on the network thread.
    QPointer<QNetworkReply> reply;
    // Written on the network thread before `done` is released, read after it is acquired.
    Response response;
};

namespace {

// What we ask of a host is for that host: a redirect elsewhere, or from HTTPS to HTTP, would
// hand bundle identifiers or our trust to whoever the answer names.
constexpr auto redirectPolicy = QNetworkRequest::SameOriginRedirectPolicy;

constexpr const char *tooLargeProperty = "quilletTooLarge";

QString tooLargeMessage()
{
    return QStringLiteral("The answer was far larger than any answer to this question and was "
                          "not read.");
}

// The thread that owns the network access manager, stopped when the application ends.
class NetworkThread {
public:
    static QNetworkAccessManager *manager()
    {
        static std::once_flag started;
        std::call_once(started, [] {
            s_instance = new NetworkThread;
            qAddPostRoutine([] {
                s_instance->m_thread.quit();
                s_instance->m_thread.wait();
                delete s_instance;
                s_instance = nullptr;
            });
        });
        return s_instance->m_manager;
    }

private:
    NetworkThread()
    {
        m_thread.setObjectName(QStringLiteral("Network"));
        m_manager = new QNetworkAccessManager;
        m_manager->moveToThread(&m_thread);
        QObject::connect(&m_thread, &QThread::finished, m_manager, &QObject::deleteLater);
        m_thread.start();
    }

    static inline NetworkThread *s_instance = nullptr;
    QThread m_thread;
    QNetworkAccessManager *m_manager = nullptr;
};

void finish(NetworkRequest::State &state, QNetworkReply *reply, qint64 maximumBodySize)
{
    NetworkRequest::Response &response = state.response;
    response.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError)
        response.error = reply->errorString();
    const QByteArray body = reply->isOpen() ? reply->read(maximumBodySize + 1) : QByteArray();
    if (reply->property(tooLargeProperty).toBool() || body.size() > maximumBodySize)
        response.error = tooLargeMessage();
    else if (!body.isEmpty())
        response.body = body;
    reply->deleteLater();
    state.done.release();
}

// Stops `reply` as soon as its answer passes `maximumBodySize`, whatever the sender declares
// and however seldom Qt reports progress: the reply holds no more than that before it is read.
void limitBody(QNetworkReply *reply, qint64 maximumBodySize)
{
    reply->setReadBufferSize(maximumBodySize + 1);
    auto stop = [reply] {
        reply->setProperty(tooLargeProperty, true);
        reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, maximumBodySize, stop] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maximumBodySize)
            stop();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, maximumBodySize, stop] {
        if (reply->bytesAvailable() > maximumBodySize)
            stop();
    });
}

} // namespace

NetworkRequest::NetworkRequest(const QUrl &url, std::chrono::milliseconds timeout,
                               qint64 maximumBodySize)
    : m_state(std::make_shared<State>())
{
    QNetworkAccessManager *manager = NetworkThread::manager();
    QMetaObject::invokeMethod(
        manager,
        [state = m_state, manager, url, timeout, maximumBodySize] {
            if (state->cancelled) {
                state->response.error = QStringLiteral("Operation canceled");
                state->done.release();
                return;
            }
            QNetworkRequest request(url);
            request.setTransferTimeout(int(timeout.count()));
            request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, redirectPolicy);
            QNetworkReply *reply = manager->get(request);
            state->reply = reply;
            QObject::connect(
                reply, &QNetworkReply::finished, reply,
                [state, reply, maximumBodySize] { finish(*state, reply, maximumBodySize); });
            // A body this large is not an answer to our question; stop reading it.
            limitBody(reply, maximumBodySize);
        },
        Qt::QueuedConnection);
}

NetworkRequest::~NetworkRequest()
{
    if (!m_finished)
        cancel();
}

bool NetworkRequest::waitFor(std::chrono::milliseconds slice)
{
    if (!m_finished)
        m_finished = m_state->done.tryAcquire(1, int(slice.count()));
    return m_finished;
}

void NetworkRequest::cancel()
{
    m_state->cancelled = true;
    QMetaObject::invokeMethod(
        NetworkThread::manager(),
        [state = m_state] {
            if (state->reply)
                state->reply->abort();
        },
        Qt::QueuedConnection);
}

const NetworkRequest::Response &NetworkRequest::response() const
{
    return m_state->response;
}

bool NetworkRequest::wasTooLarge(const QNetworkReply *reply)
{
    return reply->property(tooLargeProperty).toBool();
}

QNetworkAccessManager *NetworkRequest::applicationManager()
{
    // Lives as long as the application, on its thread.
    static QPointer<QNetworkAccessManager> manager;
    if (!manager)
        manager = new QNetworkAccessManager(QCoreApplication::instance());
    return manager;
}

void NetworkRequest::get(QNetworkRequest request, qint64 maximumBodySize, QObject *context,
                         std::function<void(QNetworkReply *)> answer)
{
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, redirectPolicy);
    QNetworkReply *reply = applicationManager()->get(request);
    limitBody(reply, maximumBodySize);
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    const QMetaObject::Connection answered =
        QObject::connect(reply, &QNetworkReply::finished, context,
                         [reply, answer = std::move(answer)] { answer(reply); });
    // Nobody is waiting any more: stop the download. The answer is cut off first, since
    // abort() finishes the reply at once, while the context is still being destroyed.
    QObject::connect(context, &QObject::destroyed, reply, [reply, answered] {
        QObject::disconnect(answered);
        reply->abort();
    });
}
