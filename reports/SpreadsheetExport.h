#pragma once

#include "history/ScanDifference.h"
#include "scanning/Row.h"

#include <QList>
#include <QString>
#include <QStringList>

struct Inventory;

// The spreadsheet exports: the apps as the table shows them, and the rows of a comparison. Texts
// stay text, sizes are numbers with two decimals (empty when unknown, never zero) and dates are
// dates, which a CSV cannot say.
class SpreadsheetExport {
public:
    // A sheet "Apps" of `rows` in `fields`, and a sheet "Device" about the scan.
    static void inventory(const QString &path, const Inventory &inventory,
                          const QStringList &fields, const QList<Row> &rows);
    // A sheet "Comparison" of `rows`, with both sizes and their change, and a sheet "Scans"
    // naming the two compared.
    static void comparison(const QString &path, const QString &titleA, const QString &titleB,
                           const Inventory &a, const Inventory &b,
                           const QList<ScanDifference> &rows);
    SpreadsheetExport() = delete;
};
