#pragma once

#include <QImage>
#include <QList>
#include <QString>

// A phone for trying Quillet without one. The tools in the resource folder's "Demo" print a
// made-up device whose apps change a little from scan to scan; its data folder, apart from the
// real one, holds matching store data and icons, so that nothing is asked of the network.
class DemoDevice {
public:
    // What the store knows about one app of "Demo/apps.txt", the table the demo tools read too.
    struct App {
        QString bundle;
        QString name;
        // Empty when the store does not know the app.
        QString category;
        // Empty when the store lists no version.
        QString storeVersion;
    };

    static const QString description;

    // Points the device tools, the data folder and the store lookup at the demo and writes the
    // demo's store data, fresh, and its icons. Returns `description`, for the status line.
    static QString prepare();

    // The apps of the table in `folder`. Throws unless every line has the demo tools' shape.
    static QList<App> apps(const QString &folder);
    static QString dataFolder();
    static QString iconURL(const QString &bundle);
    // The app's initials in white on a rounded square of a colour of its own.
    static QImage icon(const QString &name);

    DemoDevice() = delete;
};
