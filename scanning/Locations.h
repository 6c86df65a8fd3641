#pragma once

#include <QString>

// Every folder Quillet uses comes from here. The command line may point the data and
// resource folders elsewhere; it does so once, before any other thread starts.
class Locations {
public:
    // The data folder: "inventory.json", "categories.json", the history and the notes.
    static QString storage();
    // The resource folder; the device tools lie in its sub-folder "Tools".
    static QString resources();
    // Where an earlier release left its CSV exports: beside the data folder.
    static QString legacyExports(const QString &storage);

    static void setStorage(const QString &folder);
    static void setResources(const QString &folder);

    Locations() = delete;
};
