#pragma once

#include "history/ScanComparison.h"
#include "scanning/Inventory.h"

#include <QList>
#include <QString>
#include <QStringList>

// A titled table of texts, written as a paginated US Letter PDF: a title block on the first
// page, a coloured heading band on every page, shaded alternate rows and a footer with a note
// and page numbers. It knows nothing of apps or scans.
struct ReportDocument {
    QString title;
    // Lines under the title; may hold line breaks.
    QString subtitle;
    // Bold lines above the table; may hold line breaks.
    QString summary;
    QStringList headings;
    // Column widths in points, adding up to the 524-point band.
    QList<double> widths;
    QList<QStringList> rows;
    // Small print at the foot of every page.
    QString note;

    // With a subtitle of up to five lines; each line more takes one row off the first page.
    static constexpr int rowsOnFirstPage = 20;
    static constexpr int rowsOnLaterPages = 29;

    int pageCount() const;
    // The rows a subtitle longer than its place pushes the first page's table down by, so that
    // none of it is cut.
    int subtitleOverflowRows() const;
    // Renders the whole document, then replaces `path` in one atomic write. Throws ScanError
    // when no PDF can be made, or the file error; an existing file stays as it was.
    void write(const QString &path) const;
    QByteArray render() const;

    // The inventory report: the given rows in their order, with the device, the scan date, the
    // filter that chose them and their storage total.
    static ReportDocument inventory(const Inventory &inventory, const QList<Row> &rows,
                                    const QString &filter);
    // The comparison report: the shown differences from scan A to scan B, by their titles.
    static ReportDocument comparison(const QString &titleA, const QString &titleB,
                                     const ScanComparison &comparison,
                                     const QList<ScanDifference> &shown, bool changesOnly);
};
