#pragma once

#include "common/Locations.h"
#include "scanning/CategoryEntry.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

// What the store knows about a scan's apps (category, store version, icon address): from the
// cache "categories.json" while an entry is fresh, else from the store's lookup service, twenty
// apps to a request. Network trouble is never an error; the scan goes on with what is cached.
class StoreLookup {
public:
    using Progress = std::function<void(const QString &)>;

    // Keeps its cache in `storage`.
    explicit StoreLookup(QString storage);

    // The lookup endpoint; tests point it at a server of their own.
    void setURL(const QUrl &url) { m_url = url; }
    // The store country asked, a lower-case two-letter code.
    void setCountry(const QString &country) { m_country = country; }
    // Waits and pauses in slices of this length; tests shorten it.
    void setSlice(std::chrono::milliseconds slice) { m_slice = slice; }
    // Receives progress messages on the scanning thread.
    void setProgress(Progress progress) { m_progress = std::move(progress); }
    // Asked between slices; true ends the lookup with the cancellation ScanError.
    void setCancelled(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }

    // Store metadata for these apps. Returns the category of each of them that is known, from
    // the cache or the store.
    QHash<QString, QString> categories(const QStringList &identifiers);
    // What the cache and the store said about the apps of the last lookup.
    const CategoryEntry::Map &storeMetadata() const { return m_storeMetadata; }
    // The store country of the last lookup.
    const QString &countryAsked() const { return m_countryAsked; }

    // The cache entries for one batch from the store's answer: every app of the batch, with
    // what the store said about it. Nothing when the answer is not a lookup result.
    static std::optional<CategoryEntry::Map> lookupEntries(const QByteArray &body,
                                                           const QStringList &batch, double now);

private:
    void checkCancellation() const;
    void pauseBetweenBatches() const;

    QString m_storage;
    QUrl m_url = Locations::lookupURL();
    // The chosen store's unless set; read when the store is asked, not when a scanner is made.
    std::optional<QString> m_country;
    std::chrono::milliseconds m_slice = std::chrono::milliseconds(100);
    Progress m_progress = [](const QString &) {};
    std::function<bool()> m_cancelled = [] { return false; };
    CategoryEntry::Map m_storeMetadata;
    QString m_countryAsked;
};
