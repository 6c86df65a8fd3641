#pragma once

#include <QString>
#include <QUrl>

// Every folder Quillet uses comes from here. The command line may point the data and
// resource folders elsewhere; it does so once, before any other thread starts.
class Locations {
public:
    // The data folder: "inventory.json", "categories.json", the history and the notes.
    static QString storage();
    // The resource folder: help, update settings and the device tools in "Tools".
    static QString resources();
    // The folder whose "Tools" are run to read the device: the resource folder, or the demo's.
    static QString deviceResources();
    // Where an earlier release left its CSV exports: beside the data folder.
    static QString legacyExports(const QString &storage);

    // Where exports are proposed: the Downloads folder, or the home folder without one.
    static QString downloads();
    // The store lookup endpoint: the public one, or one given on the command line.
    static QUrl lookupURL();
    // HTTPS anywhere; plain HTTP only on this machine (how tests stand in for the store).
    static bool isAcceptableLookupURL(const QUrl &url);

    // False for the demo, which makes its icons itself and never reaches the network.
    static bool mayDownloadArtwork();

    static void setOffline(bool offline);
    static void setStorage(const QString &folder);
    static void setLookupURL(const QUrl &url);
    static void setResources(const QString &folder);
    static void setDeviceResources(const QString &folder);

    Locations() = delete;
};
