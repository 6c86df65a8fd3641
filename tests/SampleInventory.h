#pragma once

// The small inventory and fake device the window and command-line tests share, so that both
// show the same view.

#include "scanning/Column.h"
#include "scanning/Inventory.h"
#include "tests/TestFiles.h"

namespace SampleInventory {

inline Row app(const QString &name, const QString &category, const QString &bundle,
               const QString &version, const QString &totalMB)
{
    Row row{{Column::appName, name},
            {Column::bundleIdentifier, bundle},
            {Column::version, version},
            {Column::totalMB, totalMB}};
    if (!category.isNull())
        row.insert(Column::category, category);
    return row;
}

// Five columns, so that every header section fits the window. Ledger has an empty category and
// Atlas none at all; Maps has no size; the last app has no visible name and is never listed.
inline Inventory library()
{
    Inventory inventory;
    inventory.fields = {Column::appName, Column::category, Column::bundleIdentifier,
                        Column::version, Column::totalMB};
    inventory.rows = {
        app(QStringLiteral("Notes"), QStringLiteral("Productivity"),
            QStringLiteral("com.example.notes"), QStringLiteral("2.5"), QStringLiteral("3.23")),
        app(QStringLiteral("Maps"), QStringLiteral("Navigation"),
            QStringLiteral("com.example.maps"), QStringLiteral("10.1"), QStringLiteral("")),
        app(QStringLiteral("Ledger"), QStringLiteral(""), QStringLiteral("org.sample.ledger"),
            QStringLiteral("1.0"), QStringLiteral("12.50")),
        app(QStringLiteral("Atlas"), QString(), QStringLiteral("net.atlas.app"),
            QStringLiteral("3.1"), QStringLiteral("0.90")),
        app(QStringLiteral(" \u200B"), QStringLiteral("Productivity"),
            QStringLiteral("com.example.blank"), QStringLiteral(""), QStringLiteral(""))};
    inventory.deviceName = QStringLiteral("Old iPhone");
    inventory.scannedAt = TestFiles::utc("2024-03-01T10:00:00");
    return inventory;
}

// The fake device's apps: two the store knows, one it does not.
inline const QByteArray threeApps = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><array>
<dict><key>CFBundleIdentifier</key><string>com.example.notes</string>
<key>CFBundleDisplayName</key><string>Notes</string>
<key>StaticDiskUsage</key><integer>3000000</integer>
<key>DynamicDiskUsage</key><integer>230000</integer></dict>
<dict><key>CFBundleIdentifier</key><string>com.example.maps</string>
<key>CFBundleDisplayName</key><string>Maps</string></dict>
<dict><key>CFBundleIdentifier</key><string>org.sample.ledger</string>
<key>CFBundleDisplayName</key><string>Ledger</string></dict>
</array></plist>
)";

// Writes down its pid, then hangs until it is stopped.
inline const QByteArray hang = "echo $$ > \"$0.pid\"\nexec sleep 30\n";

} // namespace SampleInventory
