#pragma once

#include "scanning/Inventory.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <limits>
#include <optional>

// The CSV exports an earlier release left in "Tallyfold/exports", read back as an inventory, so
// that a first start shows the apps the user already had.
class LegacyImport {
public:
    // The newest CSV file in `folder` as an inventory with the default fields, or nothing when
    // there is none. Throws when that file cannot be read, is not UTF-8, or would make an
    // inventory too large to be read back.
    static std::optional<Inventory> newestExport(const QString &folder);
    // One row per record after the header, keyed by the header's names. Ragged records are
    // left out. Throws TooLarge as soon as the rows would take more than `limit` bytes of an
    // inventory's JSON.
    static QList<Row> parseCSV(QStringView text, qint64 limit = std::numeric_limits<qint64>::max());
    struct TooLarge {};

    LegacyImport() = delete;
};
