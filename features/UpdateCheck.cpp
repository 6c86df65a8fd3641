#include "features/UpdateCheck.h"

#include "common/DataFile.h"
#include "common/Failure.h"
#include "common/NetworkRequest.h"
#include "common/PlatformError.h"
#include "scanning/ScanError.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>

const QString UpdateCheck::publisherWebsite = QStringLiteral("https://marrowby.example/quillet");

namespace {

bool isVersion(const QString &text)
{
    const QStringList pieces = text.split(u'.');
    for (const QString &piece : pieces) {
        if (piece.isEmpty())
            return false;
        for (QChar c : piece) {
            if (c < u'0' || c > u'9')
                return false;
        }
    }
    return true;
}

} // namespace

std::optional<UpdateSettings> UpdateSettings::read(const QString &path)
{
    QByteArray bytes;
    try {
        bytes = DataFile::read(path);
    } catch (const Failure &) {
        return std::nullopt;
    }
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    const QJsonValue website = document.object().value(QLatin1String("websiteURL"));
    const QJsonValue feed = document.object().value(QLatin1String("feedURL"));
    if (!document.isObject() || !website.isString() || !(feed.isUndefined() || feed.isString()))
        return std::nullopt;
    UpdateSettings settings{website.toString(), std::nullopt};
    if (feed.isString())
        settings.feedURL = feed.toString();
    return settings;
}

UpdateRelease UpdateCheck::parseRelease(const QByteArray &body, const QString &websiteURL)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw PlatformError(PlatformError::Kind::Decoding,
                            QStringLiteral("The release information is not valid JSON (at "
                                           "offset %1).")
                                .arg(error.offset));
    const QJsonObject object = document.object();
    UpdateRelease release;
    const struct {
        const char *key;
        QString *target;
    } fields[] = {{"version", &release.version},
                  {"minimumMacOS", &release.minimumMacOS},
                  {"downloadURL", &release.downloadURL},
                  {"notes", &release.notes}};
    for (const auto &field : fields) {
        const QJsonValue value = object.value(QLatin1String(field.key));
        if (!document.isObject() || !value.isString())
            throw PlatformError(
                PlatformError::Kind::Decoding,
                QStringLiteral("The release information has no text \u201C%1\u201D.")
                    .arg(QLatin1String(field.key)));
        *field.target = value.toString();
    }

    const QUrl download(release.downloadURL, QUrl::StrictMode);
    const QUrl website(websiteURL, QUrl::StrictMode);
    const QString websiteHost = website.isValid() ? website.host() : QString();
    // Downloads come only from the publisher's own site, over HTTPS.
    if (!isVersion(release.version) || !download.isValid() ||
        !release.downloadURL.startsWith(QStringLiteral("https:")) || download.host() != websiteHost)
        throw ScanError(QStringLiteral("The update service returned invalid release information."));
    return release;
}

int UpdateCheck::compareVersions(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype endA = i;
            qsizetype endB = j;
            while (endA < a.size() && a[endA].isDigit())
                ++endA;
            while (endB < b.size() && b[endB].isDigit())
                ++endB;
            // Compare the runs as numbers: leading zeros aside, the longer run is larger.
            QStringView runA = QStringView(a).sliced(i, endA - i);
            QStringView runB = QStringView(b).sliced(j, endB - j);
            while (runA.size() > 1 && runA.front() == u'0')
                runA = runA.sliced(1);
            while (runB.size() > 1 && runB.front() == u'0')
                runB = runB.sliced(1);
            if (runA.size() != runB.size())
                return runA.size() < runB.size() ? -1 : 1;
            if (const int order = runA.compare(runB); order != 0)
                return order < 0 ? -1 : 1;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    return j < b.size() ? -1 : 0;
}

void UpdateCheck::run(const QUrl &feed, const QString &websiteURL, const QString &installed,
                      QObject *context, std::function<void(Outcome)> done)
{
    QNetworkRequest request(feed);
    request.setTransferTimeout(20'000);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    NetworkRequest::get(
        request, bodyLimit, context,
        [websiteURL, installed, done = std::move(done)](QNetworkReply *reply) {
            Outcome outcome;
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            const QByteArray body = reply->isOpen() ? reply->readAll() : QByteArray();
            const bool tooLarge = NetworkRequest::wasTooLarge(reply) || body.size() > bodyLimit;
            try {
                // Any other cancel is the transfer time-out: the context's going answers nobody.
                if (reply->error() == QNetworkReply::OperationCanceledError && !tooLarge)
                    throw PlatformError(PlatformError::Kind::Network,
                                        QStringLiteral("The request timed out."));
                if (reply->error() != QNetworkReply::NoError && !tooLarge && status == 0)
                    throw PlatformError(PlatformError::Kind::Network, reply->errorString());
                if (status != 200 || tooLarge)
                    throw ScanError(QStringLiteral("The update service is unavailable."));
                outcome.release = parseRelease(body, websiteURL);
                outcome.newer = compareVersions(installed, outcome.release->version) < 0;
            } catch (const Failure &error) {
                outcome.release.reset();
                outcome.error = error.description();
            }
            done(outcome);
        });
}
