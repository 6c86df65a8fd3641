#include "scanning/StoreLookup.h"

#include "common/DataFile.h"
#include "common/DataFolderLock.h"
#include "common/NetworkRequest.h"
#include "common/PlatformError.h"
#include "common/StoreCountry.h"
#include "scanning/ScanError.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QUrlQuery>

#include <algorithm>
#include <thread>
#include <vector>

namespace {

const QString lookupUnavailableMessage =
    QStringLiteral("Category lookup unavailable. Using cached categories where available.");

// Lookup pacing: at most this many apps per request, a pause of this many slices between
// requests, and this many slices of waiting for one answer (a little over its time-out).
constexpr qsizetype lookupBatchSize = 20;
constexpr int lookupPauseSlices = 31;
constexpr int lookupWaitSlices = 221;
constexpr auto lookupRequestTimeout = std::chrono::seconds(20);

// Longer than any category, version or artwork address the store gives: such a text is
// taken as not given, so that one answer cannot swell the cache and every inventory.
constexpr qsizetype storeTextLimit = 2048;

std::optional<QString> jsonText(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString() || value.toString().size() > storeTextLimit)
        return std::nullopt;
    return value.toString();
}

// An unreadable or damaged cache is only a slower lookup. Without identifiers, all of it.
CategoryEntry::Map readCache(const QString &path,
                             const std::optional<QStringList> &identifiers = {})
{
    if (!DataFile::exists(path))
        return {};
    try {
        const QByteArray json = DataFile::read(path);
        return (identifiers ? CategoryEntry::decodeEntries(json, *identifiers)
                            : CategoryEntry::decodeMap(json))
            .value_or(CategoryEntry::Map());
    } catch (const PlatformError &) {
        return {};
    }
}

} // namespace

StoreLookup::StoreLookup(QString storage) : m_storage(std::move(storage)) {}

void StoreLookup::checkCancellation() const
{
    if (m_cancelled())
        throw ScanError::cancelled();
}

QHash<QString, QString> StoreLookup::categories(const QStringList &identifiers)
{
    const QString cachePath = m_storage + QStringLiteral("/categories.json");
    CategoryEntry::Map cache = readCache(cachePath, identifiers);
    const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    const QString country = m_country.value_or(StoreCountry::current());
    m_countryAsked = country;

    // Unique, in code-point order (which UTF-8 byte order is).
    std::vector<std::pair<QByteArray, QString>> sorted;
    for (const QString &identifier : QSet<QString>(identifiers.begin(), identifiers.end()))
        sorted.emplace_back(identifier.toUtf8(), identifier);
    std::sort(sorted.begin(), sorted.end());

    QStringList needed;
    for (const auto &[bytes, identifier] : sorted) {
        const auto cached = cache.constFind(identifier);
        const bool fresh = cached != cache.cend() &&
            now - cached->checked <= CategoryEntry::freshForSeconds &&
            cached->metadataRevision == CategoryEntry::currentRevision &&
            cached->countryCode() == country;
        if (!fresh)
            needed.append(identifier);
    }

    for (qsizetype start = 0; start < needed.size(); start += lookupBatchSize) {
        checkCancellation();
        const QStringList batch = needed.mid(start, lookupBatchSize);
        m_progress(QStringLiteral("Looking up categories: %1 of %2\u2026")
                       .arg(QString::number(start + batch.size()), QString::number(needed.size())));

        QUrl url = m_url;
        QUrlQuery query;
        // Percent-encoded whole, so that an identifier holding "+", "&" or "%26" reaches the
        // store as it is written; the commas between identifiers stay commas.
        query.addQueryItem(QStringLiteral("bundleId"),
                           QString::fromLatin1(QUrl::toPercentEncoding(batch.join(u','), ",")));
        query.addQueryItem(QStringLiteral("country"), country);
        query.addQueryItem(QStringLiteral("entity"), QStringLiteral("software"));
        query.addQueryItem(QStringLiteral("limit"), QStringLiteral("200"));
        url.setQuery(query);

        NetworkRequest request(url, lookupRequestTimeout);
        bool finished = false;
        for (int slice = 0; slice < lookupWaitSlices && !finished; ++slice) {
            finished = request.waitFor(m_slice);
            if (!finished && m_cancelled()) {
                request.cancel();
                throw ScanError::cancelled();
            }
        }
        std::optional<CategoryEntry::Map> found;
        if (finished) {
            const NetworkRequest::Response &response = request.response();
            if (response.error.isEmpty() && response.status == 200 && response.body)
                found = lookupEntries(*response.body, batch, now);
        }
        if (found) {
            for (CategoryEntry &entry : *found)
                entry.country = country;
        }
        if (!found) {
            request.cancel();
            m_progress(lookupUnavailableMessage);
            break;
        }
        {
            // Another Quillet may have added to the cache since it was read: this batch goes
            // into the file as it is now.
            const DataFolderLock lock(m_storage);
            CategoryEntry::Map saved = readCache(cachePath);
            for (auto it = found->cbegin(); it != found->cend(); ++it) {
                saved.insert(it.key(), it.value());
                cache.insert(it.key(), it.value());
            }
            DataFile::write(cachePath, CategoryEntry::encodeMap(saved));
        }

        if (start + lookupBatchSize < needed.size())
            pauseBetweenBatches();
    }

    m_storeMetadata = cache;
    QHash<QString, QString> result;
    result.reserve(cache.size());
    for (auto it = cache.cbegin(); it != cache.cend(); ++it)
        result.insert(it.key(), it->category);
    return result;
}

std::optional<CategoryEntry::Map> StoreLookup::lookupEntries(const QByteArray &body,
                                                             const QStringList &batch, double now)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject() ||
        document.object().isEmpty())
        return std::nullopt;
    const QJsonValue results = document.object().value(QLatin1String("results"));
    if (!results.isArray())
        return std::nullopt;
    const QJsonArray array = results.toArray();
    for (const QJsonValue &result : array) {
        if (!result.isObject())
            return std::nullopt;
    }

    CategoryEntry::Map found;
    for (const QJsonValue &value : array) {
        const QJsonObject result = value.toObject();
        const std::optional<QString> identifier = jsonText(result, "bundleId");
        if (!identifier || !batch.contains(*identifier))
            continue;
        std::optional<QString> icon = jsonText(result, "artworkUrl512");
        if (!icon)
            icon = jsonText(result, "artworkUrl100");
        found.insert(*identifier,
                     {jsonText(result, "primaryGenreName").value_or(QString()), now,
                      jsonText(result, "version"), icon, CategoryEntry::currentRevision,
                      std::nullopt, true});
    }
    // Apps the store does not know are remembered too, so they are not asked for again until
    // tomorrow.
    for (const QString &identifier : batch) {
        if (!found.contains(identifier))
            found.insert(identifier,
                         {QString(), now, std::nullopt, std::nullopt,
                          CategoryEntry::currentRevision, std::nullopt, false});
    }
    return found;
}

void StoreLookup::pauseBetweenBatches() const
{
    for (int slice = 0; slice < lookupPauseSlices; ++slice) {
        checkCancellation();
        std::this_thread::sleep_for(m_slice);
    }
}
