#pragma once

#include <QImage>
#include <QObject>
#include <QString>

#include <functional>

// App icons from the store's artwork hosts, kept on disk in the data folder's "Icons" so that an
// icon seen once shows again without a download. Never reports an error: an icon that cannot be
// had is simply not shown.
class StoreArtwork {
public:
    // The store's artwork domain; it and its subdomains serve icons.
    static const QString artworkDomain;
    static constexpr qint64 sizeLimit = 5'000'000;
    // Icons are decoded no larger than this, in pixels each way: the details window shows them
    // at 64 points, 256 pixels on the densest screens, and the store serves them at 512.
    static constexpr int largestShown = 512;

    // Calls `done` on the main thread with the icon, or with a null image, unless `context` is
    // gone by then. May call it before returning when the icon is on disk or refused.
    static void image(const QString &url, QObject *context, std::function<void(QImage)> done);

    // Only HTTPS addresses on the artwork domain or the lookup host are fetched.
    static bool isAllowed(const QUrl &url);
    // The cache file of an address: the SHA-256 of its text, in lowercase hexadecimal.
    static QString cachePath(const QString &url);
    // The icon kept for an address, or a null image when there is none or it is damaged.
    static QImage cached(const QString &url);

    StoreArtwork() = delete;
};
