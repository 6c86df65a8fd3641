#include "reports/Workbook.h"

#include "common/DataFile.h"
#include "common/PlainText.h"
#include "common/PlatformError.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A cell holds at most 32,767 characters; a longer text is cut, as on screen.
constexpr qsizetype cellTextLimit = 32'000;

const QString workbookFile = QStringLiteral("/workbook.xlsx");

lxw_datetime dateTime(const QDate &day, const QTime &time = QTime(0, 0))
{
    return {day.year(),  day.month(),   day.day(),
            time.hour(), time.minute(), time.second() + time.msec() / 1000.0};
}

// Excel's dates run from 1900 to 9999.
bool inRange(const QDate &day)
{
    return day.isValid() && day.year() >= 1900 && day.year() <= 9999;
}

// About how many characters wide a cell's text shows.
qsizetype shownWidth(const Workbook::Cell &cell)
{
    switch (cell.kind) {
    case Workbook::Cell::Kind::Empty:
        return 0;
    case Workbook::Cell::Kind::Text:
        return cell.text.size();
    case Workbook::Cell::Kind::Number:
        return 10;
    case Workbook::Cell::Kind::Count:
        return 6;
    case Workbook::Cell::Kind::Day:
        return 10;
    case Workbook::Cell::Kind::Moment:
        return 16;
    }
    return 0;
}

} // namespace

Workbook::Cell Workbook::Cell::of(std::optional<double> number)
{
    // Unknown is empty, never zero.
    if (!number || !std::isfinite(*number))
        return {};
    Cell cell;
    cell.kind = Kind::Number;
    cell.number = *number;
    return cell;
}

Workbook::Cell Workbook::Cell::count(qint64 value)
{
    Cell cell;
    cell.kind = Kind::Count;
    cell.number = double(value);
    return cell;
}

Workbook::Cell Workbook::Cell::of(const QDate &day)
{
    Cell cell;
    cell.kind = Kind::Day;
    cell.day = day;
    return cell;
}

Workbook::Cell Workbook::Cell::of(const QDateTime &moment)
{
    Cell cell;
    cell.kind = Kind::Moment;
    cell.moment = moment.toUTC();
    return cell;
}

Workbook::Workbook()
{
    if (!m_folder.isValid()) {
        m_problem = m_folder.errorString();
        return;
    }
    m_tmpdir = QFile::encodeName(m_folder.path());
    lxw_workbook_options options{};
    options.tmpdir = m_tmpdir.data();
    const QByteArray file = QFile::encodeName(m_folder.path() + workbookFile);
    m_workbook = workbook_new_opt(file.constData(), &options);
    if (!m_workbook) {
        m_problem = QStringLiteral("the spreadsheet library could not start a workbook");
        return;
    }
    m_bold = workbook_add_format(m_workbook);
    format_set_bold(m_bold);
    m_twoPlaces = workbook_add_format(m_workbook);
    format_set_num_format(m_twoPlaces, "0.00");
    m_whole = workbook_add_format(m_workbook);
    format_set_num_format(m_whole, "0");
    m_day = workbook_add_format(m_workbook);
    format_set_num_format(m_day, "mm/dd/yyyy");
    m_moment = workbook_add_format(m_workbook);
    format_set_num_format(m_moment, "yyyy-mm-dd hh:mm");
}

Workbook::~Workbook()
{
    // Never saved: closing writes the file in the temporary folder, which goes with it.
    if (m_workbook)
        workbook_close(m_workbook);
}

void Workbook::addTable(const QString &name, const QStringList &header, const QList<Line> &lines)
{
    if (!m_workbook || !m_problem.isEmpty())
        return;
    if (lines.size() > lineLimit) {
        m_problem = QStringLiteral("a sheet holds at most %L1 rows").arg(lineLimit);
        return;
    }
    if (header.size() > LXW_COL_MAX) {
        m_problem = QStringLiteral("a sheet holds at most %L1 columns").arg(LXW_COL_MAX);
        return;
    }
    lxw_worksheet *sheet = workbook_add_worksheet(m_workbook, name.toUtf8().constData());
    if (!sheet) {
        m_problem = QStringLiteral("the sheet \u201C%1\u201D could not be added").arg(name);
        return;
    }
    const auto columns = lxw_col_t(header.size());
    std::vector<qsizetype> widths(columns, 0);
    auto text = [](const QString &value) {
        // Spreadsheets read "_x0041_" in a cell as an escaped character: an underscore that would
        // start one is itself escaped, so that the text comes back as it was.
        static const QRegularExpression escapeLike(QStringLiteral("_(?=x[0-9A-Fa-f]{4}_)"));
        QString kept = PlainText::wellFormed(PlainText::shortened(value, cellTextLimit));
        if (kept.contains(u'_'))
            kept.replace(escapeLike, QStringLiteral("_x005F_"));
        return kept;
    };
    for (lxw_col_t column = 0; column < columns; ++column) {
        worksheet_write_string(sheet, 0, column, text(header[column]).toUtf8().constData(), m_bold);
        widths[column] = header[column].size();
    }
    for (qsizetype index = 0; index < lines.size(); ++index) {
        const auto row = lxw_row_t(index + 1);
        const Line &line = lines[index];
        for (lxw_col_t column = 0; column < columns && column < line.size(); ++column) {
            const Cell &cell = line[column];
            widths[column] = std::max(widths[column], shownWidth(cell));
            lxw_error error = LXW_NO_ERROR;
            switch (cell.kind) {
            case Cell::Kind::Empty:
                break;
            case Cell::Kind::Text:
                if (!cell.text.isEmpty())
                    error = worksheet_write_string(sheet, row, column,
                                                   text(cell.text).toUtf8().constData(), nullptr);
                break;
            case Cell::Kind::Number:
                error = worksheet_write_number(sheet, row, column, cell.number, m_twoPlaces);
                break;
            case Cell::Kind::Count:
                error = worksheet_write_number(sheet, row, column, cell.number, m_whole);
                break;
            case Cell::Kind::Day:
                if (inRange(cell.day)) {
                    lxw_datetime day = dateTime(cell.day);
                    error = worksheet_write_datetime(sheet, row, column, &day, m_day);
                }
                break;
            case Cell::Kind::Moment:
                if (inRange(cell.moment.date())) {
                    lxw_datetime moment = dateTime(cell.moment.date(), cell.moment.time());
                    error = worksheet_write_datetime(sheet, row, column, &moment, m_moment);
                }
                break;
            }
            if (error != LXW_NO_ERROR) {
                m_problem = QString::fromUtf8(lxw_strerror(error));
                return;
            }
        }
    }
    for (lxw_col_t column = 0; column < columns; ++column)
        worksheet_set_column(sheet, column, column,
                             double(std::clamp<qsizetype>(widths[column] + 2, 8, 60)), nullptr);
    worksheet_freeze_panes(sheet, 1, 0);
    if (columns > 0)
        worksheet_autofilter(sheet, 0, 0, lxw_row_t(lines.size()), columns - 1);
}

void Workbook::save(const QString &path)
{
    if (!m_problem.isEmpty() || !m_workbook)
        throw PlatformError::cannotSave(path, m_problem);
    const lxw_error error = workbook_close(m_workbook);
    m_workbook = nullptr;
    if (error != LXW_NO_ERROR)
        throw PlatformError::cannotSave(path, QString::fromUtf8(lxw_strerror(error)));
    // Read back whole: it is what the table shows, packed.
    DataFile::writeExport(
        path, DataFile::read(m_folder.path() + workbookFile, std::numeric_limits<qint64>::max()));
}
