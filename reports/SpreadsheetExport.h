#pragma once

#include "history/ScanDifference.h"
#include "scanning/Row.h"

#include <QList>
#include <QString>
#include <QStringList>

struct Inventory;
struct ScanComparison;

// The spreadsheet exports: the apps as the table shows them, and the rows of a comparison. Texts
// stay text, sizes are numbers with two decimals (empty when unknown, never zero) and dates are
// dates, which a CSV cannot say.
class SpreadsheetExport {
public:
    // A sheet "Apps" of `rows` in `fields`, and a sheet "Device" about the scan and `filter`,
    // the choice that left those rows ("Category: Games · Search: maps").
    static void inventory(const QString &path, const Inventory &inventory,
                          const QStringList &fields, const QList<Row> &rows, const QString &filter);
    // A sheet "Comparison" of `rows`, with both sizes and their change, a sheet "Scans" about
    // the two compared and a sheet "Summary" of what the comparison found: how many apps differ
    // (or that none do), same device or two, the device's changes and whether apps with no
    // measured change were left out.
    static void comparison(const QString &path, const QString &titleA, const QString &titleB,
                           const Inventory &a, const Inventory &b, const ScanComparison &comparison,
                           const QList<ScanDifference> &rows, bool changesOnly);
    SpreadsheetExport() = delete;
};
