#include "features/StoreArtwork.h"

#include "common/DataFile.h"
#include "common/Failure.h"
#include "common/Locations.h"
#include "common/NetworkRequest.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>

const QString StoreArtwork::artworkDomain = QStringLiteral("mzstatic.com");

namespace {

constexpr int downloadTimeout = 15'000;

QImage decode(const QByteArray &bytes)
{
    if (bytes.size() > StoreArtwork::sizeLimit)
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // A small file can declare a vast picture: it is decoded no larger than it is ever shown,
    // and one that would still need more memory than this is not decoded at all.
    reader.setAllocationLimit(64);
    const QSize declared = reader.size();
    if (declared.width() > StoreArtwork::largestShown ||
        declared.height() > StoreArtwork::largestShown)
        reader.setScaledSize(declared.scaled(StoreArtwork::largestShown, StoreArtwork::largestShown,
                                             Qt::KeepAspectRatio));
    return reader.read();
}

} // namespace

bool StoreArtwork::isAllowed(const QUrl &url)
{
    if (!url.isValid() || url.scheme() != u"https")
        return false;
    const QString host = url.host().toLower();
    if (host.isEmpty())
        return false;
    return host == artworkDomain || host.endsWith(u'.' + artworkDomain) ||
        host == Locations::lookupURL().host().toLower();
}

QString StoreArtwork::cachePath(const QString &url)
{
    const QByteArray digest = QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha256);
    return Locations::storage() + QStringLiteral("/Icons/") + QString::fromLatin1(digest.toHex());
}

QImage StoreArtwork::cached(const QString &url)
{
    try {
        return decode(DataFile::read(cachePath(url), sizeLimit));
    } catch (const Failure &) {
        return {};
    }
}

void StoreArtwork::image(const QString &url, QObject *context, std::function<void(QImage)> done)
{
    const QUrl address(url, QUrl::StrictMode);
    // QUrl lowers the scheme's case; the address must say "https" exactly.
    if (!url.startsWith(QStringLiteral("https:")) || !isAllowed(address)) {
        done({});
        return;
    }
    const QString path = cachePath(url);
    // A damaged, oversized or planted copy (a FIFO, a link) is downloaded again and replaced.
    if (const QImage image = cached(url); !image.isNull()) {
        done(image);
        return;
    }
    if (!Locations::mayDownloadArtwork()) {
        done({});
        return;
    }

    QNetworkRequest request(address);
    request.setTransferTimeout(downloadTimeout);
    NetworkRequest::get(
        request, sizeLimit, context, [path, done = std::move(done)](QNetworkReply *reply) {
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (reply->error() != QNetworkReply::NoError || status != 200) {
                done({});
                return;
            }
            const QByteArray bytes = reply->readAll();
            const QImage image = decode(bytes);
            if (image.isNull()) {
                done({});
                return;
            }
            try {
                DataFile::makeFolder(Locations::storage() + QStringLiteral("/Icons"));
                DataFile::write(path, bytes);
            } catch (const Failure &) {
                // An icon that cannot be kept is not shown either.
                done({});
                return;
            }
            done(image);
        });
}
