#include "reports/ReportDocument.h"

#include "common/DataFile.h"
#include "common/DecimalText.h"
#include "common/PlainText.h"
#include "common/Plural.h"
#include "history/DeviceReview.h"
#include "scanning/Column.h"
#include "scanning/ScanError.h"
#include "scanning/device/DeviceDescription.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QLocale>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

// Page geometry in points, y growing downward.
constexpr double left = 44;
constexpr double bandWidth = 524;
constexpr double cellInset = 6;
constexpr double bandHeight = 27;
constexpr double rowHeight = 22;
constexpr double pageBreakLimit = 700;
constexpr qsizetype longestText = 1000;
constexpr double firstBandTop = 214;
constexpr double subtitleTop = 100;
constexpr double subtitleHeight = 58;
constexpr double summaryTop = 162;
constexpr double laterBandTop = 30;

QColor grey(double white)
{
    return QColor::fromRgbF(float(white), float(white), float(white));
}

const QColor textColour = grey(0.12);
const QColor secondaryColour = grey(0.36);
const QColor accentColour = QColor::fromRgbF(0.15f, 0.32f, 0.65f);
const QColor zebraColour = grey(0.96);

// The report's typeface travels with the program, so that every PDF looks the same wherever it
// is written and embeds the same font.
QString reportFamily()
{
    static std::once_flag loaded;
    static QString family;
    std::call_once(loaded, [] {
        for (const char *file : {":/fonts/OpenSans-Regular.ttf", ":/fonts/OpenSans-Semibold.ttf"}) {
            const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(file));
            if (id >= 0 && family.isEmpty())
                family = QFontDatabase::applicationFontFamilies(id).value(0);
        }
        if (family.isEmpty())
            family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    });
    return family;
}

QFont reportFont(double size, bool bold)
{
    QFont font(reportFamily());
    font.setPointSizeF(size);
    font.setWeight(bold ? QFont::DemiBold : QFont::Normal);
    // No ligatures: a reader searching or copying "Difference" must find those letters.
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

class PageDrawer {
public:
    PageDrawer(QPainter &painter, const ReportDocument &document)
        : m_painter(painter),
          m_document(document),
          m_pages(document.pageCount()),
          m_shift(document.subtitleOverflowRows() * rowHeight)
    {}

    void draw()
    {
        drawTitleBlock();
        double y = drawBand(firstBandTop + m_shift);
        if (m_document.rows.isEmpty())
            text(QRectF(50, 255 + m_shift, 500, 28), QStringLiteral("No apps match this report."),
                 reportFont(10, false), textColour, Qt::TextWordWrap);
        for (qsizetype r = 0; r < m_document.rows.size(); ++r) {
            if (y + rowHeight > pageBreakLimit) {
                drawFooter();
                static_cast<QPdfWriter *>(m_painter.device())->newPage();
                ++m_page;
                y = drawBand(laterBandTop);
            }
            // Shading counts rows over the whole report, not per page.
            if (r % 2 == 0)
                m_painter.fillRect(QRectF(left, y, bandWidth, rowHeight), zebraColour);
            drawRow(m_document.rows[r], y);
            y += rowHeight;
        }
        drawFooter();
    }

private:
    void text(const QRectF &rect, const QString &content, const QFont &font, const QColor &colour,
              int flags)
    {
        m_painter.setFont(font);
        m_painter.setPen(colour);
        // No box of a page holds more than a few hundred characters; a name of megabytes would
        // be laid out whole only to be cut.
        m_painter.drawText(rect, Qt::AlignLeft | Qt::AlignTop | flags,
                           PlainText::shortened(content, longestText));
    }

    void drawTitleBlock()
    {
        text(QRectF(left, 30, bandWidth, 18), QStringLiteral("QUILLET"), reportFont(10, true),
             accentColour, Qt::TextWordWrap);
        text(QRectF(left, 57, bandWidth, 36), m_document.title, reportFont(24, true), textColour,
             Qt::TextWordWrap);
        text(QRectF(left, subtitleTop, bandWidth, subtitleHeight + m_shift), m_document.subtitle,
             reportFont(10, false), secondaryColour, Qt::TextWordWrap);
        text(QRectF(left, summaryTop + m_shift, bandWidth, 44), m_document.summary,
             reportFont(11, true), textColour, Qt::TextWordWrap);
    }

    // Returns the top of the first row under the band.
    double drawBand(double top)
    {
        m_painter.fillRect(QRectF(left, top, bandWidth, bandHeight), accentColour);
        double x = left + cellInset;
        for (qsizetype j = 0; j < m_document.headings.size(); ++j) {
            const double width = m_document.widths.value(j);
            text(QRectF(x, top + 6, width - 2 * cellInset, 20), m_document.headings[j],
                 reportFont(9, true), Qt::white, Qt::TextWordWrap);
            x += width;
        }
        return top + bandHeight;
    }

    void drawRow(const QStringList &cells, double top)
    {
        const QFont font = reportFont(9, false);
        m_painter.setFont(font);
        const QFontMetricsF metrics(font, m_painter.device());
        double x = left + cellInset;
        for (qsizetype j = 0; j < m_document.widths.size(); ++j) {
            const double width = m_document.widths[j] - 2 * cellInset;
            QString cell = PlainText::oneLine(PlainText::shortened(cells.value(j), longestText));
            if (cell.isEmpty())
                cell = QStringLiteral("\u2014");
            text(QRectF(x, top + 5, width, 14), metrics.elidedText(cell, Qt::ElideRight, width),
                 font, textColour, Qt::TextSingleLine);
            x += m_document.widths[j];
        }
    }

    void drawFooter()
    {
        const QFont small = reportFont(8, false);
        text(QRectF(left, 714, bandWidth, 38), m_document.note, small, secondaryColour,
             Qt::TextWordWrap);
        text(QRectF(left, 762, 350, 14), QStringLiteral("Marrowby \u00B7 Quillet"), small,
             secondaryColour, 0);
        m_painter.setFont(small);
        m_painter.drawText(
            QRectF(438, 762, 130, 14), Qt::AlignRight | Qt::AlignTop,
            QStringLiteral("Page %1 of %2").arg(QString::number(m_page), QString::number(m_pages)));
    }

    QPainter &m_painter;
    const ReportDocument &m_document;
    const int m_pages;
    // How far a long subtitle pushes the rest of the first page down.
    const double m_shift;
    int m_page = 1;
};

} // namespace

int ReportDocument::subtitleOverflowRows() const
{
    // Measured as the PDF lays it out: one point to the pixel.
    QImage page(1, 1, QImage::Format_RGB32);
    page.setDotsPerMeterX(qRound(72 / 0.0254));
    page.setDotsPerMeterY(qRound(72 / 0.0254));
    const QFontMetricsF metrics(reportFont(10, false), &page);
    const double height = metrics
                              .boundingRect(QRectF(0, 0, bandWidth, 1e6),
                                            Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                                            PlainText::shortened(subtitle, longestText))
                              .height();
    // A few rows stay for the table, whatever the subtitle.
    return std::clamp(int(std::ceil((height - subtitleHeight) / rowHeight)), 0,
                      rowsOnFirstPage - 5);
}

int ReportDocument::pageCount() const
{
    const qsizetype count = rows.size();
    const int firstPage = rowsOnFirstPage - subtitleOverflowRows();
    if (count <= firstPage)
        return 1;
    return 1 + int((count - firstPage + rowsOnLaterPages - 1) / rowsOnLaterPages);
}

QByteArray ReportDocument::render() const
{
    QBuffer buffer;
    if (!buffer.open(QIODevice::WriteOnly))
        throw ScanError(QStringLiteral("Could not create the report."));
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(72);
        writer.setPageSize(QPageSize(QPageSize::Letter));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("Quillet"));
        QPainter painter;
        if (!painter.begin(&writer))
            throw ScanError(QStringLiteral("Could not create the PDF."));
        painter.setRenderHint(QPainter::TextAntialiasing);
        PageDrawer(painter, *this).draw();
        painter.end();
    }
    return buffer.data();
}

void ReportDocument::write(const QString &path) const
{
    DataFile::writeExport(path, render());
}

ReportDocument ReportDocument::inventory(const Inventory &inventory, const QList<Row> &rows,
                                         const QString &filter)
{
    QString scanDate = QStringLiteral("Unknown");
    if (inventory.scannedAt)
        scanDate = QLocale::system().toString(inventory.scannedAt->toLocalTime().date(),
                                              QLocale::ShortFormat);
    else if (!inventory.rows.isEmpty() && inventory.rows.first().contains(Column::scanDate))
        scanDate = inventory.rows.first().value(Column::scanDate);
    const QString device =
        PlainText::isolated(inventory.deviceName.value_or(QStringLiteral("Unnamed device")));

    double total = 0;
    qsizetype complete = 0;
    QList<QStringList> cells;
    cells.reserve(rows.size());
    for (const Row &row : rows) {
        // A negative size is damage, not space the apps free.
        if (const std::optional<double> megabytes = row.megabytes(Column::totalMB);
            megabytes && *megabytes >= 0) {
            total += *megabytes;
            ++complete;
        }
        cells.append({row.value(Column::appName), row.value(Column::category),
                      row.value(Column::version), row.value(Column::totalMB)});
    }

    ReportDocument report;
    report.title = QStringLiteral("App inventory");
    report.subtitle = device + QStringLiteral(" \u00B7 Scanned ") + scanDate + u'\n';
    if (const QString facts = DeviceDescription::line(inventory.deviceFacts()); !facts.isEmpty())
        report.subtitle += facts + u'\n';
    // What people act on heads the report too.
    if (const DeviceReview review(inventory); !review.warnings().isEmpty()) {
        QStringList warnings;
        for (const DeviceWarnings::Warning &warning : review.warnings())
            warnings.append(warning.text);
        report.subtitle +=
            review.warningsCount() + QStringLiteral(": ") + warnings.join(u' ') + u'\n';
    }
    report.subtitle += filter;
    report.summary = QStringLiteral("%1 \u00B7 Reported storage: %2 MB\nComplete sizes "
                                    "available for %3 of %1")
                         .arg(Plural::apps(rows.size()), DecimalText::twoPlaces(total),
                              QString::number(complete));
    report.headings = {QStringLiteral("App"), QStringLiteral("Category"), QStringLiteral("Version"),
                       QStringLiteral("Total MB")};
    report.widths = {248, 108, 82, 86};
    report.rows = cells;
    report.note = QStringLiteral(
        "Storage is device-reported; totals exclude unavailable sizes. A dash means unavailable, "
        "not zero. Scan dates are not installation dates. This report contains the selected apps "
        "in their displayed order.");
    return report;
}

ReportDocument ReportDocument::comparison(const QString &titleA, const QString &titleB,
                                          const ScanComparison &comparison,
                                          const QList<ScanDifference> &shown, bool changesOnly)
{
    const QString dash = QStringLiteral("\u2014");
    ReportDocument report;
    report.title = QStringLiteral("App comparison");
    report.subtitle = QStringLiteral("A: ") + titleA + QStringLiteral("\nB: ") + titleB;
    if (const QString device = comparison.deviceLine(); !device.isEmpty())
        report.subtitle += u'\n' + device;
    report.summary =
        QStringLiteral("%1 shown \u00B7 %2\n%3")
            .arg(Plural::apps(shown.size()), comparison.deviceKind(),
                 changesOnly ? QStringLiteral("Apps with no measured change are hidden")
                             : QStringLiteral("All matched apps included"));

    report.headings = {QStringLiteral("App"), QStringLiteral("Difference"),
                       QStringLiteral("Version A \u2192 B"), QStringLiteral("MB change")};
    report.widths = {208, 120, 116, 80};
    for (const ScanDifference &difference : shown) {
        report.rows.append({difference.name, difference.status,
                            (difference.versionA.isEmpty() ? dash : difference.versionA) +
                                QStringLiteral(" \u2192 ") +
                                (difference.versionB.isEmpty() ? dash : difference.versionB),
                            difference.sizeDelta});
    }
    report.note = QStringLiteral(
        "Differences are from scan A to scan B, not installation history. MB change is B minus A "
        "and requires a total size in both scans. No measured change does not imply missing "
        "values were verified equal.");
    return report;
}
