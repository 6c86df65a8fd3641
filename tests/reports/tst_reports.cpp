#include "common/Failure.h"
#include "history/SnapshotAnnotation.h"
#include "reports/CsvExport.h"
#include "reports/ReportDocument.h"
#include "reports/SpreadsheetExport.h"
#include "scanning/Column.h"
#include "scanning/device/DeviceFacts.h"
#include "tests/InventoryPrinting.h"
#include "tests/PdfReader.h"
#include "tests/SpreadsheetReader.h"
#include "tests/TestFiles.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <csignal>
#include <sys/resource.h>

using namespace Qt::StringLiterals;
using namespace PdfReader;
using namespace TestFiles;

namespace {

// Where the writer puts things, in points from the top left of a Letter page.
const QList<double> columnLeft{50, 298, 406, 488};
const QList<double> widths{248, 108, 82, 86};
constexpr double rowHeight = 22;
// A word's box starts a little below the top of the line Qt lays out.
constexpr double tolerance = 4;

ReportDocument table(qsizetype count)
{
    ReportDocument document;
    document.title = u"Quarterly review"_s;
    document.subtitle = u"Alpha subtitle\nBeta subtitle"_s;
    document.summary = u"Gamma summary\nDelta summary"_s;
    document.headings = {u"App"_s, u"Category"_s, u"Version"_s, u"Total MB"_s};
    document.widths = widths;
    document.note = u"Storage is device-reported. A dash means unavailable, not zero. This "
                    u"note is long enough to need a second line at the foot of the page, which "
                    u"the footer leaves room for."_s;
    for (qsizetype i = 0; i < count; ++i)
        document.rows.append({u"R%1"_s.arg(i), u"Games"_s, u"1.%1"_s.arg(i), u"%1.5"_s.arg(i)});
    return document;
}

// The page (from 0) and top of row `index`.
std::pair<int, double> rowPlace(qsizetype index)
{
    if (index < ReportDocument::rowsOnFirstPage)
        return {0, 241 + rowHeight * double(index)};
    const qsizetype later = index - ReportDocument::rowsOnFirstPage;
    return {1 + int(later / ReportDocument::rowsOnLaterPages),
            57 + rowHeight * double(later % ReportDocument::rowsOnLaterPages)};
}

bool near(double actual, double expected)
{
    return qAbs(actual - expected) <= tolerance;
}

QString where(const Word *word)
{
    return word ? u"%1 at %2, %3"_s.arg(word->text).arg(word->box.left()).arg(word->box.top())
                : u"missing"_s;
}

#define QVERIFY_AT(word, x, y)                                                                     \
    QVERIFY2((word) && near((word)->box.left(), x) && near((word)->box.top(), y),                  \
             qPrintable(where(word)))

} // namespace

class TestReports : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void layout_data();
    void layout();
    void longSubtitle();
    void titleBlock();
    void cells_data();
    void cells();
    void crLfIsTwoSpaces();
    void inventory_data();
    void inventory();
    void inventoryColumns();
    void csv_data();
    void csv();
    void unusedPath();
    void writeFailure_data();
    void writeFailure();
    void failedWriteKeepsTheFile();
    void spreadsheetCells_data();
    void spreadsheetCells();
    void comparisonSpreadsheet();
    void comparisonContext_data();
    void comparisonContext();
    void spreadsheetTooWide();
    void hostileText_data();
    void hostileText();

private:
    // Writes the document and reads its words back.
    QList<Page> written(const ReportDocument &document)
    {
        document.write(pdf());
        return words(pdf());
    }
    QString pdf() const { return m_dir.filePath(u"report.pdf"_s); }

    QTemporaryDir m_dir;
};

void TestReports::initTestCase()
{
    QVERIFY(m_dir.isValid());
    if (!available())
        QSKIP("poppler's command-line tools are not installed");
}

// A subtitle longer than its place (a comparison's device changes) pushes the table down rather
// than being cut; the rows it displaces go to the next page.
void TestReports::longSubtitle()
{
    ReportDocument document = table(20);
    QStringList lines;
    for (int i = 1; i <= 9; ++i)
        lines.append(u"Line%1 of the device changes"_s.arg(i));
    document.subtitle = lines.join(u'\n');
    QVERIFY(document.subtitleOverflowRows() > 0);
    QCOMPARE(document.pageCount(), 2);
    const QList<Page> read = written(document);
    QCOMPARE(read.size(), 2);
    const Word *last = find(read[0], u"Line9"_s);
    const Word *summary = find(read[0], u"Gamma"_s);
    const Word *band = find(read[0], u"Category"_s);
    QVERIFY(last && summary && band);
    QVERIFY(last->box.bottom() < summary->box.top());
    QVERIFY(summary->box.bottom() < band->box.top());
    // Every row once, over both pages.
    int rows = 0;
    for (const Page &page : read) {
        for (int i = 0; i < 20; ++i)
            rows += find(page, u"R%1"_s.arg(i)) != nullptr;
    }
    QCOMPARE(rows, 20);
}

void TestReports::layout_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("pages");
    QTest::newRow("no rows") << 0 << 1;
    QTest::newRow("first page full") << 20 << 1;
    QTest::newRow("one over") << 21 << 2;
    QTest::newRow("second page full") << 49 << 2;
    QTest::newRow("third page") << 50 << 3;
}

void TestReports::layout()
{
    QFETCH(int, count);
    QFETCH(int, pages);
    const ReportDocument document = table(count);
    QCOMPARE(document.pageCount(), pages);
    const QList<Page> read = written(document);
    const QMap<QString, QString> fields = info(pdf());
    QCOMPARE(fields.value(u"Pages"_s), QString::number(pages));
    QVERIFY2(fields.value(u"Page size"_s).startsWith(u"612 x 792 pts"_s),
             qPrintable(fields.value(u"Page size"_s)));
    QCOMPARE(read.size(), pages);

    for (int p = 0; p < pages; ++p) {
        const Page &page = read[p];
        const double band = p == 0 ? 214 : 30;
        for (qsizetype j = 0; j < columnLeft.size(); ++j)
            QVERIFY_AT(find(page, document.headings[j].section(u' ', 0, 0)), columnLeft[j],
                       band + 6);
        // The footer: note, maker and page number, the number flush with the band's right edge.
        QVERIFY_AT(find(page, u"Storage"_s), 44, 714);
        const Word *last = find(page, u"for."_s);
        QVERIFY(last && last->box.top() > 716 && last->box.bottom() < 752);
        const Word *maker = find(page, u"Marrowby"_s);
        QVERIFY_AT(maker, 44, 762);
        const Page footer = lineOf(page, *maker);
        QCOMPARE(text(footer), u"Marrowby \u00B7 Quillet Page %1 of %2"_s.arg(p + 1).arg(pages));
        QVERIFY2(qAbs(footer.last().box.right() - 568) < 1.5,
                 qPrintable(QString::number(footer.last().box.right())));
    }
    QList<QImage> images;
    for (int p = 1; p <= pages; ++p)
        images.append(image(pdf(), p));
    for (int i = 0; i < count; ++i) {
        const auto [p, top] = rowPlace(i);
        QVERIFY_AT(find(read[p], u"R%1"_s.arg(i)), columnLeft[0], top + 5);
        QVERIFY_AT(find(read[p], u"%1.5"_s.arg(i)), columnLeft[3], top + 5);
        // Shading alternates over the whole report: page 3 starts with an odd row, unshaded.
        const int grey = qGray(images[p].pixel(230, int(top + 11)));
        QVERIFY2(qAbs(grey - (i % 2 ? 255 : 245)) <= 2,
                 qPrintable(u"row %1: %2"_s.arg(i).arg(grey)));
    }
    const Word *none = find(read[0], u"No"_s);
    QCOMPARE(none != nullptr, count == 0);
    if (none) {
        QVERIFY_AT(none, 50, 255);
        QCOMPARE(text(lineOf(read[0], *none)), u"No apps match this report."_s);
    }
}

void TestReports::titleBlock()
{
    ReportDocument document = table(3);
    document.title = u"Rapport \u00B7 \u00E9t\u00E9"_s;
    const QList<Page> read = written(document);
    QCOMPARE(info(pdf()).value(u"Title"_s), document.title);
    QCOMPARE(info(pdf()).value(u"Creator"_s), u"Quillet"_s);
    const Page &page = read[0];
    QVERIFY_AT(find(page, u"QUILLET"_s), 44, 30);
    QVERIFY_AT(find(page, u"Rapport"_s), 44, 57);
    QVERIFY_AT(find(page, u"Alpha"_s), 44, 100);
    const Word *beta = find(page, u"Beta"_s);
    QVERIFY(beta && beta->box.top() > 106 && beta->box.bottom() < 158);
    QVERIFY_AT(find(page, u"Gamma"_s), 44, 162);
    const Word *delta = find(page, u"Delta"_s);
    QVERIFY(delta && delta->box.top() > 170 && delta->box.bottom() < 206);
}

void TestReports::cells_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("shown");
    const QString longText = u"Lorem ipsum dolor sit amet consectetur adipiscing elit sed do "
                             u"eiusmod tempor incididunt ut labore et dolore magna aliqua"_s;
    QTest::newRow("plain") << 0 << u"Field Notes"_s << u"Field Notes"_s;
    QTest::newRow("empty") << 1 << u""_s << u"\u2014"_s;
    const QList<std::pair<const char *, QString>> breaks{
        {"LF", u"\n"_s},      {"CR", u"\r"_s},     {"VT", u"\v"_s},     {"FF", u"\f"_s},
        {"NEL", u"\u0085"_s}, {"LS", u"\u2028"_s}, {"PS", u"\u2029"_s}, {"CR LF", u"\r\n"_s}};
    for (const auto &[name, brk] : breaks)
        QTest::newRow(name) << 0 << u"line one"_s + brk + u"line two"_s << u"line one line two"_s;
    QTest::newRow("long, first column") << 0 << longText << longText;
    QTest::newRow("long, last column") << 3 << longText << longText;
    QTest::newRow("long, folded") << 2 << u"a\nb\nc\nd\ne\nf\ng\nh\ni\nj\nk\nl\nm\nn"_s
                                  << u"a b c d e f g h i j k l m n"_s;
}

// One row, shown on one line inside its column: cut with an ellipsis when it does not fit.
void TestReports::cells()
{
    QFETCH(int, column);
    QFETCH(QString, cell);
    QFETCH(QString, shown);
    ReportDocument document = table(0);
    QStringList cells{u"x"_s, u"x"_s, u"x"_s, u"x"_s};
    cells[column] = cell;
    document.rows = {cells};
    const Page page = written(document).value(0);

    const double left = columnLeft[column];
    Page words;
    for (const Word &word : page) {
        if (near(word.box.top(), 246) && word.box.left() > left - 1 &&
            word.box.left() < left + widths[column] - 6)
            words.append(word);
    }
    QVERIFY(!words.isEmpty());
    QVERIFY_AT(&words.first(), left, 246);
    QCOMPARE(lineOf(page, words.first()).size(), 4 - 1 + words.size());
    const QString drawn = text(lineOf(words, words.first()));
    for (const Word &word : words)
        QVERIFY2(word.box.right() <= left + widths[column] - 6 + 0.5, qPrintable(word.text));
    if (drawn.endsWith(u'\u2026')) {
        QVERIFY2(drawn.size() < shown.size() && shown.startsWith(drawn.chopped(1)),
                 qPrintable(drawn));
        // Cut close to the edge, not early.
        QVERIFY(words.last().box.right() > left + widths[column] - 6 - 25);
    } else {
        QCOMPARE(drawn, shown);
    }
}

void TestReports::crLfIsTwoSpaces()
{
    ReportDocument document = table(0);
    document.rows = {{u"a\nb"_s}, {u"a\r\nb"_s}};
    const Page page = written(document).value(0);
    QList<double> gaps;
    for (const Word &word : page) {
        if (word.text == u"b") {
            const Page line = lineOf(page, word);
            QCOMPARE(text(line), u"a b \u2014 \u2014 \u2014"_s);
            gaps.append(line[1].box.left() - line[0].box.right());
        }
    }
    QCOMPARE(gaps.size(), 2);
    // One more space of 9-point text, about 2.3 points.
    QVERIFY2(gaps[1] - gaps[0] > 1.5 && gaps[1] - gaps[0] < 3.5,
             qPrintable(u"%1 %2"_s.arg(gaps[0]).arg(gaps[1])));
}

void TestReports::inventory_data()
{
    QTest::addColumn<Inventory>("inventory");
    QTest::addColumn<QList<Row>>("rows");
    QTest::addColumn<QString>("subtitle");
    QTest::addColumn<QString>("summary");
    auto sized = [](const QStringList &sizes) {
        QList<Row> rows;
        for (const QString &size : sizes)
            rows.append(Row({{Column::appName, u"App"_s}, {Column::totalMB, size}}));
        return rows;
    };
    // Midday UTC: the same date from UTC-11 to UTC+11.
    const QString march = QLocale::system().toString(QDate(2024, 3, 1), QLocale::ShortFormat);
    Inventory dated;
    dated.deviceName = u"Test iPhone"_s;
    dated.scannedAt = utc("2024-03-01T12:00:00");
    const QString scanned = u"Test iPhone \u00B7 Scanned "_s + march + u"\nCategory: Games"_s;
    auto summary = [](int n, const char *total, int complete) {
        return u"%1 \u00B7 Reported storage: %2 MB\nComplete sizes available for %3 of %1"_s
            .arg(n == 1 ? u"1 app"_s : u"%1 apps"_s.arg(n))
            .arg(QLatin1StringView(total))
            .arg(complete);
    };

    QTest::newRow("some sizes missing") << dated << sized({u"12.5"_s, u""_s, u"twelve"_s, u"3"_s})
                                        << scanned << summary(4, "15.50", 2);
    QTest::newRow("negative, infinite, not a number")
        << dated << sized({u"-1"_s, u"inf"_s, u"1e999"_s, u"nan"_s, u"-0.5"_s, u"2.5"_s}) << scanned
        << summary(6, "2.50", 1);
    QTest::newRow("units, exponent, plus sign")
        << dated << sized({u"4 MB"_s, u"1e1"_s, u"+0.5"_s, u"0"_s}) << scanned
        << summary(4, "10.50", 3);
    QTest::newRow("a tie, rounded as C rounds it")
        << dated << sized({u"0.125"_s}) << scanned << summary(1, "0.12", 1);
    QList<Row> unsized{Row({{Column::appName, u"A"_s}}), Row({{Column::appName, u"B"_s}})};
    QTest::newRow("no sizes at all") << dated << unsized << scanned << summary(2, "0.00", 0);

    Inventory unknown;
    QTest::newRow("no date, no device, no rows")
        << unknown << QList<Row>() << u"Unnamed device \u00B7 Scanned Unknown\nCategory: Games"_s
        << summary(0, "0.00", 0);
    Inventory blankName;
    blankName.deviceName = u""_s;
    QTest::newRow("empty device name")
        << blankName << QList<Row>() << u" \u00B7 Scanned Unknown\nCategory: Games"_s
        << summary(0, "0.00", 0);
    Inventory fromRows;
    fromRows.deviceName = u"Pad"_s;
    fromRows.rows = {Row({{Column::appName, u"A"_s}, {Column::scanDate, u"2023-05-06 07:08"_s}}),
                     Row({{Column::appName, u"B"_s}, {Column::scanDate, u"1999"_s}})};
    QTest::newRow("date of the first row")
        << fromRows << QList<Row>() << u"Pad \u00B7 Scanned 2023-05-06 07:08\nCategory: Games"_s
        << summary(0, "0.00", 0);
    Inventory both = fromRows;
    both.scannedAt = dated.scannedAt;
    QTest::newRow("scan date before the rows'")
        << both << QList<Row>() << u"Pad \u00B7 Scanned "_s + march + u"\nCategory: Games"_s
        << summary(0, "0.00", 0);
}

void TestReports::inventory()
{
    QFETCH(Inventory, inventory);
    QFETCH(QList<Row>, rows);
    QFETCH(QString, subtitle);
    QFETCH(QString, summary);
    const ReportDocument report = ReportDocument::inventory(inventory, rows, u"Category: Games"_s);
    QCOMPARE(report.subtitle, subtitle);
    QCOMPARE(report.summary, summary);
    QCOMPARE(report.rows.size(), rows.size());
}

void TestReports::inventoryColumns()
{
    Inventory inventory;
    const QList<Row> rows{Row({{Column::appName, u"Notes"_s},
                               {Column::category, u"Productivity"_s},
                               {Column::version, u"2.5"_s},
                               {Column::totalMB, u"3.23"_s},
                               {Column::bundleIdentifier, u"com.example.notes"_s}}),
                          Row({{Column::totalMB, u""_s}, {Column::appName, u"Maps"_s}})};
    const ReportDocument report = ReportDocument::inventory(inventory, rows, QString());
    QCOMPARE(report.title, u"App inventory"_s);
    QCOMPARE(report.headings, (QStringList{u"App"_s, u"Category"_s, u"Version"_s, u"Total MB"_s}));
    QCOMPARE(report.widths, widths);
    QCOMPARE(report.rows,
             (QList<QStringList>{{u"Notes"_s, u"Productivity"_s, u"2.5"_s, u"3.23"_s},
                                 {u"Maps"_s, u""_s, u""_s, u""_s}}));
    QCOMPARE(report.note,
             u"Storage is device-reported; totals exclude unavailable sizes. A dash means "
             u"unavailable, not zero. Scan dates are not installation dates. This report contains "
             u"the selected apps in their displayed order."_s);

    // Drawn, the missing cells read as dashes.
    const Page page = written(report).value(0);
    const Word *maps = find(page, u"Maps"_s);
    QVERIFY_AT(maps, columnLeft[0], 246 + rowHeight);
    QCOMPARE(text(lineOf(page, *maps)), u"Maps \u2014 \u2014 \u2014"_s);
}

void TestReports::csv_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QList<Row>>("rows");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray bom = "\xEF\xBB\xBF";
    const QStringList ab{u"A"_s, u"B"_s};
    auto one = [](const QString &value) { return QList<Row>{Row({{u"A"_s, value}})}; };
    QTest::newRow("header only") << ab << QList<Row>() << bom + "\"A\",\"B\"\r\n";
    QTest::newRow("rows in order, fields in the given order")
        << QStringList{u"B"_s, u"A"_s}
        << QList<Row>{Row({{u"A"_s, u"1"_s}, {u"B"_s, u"2"_s}}),
                      Row({{u"A"_s, u"3"_s}, {u"B"_s, u"4"_s}, {u"C"_s, u"5"_s}})}
        << bom + "\"B\",\"A\"\r\n\"2\",\"1\"\r\n\"4\",\"3\"\r\n";
    QTest::newRow("missing and empty")
        << ab << QList<Row>{Row({{u"B"_s, u""_s}})} << bom + "\"A\",\"B\"\r\n\"\",\"\"\r\n";
    const QList<std::tuple<const char *, QString, QByteArray>> values{
        {"quotes doubled", u"say \"hi\""_s, "\"say \"\"hi\"\"\""},
        {"comma", u"a,b"_s, "\"a,b\""},
        {"line break kept", u"two\r\nlines\n"_s, "\"two\r\nlines\n\""},
        {"not ASCII", u"Caf\u00E9 \u2014 \u00FC"_s, "\"Caf\xC3\xA9 \xE2\x80\x94 \xC3\xBC\""},
        {"minus", u"-5"_s, "\"'-5\""},
        {"equals after spaces", u"  =SUM(A1)"_s, "\"'  =SUM(A1)\""},
        {"at", u"@x"_s, "\"'@x\""},
        {"plus", u"+1"_s, "\"'+1\""},
        {"after a line break", u"\n\t=1"_s, "\"'\n\t=1\""},
        {"formula with quotes", u"=\"x\""_s, "\"'=\"\"x\"\"\""},
        {"equals inside", u"a=b"_s, "\"a=b\""},
        {"apostrophe already", u"'=1"_s, "\"'=1\""},
        {"spaces only", u"   "_s, "\"   \""},
    };
    for (const auto &[name, value, quoted] : values)
        QTest::newRow(name) << QStringList{u"A"_s} << one(value)
                            << bom + "\"A\"\r\n" + quoted + "\r\n";
}

void TestReports::csv()
{
    QFETCH(QStringList, fields);
    QFETCH(QList<Row>, rows);
    QFETCH(QByteArray, expected);
    QCOMPARE(CsvExport::content(fields, rows), expected);
}

void TestReports::unusedPath()
{
    const QTemporaryDir dir;
    const QString folder = dir.path();
    const QString stem = u"Test iPhone-03-01-2024"_s;
    auto path = [&](const QString &name) { return folder + u'/' + name; };
    writeBytes(path(stem + u"-2.csv"_s), "old");
    QCOMPARE(CsvExport::unusedPath(folder, stem), path(stem + u".csv"_s));
    writeBytes(path(stem + u".csv"_s), "old");
    QCOMPARE(CsvExport::unusedPath(folder, stem), path(stem + u"-3.csv"_s));
    // A folder takes the name as much as a file does.
    QVERIFY(QDir().mkpath(path(stem + u"-3.csv"_s)));
    QCOMPARE(CsvExport::unusedPath(folder, stem), path(stem + u"-4.csv"_s));
}

void TestReports::writeFailure_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("missing folder") << u"missing/report.pdf"_s;
    QTest::newRow("file in the way") << u"plain.txt/report.pdf"_s;
    QTest::newRow("folder in the way") << u"folder"_s;
}

void TestReports::writeFailure()
{
    QFETCH(QString, target);
    const QTemporaryDir dir;
    writeBytes(dir.filePath(u"plain.txt"_s), "plain");
    QVERIFY(QDir().mkpath(dir.filePath(u"folder"_s)));
    const QString path = dir.filePath(target);
    QVERIFY_THROWS_EXCEPTION(Failure, table(2).write(path));
    QCOMPARE(readBytes(dir.filePath(u"plain.txt"_s)), QByteArray("plain"));
    QVERIFY(QFileInfo(dir.filePath(u"folder"_s)).isDir());
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             (QStringList{u"folder"_s, u"plain.txt"_s}));
}

// A write that breaks off half way (here at a file size limit, which root is held to as
// well) leaves the old report whole.
void TestReports::failedWriteKeepsTheFile()
{
    const QTemporaryDir dir;
    const QString path = dir.filePath(u"report.pdf"_s);
    writeBytes(path, "old report");
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool thrown = false;
    try {
        table(30).write(path);
    } catch (const Failure &) {
        thrown = true;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(thrown);
    QCOMPARE(readBytes(path), QByteArray("old report"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"report.pdf"_s});

    // Without the limit the same write goes through.
    table(30).write(path);
    QVERIFY(readBytes(path).startsWith("%PDF-"));
}

// Each column's cells come back from the workbook as what they are: text stays the text it was,
// sizes are numbers (or nothing), the scan date is a day.
void TestReports::spreadsheetCells_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("type"); // empty: no cell at all
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("format");
    QTest::newRow("version 1.10") << Column::version << u"1.10"_s << u"text"_s << u"1.10"_s
                                  << u"General"_s;
    QTest::newRow("version 2.0") << Column::version << u"2.0"_s << u"text"_s << u"2.0"_s
                                 << u"General"_s;
    QTest::newRow("a formula is text")
        << Column::version << u"=1+1"_s << u"text"_s << u"=1+1"_s << u"General"_s;
    QTest::newRow("emoji") << Column::category << u"Fun \U0001F600"_s << u"text"_s
                           << u"Fun \U0001F600"_s << u"General"_s;
    QTest::newRow("looks escaped")
        << Column::category << u"a_x0041_b"_s << u"text"_s << u"a_x0041_b"_s << u"General"_s;
    QTest::newRow("control character")
        << Column::category << u"a\u0001b"_s << u"text"_s << u"a\u0001b"_s << u"General"_s;
    QTest::newRow("size") << Column::totalMB << u"12.50"_s << u"n"_s << u"12.5"_s << u"0.00"_s;
    QTest::newRow("zero size") << Column::appMB << u"0.00"_s << u"n"_s << u"0"_s << u"0.00"_s;
    QTest::newRow("unknown size") << Column::dataMB << u""_s << u""_s << u""_s << u""_s;
    QTest::newRow("size not a number") << Column::totalMB << u"n/a"_s << u""_s << u""_s << u""_s;
    // The scan's day keeps the scan's time; another day (an imported row) stays a day.
    QTest::newRow("scan date") << Column::scanDate << u"03/05/2024"_s << u"n"_s
                               << u"45356.60416666666"_s << u"yyyy-mm-dd hh:mm"_s;
    QTest::newRow("another day") << Column::scanDate << u"03/06/2024"_s << u"n"_s << u"45357"_s
                                 << u"mm/dd/yyyy"_s;
    QTest::newRow("scan date not a date")
        << Column::scanDate << u"13/45/2024"_s << u"text"_s << u"13/45/2024"_s << u"General"_s;
}

void TestReports::spreadsheetCells()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, type);
    QFETCH(QString, value);
    QFETCH(QString, format);
    Inventory inventory;
    inventory.fields = {Column::appName, field};
    inventory.rows = {{{Column::appName, u"Maps"_s}, {field, text}}};
    inventory.deviceName = u"Ann\u2019s iPhone"_s;
    inventory.scannedAt = QDateTime(QDate(2024, 3, 5), QTime(14, 30), QTimeZone::utc());
    const QString path = m_dir.filePath(u"apps.xlsx"_s);
    SpreadsheetExport::inventory(path, inventory, inventory.fields, inventory.rows, {});

    const auto sheets = SpreadsheetReader::read(path);
    QCOMPARE(sheets.keys(), (QStringList{u"Apps"_s, u"Device"_s}));
    const SpreadsheetReader::Sheet apps = sheets[u"Apps"_s];
    QCOMPARE(apps.value(u"B1"_s).value, field);
    QCOMPARE(apps.value(u"A2"_s).value, u"Maps"_s);
    QCOMPARE(apps.contains(u"B2"_s), !type.isEmpty());
    if (!type.isEmpty()) {
        QCOMPARE(apps[u"B2"_s].type, type);
        QCOMPARE(apps[u"B2"_s].value, value);
        QCOMPARE(apps[u"B2"_s].format, format);
    }
    const SpreadsheetReader::Sheet device = sheets[u"Device"_s];
    QCOMPARE(device.value(u"B2"_s).value, u"Ann\u2019s iPhone"_s);
    // 5 March 2024, 14:30, as a day and its fraction.
    QCOMPARE(device.value(u"B4"_s).value.toDouble(), 45356 + 14.5 / 24);
    QVERIFY(QFileInfo(path).permissions().testFlag(QFileDevice::ReadOther));
}

// More columns than a sheet holds: the export fails with its reason rather than dropping some.
void TestReports::spreadsheetTooWide()
{
    Inventory inventory;
    for (int i = 0; i <= 16'384; ++i)
        inventory.fields << u"c"_s + QString::number(i);
    const QString path = m_dir.filePath(u"wide.xlsx"_s);
    try {
        SpreadsheetExport::inventory(path, inventory, inventory.fields, {}, {});
        QFAIL("written");
    } catch (const Failure &error) {
        QVERIFY2(error.description().contains(u"a sheet holds at most 16,384 columns"_s),
                 qPrintable(error.description()));
    }
    QVERIFY(!QFileInfo::exists(path));
}

void TestReports::hostileText_data()
{
    QTest::addColumn<QString>("text");
    // What every reader finds: what no file may hold becomes U+FFFD, the rest is kept.
    QTest::addColumn<QString>("readBack");
    const QChar high(0xD800);
    const QChar low(0xDC00);
    const QString replaced(QChar::ReplacementCharacter);
    QTest::newRow("noncharacters") << u"A\uFFFE\uFFFFZ"_s << u"A"_s + replaced + replaced + u"Z"_s;
    QTest::newRow("lone high surrogate") << u"A"_s + high + u"Z"_s << u"A"_s + replaced + u"Z"_s;
    QTest::newRow("lone low surrogate") << u"A"_s + low + u"Z"_s << u"A"_s + replaced + u"Z"_s;
    QTest::newRow("pair reversed")
        << u"A"_s + low + high + u"Z"_s << u"A"_s + replaced + replaced + u"Z"_s;
    QTest::newRow("zero character") << u"A\u0000Z"_s << u"A"_s + replaced + u"Z"_s;
    QTest::newRow("C0 controls") << u"A\u0001\u001B\u007FZ"_s << u"A\u0001\u001B\u007FZ"_s;
    QTest::newRow("C1 controls") << u"A\u0085\u009BZ"_s << u"A\u0085\u009BZ"_s;
    QTest::newRow("direction overrides") << u"A\u202E\u2066Z"_s << u"A\u202E\u2066Z"_s;
    QTest::newRow("isolate closed early") << u"A\u2069\u202EZ"_s << u"A\u2069\u202EZ"_s;
    QTest::newRow("right to left")
        << u"A \u062C\u0647\u0627\u0632 Z"_s << u"A \u062C\u0647\u0627\u0632 Z"_s;
    QTest::newRow("byte order mark, zero width") << u"A\uFEFF\u200BZ"_s << u"A\uFEFF\u200BZ"_s;
    QTest::newRow("emoji pair") << u"A\U0001F600Z"_s << u"A\U0001F600Z"_s;
    QTest::newRow("markup") << u"A<b>&amp;</b>]]>Z"_s << u"A<b>&amp;</b>]]>Z"_s;
    QTest::newRow("looks escaped") << u"A_x0041_Z"_s << u"A_x0041_Z"_s;
    QTest::newRow("quotes, commas") << u"A\",\"Z"_s << u"A\",\"Z"_s;
}

// One app and one device named with the same text, through every writer, read back by a reader
// of another make: nothing refuses the file, and the text comes back.
void TestReports::hostileText()
{
    QFETCH(QString, text);
    QFETCH(QString, readBack);
    Inventory inventory;
    inventory.fields = {Column::appName, Column::version};
    inventory.rows = {{{Column::appName, text}, {Column::version, u"1.0"_s}}};
    inventory.deviceName = text;
    inventory.scanID = u"AAAAAAAA-0000-4000-8000-000000000001"_s;
    inventory.scannedAt = QDateTime(QDate(2024, 3, 5), QTime(14, 30), QTimeZone::utc());

    const QString csv = m_dir.filePath(u"apps.csv"_s);
    writeBytes(csv, CsvExport::content(inventory.fields, inventory.rows));
    QProcess python;
    python.start(u"python3"_s,
                 {u"-c"_s,
                  u"import csv, json, sys; json.dump(list(csv.reader(open("
                  "sys.argv[1], newline='', encoding='utf-8-sig', "
                  "errors='strict'))), sys.stdout)"_s,
                  csv});
    QVERIFY(python.waitForFinished(20000));
    QCOMPARE(python.exitCode(), 0);
    const QJsonArray lines = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    QCOMPARE(lines.at(1).toArray().at(0).toString(), readBack);

    const QString xlsx = m_dir.filePath(u"apps.xlsx"_s);
    SpreadsheetExport::inventory(xlsx, inventory, inventory.fields, inventory.rows, {});
    const auto sheets = SpreadsheetReader::read(xlsx);
    QCOMPARE(sheets.value(u"Apps"_s).value(u"A2"_s).value, readBack);
    QCOMPARE(sheets.value(u"Device"_s).value(u"B2"_s).value, readBack);

    // Our own reader, which refuses what a strict one would.
    const Inventory json = Inventory::fromJson(inventory.toJson(), u"inventory.json"_s);
    QCOMPARE(json.rows.value(0).value(Column::appName), readBack);
    QCOMPARE(json.deviceName, readBack);

    // JSON escapes what UTF-8 cannot hold, so the notes come back exactly as they were.
    const QString notes = m_dir.filePath(u"snapshot-notes.json"_s);
    SnapshotAnnotation::writeMap(notes, {{*inventory.scanID, {text, text}}});
    const SnapshotAnnotation saved = SnapshotAnnotation::readMap(notes).value(*inventory.scanID);
    QCOMPARE(saved.name, text);
    QCOMPARE(saved.notes, text);

    const QString pdf = m_dir.filePath(u"apps.pdf"_s);
    ReportDocument::inventory(inventory, inventory.rows, {}).write(pdf);
    QCOMPARE(info(pdf).value(u"Pages"_s), u"1"_s);
    QString shown;
    for (const Word &word : words(pdf).value(0))
        shown += word.text + u' ';
    QVERIFY2(shown.contains(u"A"_s) && shown.contains(u"Z"_s), qPrintable(shown));
    // The device's name cannot turn the words after it around.
    const QString date = QLocale::system().toString(QDate(2024, 3, 5), QLocale::ShortFormat);
    QVERIFY2(shown.contains(u"Scanned "_s + date), qPrintable(shown));
}

void TestReports::comparisonSpreadsheet()
{
    Inventory a;
    a.rows = {{{Column::appName, u"Maps"_s},
               {Column::bundleIdentifier, u"com.a"_s},
               {Column::totalMB, u"10.00"_s}},
              {{Column::appName, u"Notes"_s}, {Column::bundleIdentifier, u"com.b"_s}}};
    Inventory b;
    b.rows = {{{Column::appName, u"Maps"_s},
               {Column::bundleIdentifier, u"com.a"_s},
               {Column::totalMB, u"11.25"_s}}};
    const QList<ScanDifference> rows{
        {u"Maps"_s, u"com.a"_s, u"Travel"_s, ScanDifference::versionChanged, u"1.10"_s, u"2.0"_s,
         u"+1.25"_s},
        {u"Notes"_s, u"com.b"_s, u""_s, ScanDifference::removed, u"1.0"_s, u""_s, u""_s},
    };
    const QString path = m_dir.filePath(u"comparison.xlsx"_s);
    SpreadsheetExport::comparison(path, u"Scan A"_s, u"Scan B"_s, a, b,
                                  ScanComparison::compare(a, b), rows, true);

    const auto sheets = SpreadsheetReader::read(path);
    QCOMPARE(sheets.keys(), (QStringList{u"Comparison"_s, u"Scans"_s, u"Summary"_s}));
    const SpreadsheetReader::Sheet sheet = sheets[u"Comparison"_s];
    auto values = [&](int row) {
        QStringList line;
        for (char column = 'A'; column <= 'I'; ++column)
            line << sheet.value(QLatin1Char(column) + QString::number(row)).value;
        return line;
    };
    QCOMPARE(values(1),
             (QStringList{u"App"_s, Column::bundleIdentifier, Column::category, u"Difference"_s,
                          u"Version A"_s, u"Version B"_s, u"Total MB A"_s, u"Total MB B"_s,
                          u"Change MB"_s}));
    QCOMPARE(values(2),
             (QStringList{u"Maps"_s, u"com.a"_s, u"Travel"_s, ScanDifference::versionChanged,
                          u"1.10"_s, u"2.0"_s, u"10"_s, u"11.25"_s, u"1.25"_s}));
    QCOMPARE(values(3),
             (QStringList{u"Notes"_s, u"com.b"_s, u""_s, ScanDifference::removed, u"1.0"_s, u""_s,
                          u""_s, u""_s, u""_s}));
    for (const QString &cell : {u"G2"_s, u"H2"_s, u"I2"_s})
        QCOMPARE(sheet[cell].type, u"n"_s);
    QCOMPARE(sheets[u"Scans"_s].value(u"B3"_s).value, u"Scan B"_s);
}

void TestReports::comparisonContext_data()
{
    QTest::addColumn<QString>("deviceB");
    QTest::addColumn<QString>("versionB");
    QTest::addColumn<bool>("changesOnly");
    // Differences, Devices, Device changes, Apps with no measured change.
    QTest::addColumn<QStringList>("summary");
    const QString phone = u"00008110-001A2B3C4D5E801E"_s;
    const QString battery = u"battery 90% \u2192 82%"_s;
    QTest::newRow("an update, unchanged left out")
        << phone << u"1.1"_s << true
        << QStringList{u"1 difference across 2 apps"_s, u"Same device"_s, battery, u"Left out"_s};
    QTest::newRow("two devices, all included")
        << u"00008030-000E1D2C3B4A5968"_s << u"1.1"_s << false
        << QStringList{u"1 difference across 2 apps"_s, u"Different or unidentified devices"_s,
                       battery, u"Included"_s};
    QTest::newRow("no differences") << phone << u"1.0"_s << true
                                    << QStringList{u"No differences between A and B"_s,
                                                   u"Same device"_s, battery, u"Left out"_s};
}

// What the window and the PDF say of a comparison besides its rows, read back.
void TestReports::comparisonContext()
{
    QFETCH(QString, deviceB);
    QFETCH(QString, versionB);
    QFETCH(bool, changesOnly);
    QFETCH(QStringList, summary);
    Inventory a;
    a.rows = {{{Column::appName, u"Maps"_s},
               {Column::bundleIdentifier, u"com.a"_s},
               {Column::version, u"1.0"_s}},
              {{Column::appName, u"Notes"_s}, {Column::bundleIdentifier, u"com.b"_s}}};
    a.deviceID = u"00008110-001A2B3C4D5E801E"_s;
    DeviceFacts facts;
    facts.batteryLevel = 90;
    a.setDeviceFacts(facts);
    Inventory b = a;
    b.rows[0].insert(Column::version, versionB);
    b.deviceName = u"Work iPad"_s;
    b.deviceID = deviceB;
    // Noon in New York; the workbook keeps UTC.
    b.scannedAt = QDateTime(QDate(2024, 4, 1), QTime(12, 0), QTimeZone("America/New_York"));
    facts.batteryLevel = 82;
    b.setDeviceFacts(facts);
    const ScanComparison comparison = ScanComparison::compare(a, b);
    const QString path = m_dir.filePath(u"context.xlsx"_s);
    SpreadsheetExport::comparison(path, u"Scan A"_s, u"Scan B"_s, a, b, comparison,
                                  comparison.shown(changesOnly), changesOnly);

    auto sheets = SpreadsheetReader::read(path);
    auto line = [&](const QString &sheet, int row) {
        QStringList values;
        for (char column = 'A'; column <= 'H'; ++column)
            values << sheets[sheet].value(QLatin1Char(column) + QString::number(row)).value;
        return values;
    };
    QStringList scanB = line(u"Scans"_s, 3);
    QCOMPARE(scanB.takeAt(4).toDouble(), 45383 + 16.0 / 24);
    QCOMPARE(scanB,
             (QStringList{u"B"_s, u"Scan B"_s, u"Work iPad"_s, deviceB, u""_s, u""_s, u"2"_s}));
    QCOMPARE(sheets[u"Scans"_s][u"E3"_s].format, u"yyyy-mm-dd hh:mm"_s);
    QCOMPARE(sheets[u"Scans"_s][u"H3"_s].type + sheets[u"Scans"_s][u"H3"_s].format, u"n0"_s);
    QStringList found;
    for (int row = 2; row <= 5; ++row)
        found << line(u"Summary"_s, row).value(1);
    QCOMPARE(found, summary);
    // No line about the apps among them, for a script to take for one.
    QCOMPARE(sheets[u"Comparison"_s].contains(u"A2"_s),
             comparison.changedCount() > 0 || !changesOnly);
}

int main(int argc, char **argv)
{
    // Fonts need a QGuiApplication; drawing a PDF needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TestReports test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_reports.moc"
