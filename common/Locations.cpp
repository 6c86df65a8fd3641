#include "common/Locations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString &storageOverride()
{
    static QString folder;
    return folder;
}

// Set once, before other threads start, like the overrides.
bool &offline()
{
    static bool value = false;
    return value;
}

QUrl &lookupOverride()
{
    static QUrl url;
    return url;
}

QString &resourcesOverride()
{
    static QString folder;
    return folder;
}

QString &deviceResourcesOverride()
{
    static QString folder;
    return folder;
}

} // namespace

QString Locations::storage()
{
    if (!storageOverride().isEmpty())
        return storageOverride();
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
        QStringLiteral("/Quillet");
}

QString Locations::resources()
{
    if (!resourcesOverride().isEmpty())
        return resourcesOverride();
    const QString programFolder = QCoreApplication::applicationDirPath();
    // The bundle's Resources on macOS, the installed share folder, then the build tree
    // (the program in build/app, the resources in build/resources).
    const QString candidates[] = {
        programFolder + QStringLiteral("/../Resources"),
        programFolder + QStringLiteral("/../share/quillet"),
        programFolder + QStringLiteral("/../resources"),
    };
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).isDir())
            return QDir::cleanPath(candidate);
    }
    return QDir::cleanPath(candidates[2]);
}

QString Locations::deviceResources()
{
    return deviceResourcesOverride().isEmpty() ? resources() : deviceResourcesOverride();
}

QString Locations::legacyExports(const QString &storage)
{
    return QDir::cleanPath(storage + QStringLiteral("/../Tallyfold/exports"));
}

void Locations::setStorage(const QString &folder)
{
    storageOverride() = QDir(folder).absolutePath();
}

void Locations::setResources(const QString &folder)
{
    resourcesOverride() = QDir(folder).absolutePath();
}

void Locations::setDeviceResources(const QString &folder)
{
    deviceResourcesOverride() = QDir(folder).absolutePath();
}

QUrl Locations::lookupURL()
{
    if (!lookupOverride().isEmpty())
        return lookupOverride();
    return QUrl(QStringLiteral("https://itunes.apple.com/lookup"));
}

bool Locations::isAcceptableLookupURL(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == u"https")
        return true;
    const QString host = url.host();
    return url.scheme() == u"http" &&
        (host == u"127.0.0.1" || host == u"::1" || host == u"localhost");
}

void Locations::setLookupURL(const QUrl &url)
{
    lookupOverride() = url;
}

bool Locations::mayDownloadArtwork()
{
    return !offline();
}

void Locations::setOffline(bool value)
{
    offline() = value;
}

QString Locations::downloads()
{
    // Not every Linux home has a Downloads folder; the home folder is the next best place.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}
