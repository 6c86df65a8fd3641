// Timings of the operations a user waits for. Not run by CI: run it by hand on a quiet machine.

#include "app/AppDelegate.h"
#include "bench/Measure.h"
#include "common/DataFile.h"
#include "common/Locations.h"
#include "history/HistoryStore.h"
#include "history/ScanComparison.h"
#include "reports/CsvExport.h"
#include "reports/ReportDocument.h"
#include "scanning/AppList.h"
#include "scanning/Column.h"
#include "scanning/Inventory.h"
#include "scanning/LegacyImport.h"
#include "scanning/RowBuilder.h"
#include "scanning/Scanner.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

Row appRow(int index)
{
    const QString n = QString::number(index);
    return {
        {Column::appName, QStringLiteral("Some App ") + n},
        {Column::category, QStringLiteral("Productivity")},
        {Column::bundleIdentifier, QStringLiteral("com.example.company.app") + n},
        {Column::version,
         QStringLiteral("%1.%2.%3")
             .arg(QString::number(index % 20), QString::number(index % 7),
                  QString::number(index % 31))},
        {Column::appType, QStringLiteral("User")},
        {Column::appMB, QStringLiteral("%1.25").arg(index % 500)},
        {Column::dataMB, QStringLiteral("%1.50").arg(index % 900)},
        {Column::totalMB, QStringLiteral("%1.75").arg(index % 1400)},
        {Column::scanDate, QStringLiteral("03/05/2024")},
        {Column::deviceIdentifier, QStringLiteral("00008110-001A2B3C4D5E801E")},
        {Column::updateAvailable, QStringLiteral("No")},
        {Column::storeVersion, QStringLiteral("1.2.3")},
        {Column::storeChecked, QStringLiteral("1709650800.123456")},
        {Column::artworkURL,
         QStringLiteral("https://is1-ssl.mzstatic.com/image/thumb/Purple116/"
                        "v4/aa/bb/cc/AppIcon-%1/512x512bb.jpg")
             .arg(index)},
    };
}

Inventory inventoryOf(int apps, int seed)
{
    Inventory inventory;
    inventory.fields = Column::scanFields();
    for (int i = 0; i < apps; ++i)
        inventory.rows.append(appRow(i + seed));
    inventory.deviceName = QStringLiteral("Ann’s iPhone");
    inventory.scanID = HistoryStore::newIdentity();
    inventory.scannedAt = QDateTime::fromSecsSinceEpoch(1700000000 + seed * 1000);
    inventory.deviceID = QStringLiteral("00008110-001A2B3C4D5E801E");
    return inventory;
}

// Median of several runs, in milliseconds.
double measure(const std::function<void()> &work, int runs = 7)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// A device listing of `apps` apps, as the app-list tool prints it.
QByteArray appListing(int apps)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC "
                     "\"-//Apple//DTD PLIST 1.0//EN\" "
                     "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist "
                     "version=\"1.0\">\n<array>\n";
    for (int i = 0; i < apps; ++i) {
        const QByteArray n = QByteArray::number(i);
        xml += "\t<dict>\n\t\t<key>ApplicationType</key>\n\t\t<string>User</string>\n"
               "\t\t<key>CFBundleDisplayName</key>\n\t\t<string>Some App " +
            n +
            "</string>\n\t\t<key>CFBundleIdentifier</key>\n\t\t<string>com.example.company.app" +
            n + "</string>\n\t\t<key>CFBundleName</key>\n\t\t<string>SomeApp" + n +
            "</string>\n\t\t<key>CFBundleShortVersionString</key>\n\t\t<string>" +
            QByteArray::number(i % 20) + "." + QByteArray::number(i % 7) +
            "</string>\n\t\t<key>CFBundleVersion</key>\n\t\t<string>" + n +
            "</string>\n\t\t<key>DynamicDiskUsage</key>\n\t\t<integer>" +
            QByteArray::number(qint64(i) * 7919 * 1024) +
            "</integer>\n\t\t<key>StaticDiskUsage</key>\n\t\t<integer>" +
            QByteArray::number(qint64(i) * 104729 * 10) + "</integer>\n\t</dict>\n";
    }
    return xml + "</array>\n</plist>\n";
}

// The window over a large history, in a process of its own so that its memory is its own: start
// to table, choosing a saved scan in the picker, opening Compare Scans.
int windowOverHistory(const QString &folder)
{
    Locations::setStorage(folder);
    QTemporaryDir settings;
    useOwnSettings(settings);
    QElapsedTimer timer;
    timer.start();
    AppDelegate delegate;
    delegate.launch();
    while (delegate.isBusy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    QCoreApplication::processEvents();
    const double start = double(timer.nsecsElapsed()) / 1e6;
    auto *picker = delegate.window()->findChild<QComboBox *>(QStringLiteral("historyPicker"));
    timer.restart();
    picker->setCurrentIndex(picker->count() / 2);
    delegate.selectHistory();
    QCoreApplication::processEvents();
    const double select = double(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    delegate.compareScans();
    QCoreApplication::processEvents();
    const double compare = double(timer.nsecsElapsed()) / 1e6;
    std::printf("window, %d saved scans: start to table %.0f ms, choosing a saved scan %.0f ms, "
                "Compare Scans %.0f ms, %.0f MB resident\n",
                int(delegate.savedScans().size()), start, select, compare, residentMB());
    return 0;
}

// Thousands of saved scans of 400 apps: quillet-cli history without and with the index, and the
// window. Writes about 155 KB a scan into a temporary folder first.
int largeHistory(int scans, const QString &self)
{
    QTemporaryDir storage;
    const HistoryStore history(storage.path());
    for (int i = 0; i < scans; ++i)
        history.archive(inventoryOf(400, i));
    inventoryOf(400, scans).writeFile(storage.filePath(QStringLiteral("inventory.json")));
    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/app/quillet-cli");
    const QStringList listing{cli, QStringLiteral("history"), QStringLiteral("--data-dir"),
                              storage.path()};
    const auto [cold, coldMB] = runMeasured(listing);
    std::vector<double> times;
    double warmMB = 0;
    for (int run = 0; run < 5; ++run) {
        const auto [time, resident] = runMeasured(listing);
        times.push_back(time);
        warmMB = std::max(warmMB, resident);
    }
    std::sort(times.begin(), times.end());
    std::printf("quillet-cli history, %d scans of 400 apps: %.0f ms and %.0f MB without the "
                "index, %.0f ms and %.0f MB with it\n",
                scans, cold, coldMB, times[times.size() / 2], warmMB);
    runMeasured({self, QStringLiteral("--window-over"), storage.path()}, true);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == u"--window-over")
        return windowOverHistory(arguments.value(2));
    if (arguments.value(1) == u"--large-history")
        return largeHistory(arguments.value(2, QStringLiteral("2000")).toInt(),
                            QCoreApplication::applicationFilePath());

    QTemporaryDir storage;
    const HistoryStore history(storage.path());
    qint64 bytes = 0;
    for (int i = 0; i < 200; ++i) {
        const Inventory inventory = inventoryOf(400, i);
        bytes += inventory.toJson().size();
        history.archive(inventory);
    }
    int listed = 0;
    const double listing = measure([&] { listed = int(history.list().scans.size()); });
    std::printf("history list: %d archives, %.1f MB: %.1f ms\n", listed, double(bytes) / 1e6,
                listing);

    const Inventory large = inventoryOf(5000, 0);
    QByteArray largeJson;
    const double encoding = measure([&] { largeJson = large.toJson(); });
    qsizetype named = 0;
    const double decoding = measure([&] {
        const Inventory back = Inventory::fromJson(largeJson, QStringLiteral("inventory.json"));
        Q_ASSERT(back.rows.size() == 5000);
    });
    const double header = measure([&] {
        Inventory::headerFromJson(largeJson, QStringLiteral("inventory.json"), named);
        Q_ASSERT(named == 5000);
    });
    std::printf("inventory JSON, 5000 apps: encode %.1f ms, decode %.1f ms, header and app count "
                "%.1f ms\n",
                encoding, decoding, header);

    // A saved row or an old export whose every cell is a column of its own; goal: under 100 ms.
    constexpr int wideColumns = 50'000;
    Inventory wide;
    Row wideRow;
    QByteArray wideCSV, wideCells;
    for (int i = 0; i < wideColumns; ++i) {
        const QString name = QStringLiteral("c") + QString::number(i);
        wideRow.append(name, QStringLiteral("v"));
        wideCSV += (i ? "," : "") + name.toUtf8();
        wideCells += i ? ",v" : "v";
    }
    wide.rows.append(wideRow);
    const QByteArray wideJson = wide.toJson();
    wideCSV += '\n' + wideCells + '\n';
    const double wideDecode = measure([&] {
        const Inventory back = Inventory::fromJson(wideJson, QStringLiteral("inventory.json"));
        Q_ASSERT(back.rows.first().size() == wideColumns);
    });
    const double wideImport = measure([&] {
        const QList<Row> rows = LegacyImport::parseCSV(QString::fromUtf8(wideCSV));
        Q_ASSERT(rows.first().size() == wideColumns);
    });
    std::printf("one row of %d columns: JSON decode %.1f ms, CSV import %.1f ms\n", wideColumns,
                wideDecode, wideImport);

    const QByteArray appList = appListing(2000);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const double rows = measure([&] {
        const QList<Row> built =
            RowBuilder::makeRows(Scanner::parseAppList(appList), QStringLiteral("D"), {}, now);
        Q_ASSERT(built.size() == 2000);
    });
    std::printf("app list to sorted rows, 2000 apps, %.1f MB: %.1f ms\n",
                double(appList.size()) / 1e6, rows);

    CategoryEntry::Map cache;
    QStringList identifiers;
    const double checked = double(QDateTime::currentSecsSinceEpoch());
    for (int i = 0; i < 2000; ++i) {
        const QString identifier = QStringLiteral("com.example.company.app%1").arg(i);
        identifiers.append(identifier);
        cache.insert(identifier,
                     {QStringLiteral("Productivity"), checked, QStringLiteral("1.2.3"),
                      QStringLiteral("https://is1-ssl.mzstatic.com/image/%1/512x512bb.jpg").arg(i),
                      1});
    }
    DataFile::write(storage.filePath(QStringLiteral("categories.json")),
                    CategoryEntry::encodeMap(cache));
    Scanner scanner(storage.path(), storage.path());
    scanner.storeLookup().setURL(QUrl(QStringLiteral("http://127.0.0.1:9/lookup")));
    const double lookup = measure([&] {
        const QHash<QString, QString> categories = scanner.storeLookup().categories(identifiers);
        Q_ASSERT(categories.size() == 2000);
    });
    std::printf("category cache read and freshness, 2000 apps: %.1f ms\n", lookup);

    // One keystroke in the search field: filter and sort 5000 apps by name.
    const AppList apps(large.rows);
    apps.visible(QString(), AppList::allCategories, Column::appName); // first sort makes keys
    const QStringList typed{QStringLiteral("s"), QStringLiteral("so"), QStringLiteral("som"),
                            QStringLiteral("some app 1")};
    int keystroke = 0;
    const double filtering =
        measure([&] {
            const QString query = typed[keystroke++ % typed.size()];
            apps.visible(query, AppList::allCategories, Column::totalMB, Qt::DescendingOrder);
            apps.visible(query, AppList::allCategories, Column::appName, Qt::AscendingOrder);
        }) /
        2;
    std::printf("filter and sort for one keystroke, 5000 apps: %.2f ms\n", filtering);

    // Comparing two scans of 5000 apps, as every control of the comparison window does.
    Inventory later = large;
    for (qsizetype i = 0; i < later.rows.size(); i += 7)
        later.rows[i].insert(Column::version, QStringLiteral("99.0"));
    const double comparing = measure([&] {
        const ScanComparison comparison = ScanComparison::compare(large, later);
        Q_ASSERT(comparison.differences.size() == 5000);
    });
    std::printf("compare two scans of 5000 apps: %.1f ms\n", comparing);

    // Exports of what the table shows.
    const QList<Row> reportRows = large.rows.mid(0, 2000);
    const QString reportPath = storage.filePath(QStringLiteral("report.pdf"));
    const double report = measure(
        [&] {
            ReportDocument::inventory(large, reportRows, QStringLiteral("Category: All categories"))
                .write(reportPath);
        },
        3);
    std::printf("inventory report, 2000 rows: %.1f ms\n", report);
    const double csv = measure([&] {
        DataFile::write(storage.filePath(QStringLiteral("apps.csv")),
                        CsvExport::content(large.fields, large.rows));
    });
    std::printf("CSV export, 5000 rows: %.1f ms\n", csv);

    // From start to the loaded table, with a 5000-app inventory and the history above.
    large.writeFile(storage.filePath(QStringLiteral("inventory.json")));
    Locations::setStorage(storage.path());
    QTemporaryDir settings;
    useOwnSettings(settings);
    const double startUp = measure(
        [&] {
            AppDelegate delegate;
            delegate.launch();
            while (delegate.isBusy())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            Q_ASSERT(delegate.visibleRows().size() == 5000);
        },
        3);
    std::printf("start to loaded table, 5000 apps and %d saved scans: %.1f ms\n", listed + 1,
                startUp);
    return 0;
}
