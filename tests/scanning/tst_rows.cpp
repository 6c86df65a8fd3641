#include "scanning/Column.h"
#include "scanning/PropertyList.h"
#include "scanning/RowBuilder.h"
#include "scanning/RowFilter.h"
#include "scanning/ScanError.h"
#include "scanning/StoreLookup.h"
#include "scanning/device/DeviceFacts.h"
#include "scanning/device/DeviceWarnings.h"
#include "tests/InventoryPrinting.h"
#include "tests/TestFiles.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace TestFiles;

using OptionalText = std::optional<QString>;
using OptionalNumber = std::optional<double>;

namespace {

QVariantMap app(const QString &identifier, const QString &name)
{
    return {{u"CFBundleIdentifier"_s, identifier}, {u"CFBundleDisplayName"_s, name}};
}

QStringList names(const QList<Row> &rows)
{
    QStringList result;
    for (const Row &row : rows)
        result.append(row.value(Column::appName));
    return result;
}

} // namespace

class TestRows : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void updateAvailability_data();
    void updateAvailability();
    void size_data();
    void size();
    void storedSize_data();
    void storedSize();
    void megabytesAndStoreChecked();
    void cells();
    void sourceAndOffload_data();
    void sourceAndOffload();
    void nameOrder_data();
    void nameOrder();
    void appWithoutIdentifierFailsTheWhole_data();
    void appWithoutIdentifierFailsTheWhole();
    void storeColumns();
    void filters_data();
    void filters();
};

void TestRows::updateAvailability_data()
{
    QTest::addColumn<QString>("installed");
    QTest::addColumn<OptionalText>("store");
    QTest::addColumn<OptionalNumber>("age");
    QTest::addColumn<QString>("expected");
    const OptionalNumber hour = 3600;
    QTest::newRow("1.2 < 1.10") << u"1.2"_s << OptionalText(u"1.10"_s) << hour << u"Yes"_s;
    QTest::newRow("2.0 = 2") << u"2.0"_s << OptionalText(u"2"_s) << hour << u"No"_s;
    QTest::newRow("1.2.3 > 1.2") << u"1.2.3"_s << OptionalText(u"1.2"_s) << hour << u"No"_s;
    QTest::newRow("1.2 < 1.2.1") << u"1.2"_s << OptionalText(u"1.2.1"_s) << hour << u"Yes"_s;
    QTest::newRow("letters") << u"1.0b"_s << OptionalText(u"1.1"_s) << hour << u"Unknown"_s;
    QTest::newRow("empty installed") << u""_s << OptionalText(u"1"_s) << hour << u"Unknown"_s;
    QTest::newRow("space") << u"1.0 "_s << OptionalText(u"1.1"_s) << hour << u"Unknown"_s;
    QTest::newRow("empty component") << u"1..2"_s << OptionalText(u"1.3"_s) << hour << u"Unknown"_s;
    QTest::newRow("arabic digits")
        << u"\u0661.\u0662"_s << OptionalText(u"1.3"_s) << hour << u"Unknown"_s;
    QTest::newRow("twenty digits")
        << u"1.12345678901234567890"_s << OptionalText(u"1.2"_s) << hour << u"Unknown"_s;
    QTest::newRow("largest 64-bit")
        << u"9223372036854775806"_s << OptionalText(u"9223372036854775807"_s) << hour << u"Yes"_s;
    QTest::newRow("no store version") << u"1.0"_s << OptionalText() << hour << u"Unknown"_s;
    QTest::newRow("never checked")
        << u"1.0"_s << OptionalText(u"2.0"_s) << OptionalNumber() << u"Unknown"_s;
    QTest::newRow("checked a day ago")
        << u"1.0"_s << OptionalText(u"2.0"_s) << OptionalNumber(86400) << u"Yes"_s;
    QTest::newRow("checked 90000 s ago")
        << u"1.0"_s << OptionalText(u"2.0"_s) << OptionalNumber(90000) << u"Unknown"_s;
    QTest::newRow("200 s in the future")
        << u"1.0"_s << OptionalText(u"2.0"_s) << OptionalNumber(-200) << u"Yes"_s;
    QTest::newRow("400 s in the future")
        << u"1.0"_s << OptionalText(u"2.0"_s) << OptionalNumber(-400) << u"Unknown"_s;
}

void TestRows::updateAvailability()
{
    QFETCH(QString, installed);
    QFETCH(OptionalText, store);
    QFETCH(OptionalNumber, age);
    QFETCH(QString, expected);
    const QDateTime now = utc("2024-03-05T15:00:00");
    const OptionalNumber checked =
        age ? OptionalNumber(double(now.toSecsSinceEpoch()) - *age) : std::nullopt;
    QCOMPARE(RowBuilder::updateAvailability(installed, store, checked, now), expected);
}

void TestRows::size_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<OptionalNumber>("expected");
    QTest::newRow("integer") << QVariant(qint64(50000000)) << OptionalNumber(50000000);
    QTest::newRow("zero") << QVariant(qint64(0)) << OptionalNumber(0);
    QTest::newRow("real") << QVariant(1.5) << OptionalNumber(1.5);
    QTest::newRow("boolean") << QVariant(true) << OptionalNumber();
    QTest::newRow("negative") << QVariant(qint64(-1)) << OptionalNumber();
    QTest::newRow("text") << QVariant(u"12"_s) << OptionalNumber();
    QTest::newRow("missing") << QVariant() << OptionalNumber();
    QTest::newRow("infinite") << QVariant(qInf()) << OptionalNumber();
    // As the device's list gives them: the unsigned range stays positive, negatives stay negative.
    auto listed = [](const QByteArray &integer) {
        return PropertyList::parse(
            "<plist version=\"1.0\"><integer>" + integer + "</integer></plist>", u"the test"_s);
    };
    QTest::newRow("a petabyte listed") << listed("1000000000000000") << OptionalNumber(1e15);
    // No device holds more: such a size is damage, unknown rather than 300 digits or "inf".
    QTest::newRow("2^63 listed") << listed("9223372036854775808") << OptionalNumber();
    QTest::newRow("2^64 - 1 listed") << listed("18446744073709551615") << OptionalNumber();
    QTest::newRow("-1 listed") << listed("-1") << OptionalNumber();
}

void TestRows::storedSize_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<OptionalNumber>("expected");
    QTest::newRow("two places") << u"12.50"_s << OptionalNumber(12.5);
    QTest::newRow("a petabyte") << u"1000000000"_s << OptionalNumber(1e9);
    QTest::newRow("past a petabyte") << u"1000000000.01"_s << OptionalNumber();
    QTest::newRow("1e308") << u"1e308"_s << OptionalNumber();
    QTest::newRow("blank") << u""_s << OptionalNumber();
}

// A size read back from a saved file, where anything may stand.
void TestRows::storedSize()
{
    QFETCH(QString, text);
    QFETCH(OptionalNumber, expected);
    QCOMPARE(Row({{Column::totalMB, text}}).megabytes(Column::totalMB), expected);
}

void TestRows::size()
{
    QFETCH(QVariant, value);
    QFETCH(OptionalNumber, expected);
    QCOMPARE(RowBuilder::size(value), expected);
}

void TestRows::megabytesAndStoreChecked()
{
    QCOMPARE(RowBuilder::megabytes(1234567), u"1.23"_s);
    QCOMPARE(RowBuilder::megabytes(0), u"0.00"_s);
    QCOMPARE(RowBuilder::megabytes(5000), u"0.01"_s);
    QCOMPARE(RowBuilder::megabytes(125000), u"0.12"_s); // a tie, rounded as C rounds it
    QCOMPARE(RowBuilder::megabytes(123456789012345.0), u"123456789.01"_s);
    QCOMPARE(RowBuilder::megabytes(std::nullopt), QString());
    QCOMPARE(RowBuilder::storeCheckedText(1709650800), u"1709650800.0"_s);
    QCOMPARE(RowBuilder::storeCheckedText(1709650800.25), u"1709650800.25"_s);
    QCOMPARE(RowBuilder::storeCheckedText(0.1), u"0.1"_s);
    QCOMPARE(RowBuilder::storeCheckedText(1e21), u"1000000000000000000000.0"_s);
    const double precise = 1709650800.123456;
    QCOMPARE(RowBuilder::storeCheckedText(precise).toDouble(), precise);
}

void TestRows::sourceAndOffload_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QVariant>("signer");
    QTest::addColumn<QVariant>("demoted");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("offloaded");
    const QVariant none;
    const QVariant no = false;
    QTest::newRow("App Store") << u"User"_s << QVariant(u"Apple iPhone OS Application Signing"_s)
                               << no << u"App Store"_s << u""_s;
    QTest::newRow("offloaded") << u"User"_s << QVariant(u"Apple iPhone OS Application Signing"_s)
                               << QVariant(true) << u"App Store"_s << u"Yes"_s;
    QTest::newRow("TestFlight") << u"User"_s << QVariant(u"TestFlight Beta Distribution"_s) << none
                                << u"TestFlight"_s << u""_s;
    QTest::newRow("developer") << u"User"_s
                               << QVariant(u"Apple Development: Ann Example (AB12CD34EF)"_s) << no
                               << u"Developer"_s << u""_s;
    QTest::newRow("older developer")
        << u"User"_s << QVariant(u"iPhone Developer: Ann Example (AB12CD34EF)"_s) << no
        << u"Developer"_s << u""_s;
    QTest::newRow("enterprise") << u"User"_s << QVariant(u"iPhone Distribution: Example Corp"_s)
                                << no << u"Enterprise or ad hoc"_s << u""_s;
    QTest::newRow("system") << u"System"_s << none << no << u"System"_s << u""_s;
    QTest::newRow("unknown signer shown as it is")
        << u"User"_s << QVariant(u"Some Signer"_s) << no << u"Some Signer"_s << u""_s;
    QTest::newRow("nothing said") << u"User"_s << none << none << u""_s << u""_s;
    // Not a truth value: not offloaded, as far as anyone can tell.
    QTest::newRow("a flag that is text")
        << u"User"_s << none << QVariant(u"true"_s) << u""_s << u""_s;
}

void TestRows::sourceAndOffload()
{
    QFETCH(QString, type);
    QFETCH(QVariant, signer);
    QFETCH(QVariant, demoted);
    QFETCH(QString, source);
    QFETCH(QString, offloaded);
    QVariantMap app{{u"CFBundleIdentifier"_s, u"com.example.a"_s},
                    {u"CFBundleDisplayName"_s, u"A"_s},
                    {u"ApplicationType"_s, type},
                    {u"MinimumOSVersion"_s, u"15.0"_s}};
    if (signer.isValid())
        app.insert(u"SignerIdentity"_s, signer);
    if (demoted.isValid())
        app.insert(u"IsDemotedApp"_s, demoted);
    const QList<Row> rows =
        RowBuilder::makeRows({app}, u"UDID-1"_s, {}, QDateTime::currentDateTimeUtc());
    QCOMPARE(rows.value(0).value(Column::appSource), source);
    QCOMPARE(rows.value(0).value(Column::offloaded), offloaded);
    QCOMPARE(rows.value(0).value(Column::minimumOS), u"15.0"_s);
}

void TestRows::cells()
{
    const QList<QVariantMap> apps = {
        {{u"CFBundleIdentifier"_s, u"com.example.maps"_s},
         {u"CFBundleDisplayName"_s, u""_s},
         {u"CFBundleName"_s, u"Maps"_s},
         {u"CFBundleShortVersionString"_s, qint64(3)},
         {u"CFBundleVersion"_s, u"3.1"_s},
         {u"ApplicationType"_s, u"User"_s},
         {u"StaticDiskUsage"_s, qint64(50000000)}},
        {{u"CFBundleIdentifier"_s, u"com.example.notes"_s},
         {u"CFBundleDisplayName"_s, u" \u200B"_s},
         {u"CFBundleName"_s, u"Notes"_s},
         {u"CFBundleShortVersionString"_s, u""_s},
         {u"CFBundleVersion"_s, u"7"_s},
         {u"StaticDiskUsage"_s, qint64(1234567)},
         {u"DynamicDiskUsage"_s, 1000000.0}},
    };
    const QHash<QString, QString> categories{{u"com.example.notes"_s, u"Productivity"_s}};
    const QList<Row> rows =
        RowBuilder::makeRows(apps, u"UDID-1"_s, categories, utc("2024-03-06T02:00:00"));
    const Row first{
        {Column::appName, u"Maps"_s},
        {Column::category, u""_s},
        {Column::bundleIdentifier, u"com.example.maps"_s},
        {Column::version, u"3.1"_s},
        {Column::appType, u"User"_s},
        {Column::appMB, u"50.00"_s},
        {Column::dataMB, u""_s},
        {Column::totalMB, u""_s},
        {Column::scanDate, u"03/06/2024"_s},
        {Column::deviceIdentifier, u"UDID-1"_s},
        {Column::offloaded, u""_s},
        {Column::appSource, u""_s},
        {Column::minimumOS, u""_s},
    };
    QCOMPARE(rows.size(), 2);
    // A blank display name or short version gives way to the bundle's name and version.
    QCOMPARE(rows[0], first);
    QCOMPARE(rows[1].value(Column::appName), u"Notes"_s);
    QCOMPARE(rows[1].value(Column::category), u"Productivity"_s);
    QCOMPARE(rows[1].value(Column::version), u"7"_s);
    QCOMPARE(rows[1].value(Column::totalMB), u"2.23"_s);
    QCOMPARE(rows[0].cells().first().key, Column::appName);
}

void TestRows::nameOrder_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("numbers by value")
        << QStringList{u"App 10"_s, u"App 9"_s} << QStringList{u"App 9"_s, u"App 10"_s};
    QTest::newRow("case-insensitive")
        << QStringList{u"Banana"_s, u"apple"_s} << QStringList{u"apple"_s, u"Banana"_s};
    QTest::newRow("equal names keep device order")
        << QStringList{u"Mail"_s, u"mail"_s, u"MAIL"_s, u"Alpha"_s}
        << QStringList{u"Alpha"_s, u"Mail"_s, u"mail"_s, u"MAIL"_s};
    QTest::newRow("accents next to their letter") << QStringList{u"Zoo"_s, u"Éclair"_s, u"Eagle"_s}
                                                  << QStringList{u"Eagle"_s, u"Éclair"_s, u"Zoo"_s};
}

void TestRows::nameOrder()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, expected);
    QList<QVariantMap> apps;
    for (qsizetype i = 0; i < names.size(); ++i)
        apps.append(app(u"id.%1"_s.arg(i), names[i]));
    QCOMPARE(::names(RowBuilder::makeRows(apps, u"D"_s, {}, QDateTime::currentDateTimeUtc())),
             expected);
}

void TestRows::appWithoutIdentifierFailsTheWhole_data()
{
    QTest::addColumn<QVariant>("identifier");
    QTest::newRow("missing") << QVariant();
    QTest::newRow("empty") << QVariant(u""_s);
    QTest::newRow("number") << QVariant(qint64(7));
}

void TestRows::appWithoutIdentifierFailsTheWhole()
{
    QFETCH(QVariant, identifier);
    QVariantMap broken{{u"CFBundleName"_s, u"Broken"_s}};
    if (identifier.isValid())
        broken.insert(u"CFBundleIdentifier"_s, identifier);
    const QList<QVariantMap> apps{app(u"a"_s, u"Fine"_s), broken};
    try {
        RowBuilder::makeRows(apps, u"D"_s, {}, QDateTime::currentDateTimeUtc());
        QFAIL("rows built");
    } catch (const ScanError &error) {
        QCOMPARE(error.description(),
                 u"The device returned an app without an identifier. "
                 u"Previous inventory preserved."_s);
    }
}

void TestRows::storeColumns()
{
    // The store columns come from the cache as a lookup left it.
    QTemporaryDir storage;
    const double now = double(QDateTime::currentSecsSinceEpoch());
    CategoryEntry::Map cache{
        {u"com.example.old"_s, {u"Games"_s, now - 60, u"2.0"_s, u"https://x/icon.png"_s, 1}},
        {u"com.example.whole"_s, {u""_s, 1700000000, std::nullopt, std::nullopt, 1}},
    };
    writeBytes(storage.filePath(u"categories.json"_s), CategoryEntry::encodeMap(cache));
    StoreLookup lookup(storage.path());
    lookup.setURL(QUrl(u"http://127.0.0.1:9/lookup"_s));
    // Nothing answers at that address: the stale entries stay as the cache has them.
    lookup.categories({u"com.example.old"_s, u"com.example.whole"_s, u"com.example.unknown"_s});

    QList<Row> rows{
        {{Column::bundleIdentifier, u"com.example.old"_s}, {Column::version, u"1.5"_s}},
        {{Column::bundleIdentifier, u"com.example.whole"_s}, {Column::version, u"1.0"_s}},
        {{Column::bundleIdentifier, u"com.example.unknown"_s}},
        {{Column::version, u"1.0"_s}},
    };
    RowBuilder::addStoreColumns(rows, lookup.storeMetadata(), lookup.countryAsked(),
                                QDateTime::currentDateTimeUtc());
    const auto store = [&](int row) {
        return QStringList{
            rows[row].value(Column::updateAvailable), rows[row].value(Column::storeVersion),
            rows[row].value(Column::storeChecked), rows[row].value(Column::artworkURL)};
    };
    QCOMPARE(store(0),
             (QStringList{u"Yes"_s, u"2.0"_s, RowBuilder::storeCheckedText(now - 60),
                          u"https://x/icon.png"_s}));
    QCOMPARE(store(1), (QStringList{u"Unknown"_s, u""_s, u"1700000000.0"_s, u""_s}));
    QCOMPARE(store(2), (QStringList{u"Unknown"_s, u""_s, u""_s, u""_s}));
    QCOMPARE(store(3), (QStringList{u"Unknown"_s, u""_s, u""_s, u""_s}));
}

void TestRows::filters_data()
{
    QTest::addColumn<QString>("update");
    QTest::addColumn<QString>("presence");
    QTest::addColumn<QString>("offloaded");
    QTest::addColumn<QStringList>("shownBy");

    const QString all = RowFilter::allApps, updates = RowFilter::updatesAvailable,
                  gone = RowFilter::notInStore, lost = RowFilter::cannotBeRestored;
    QTest::newRow("up to date") << u"No"_s << Column::inStore << u""_s << QStringList{all};
    QTest::newRow("update") << u"Yes"_s << Column::inStore << u""_s << QStringList{all, updates};
    QTest::newRow("gone, installed")
        << u"Unknown"_s << Column::notInStore << u""_s << QStringList{all, gone};
    QTest::newRow("gone, offloaded")
        << u"Unknown"_s << Column::notInStore << u"Yes"_s << QStringList{all, gone, lost};
    // Unknown is never gone: an offloaded app the store did not answer for may come back.
    QTest::newRow("not checked, offloaded")
        << u"Unknown"_s << Column::notChecked << u"Yes"_s << QStringList{all};
    QTest::newRow("old scan") << u""_s << u""_s << u""_s << QStringList{all};
}

void TestRows::filters()
{
    QFETCH(QString, update);
    QFETCH(QString, presence);
    QFETCH(QString, offloaded);
    QFETCH(QStringList, shownBy);
    Row row{{Column::appName, u"Notes"_s}};
    for (const auto &[column, text] :
         {std::pair(Column::updateAvailable, update), std::pair(Column::storePresence, presence),
          std::pair(Column::offloaded, offloaded)}) {
        if (!text.isEmpty())
            row.insert(column, text);
    }
    QStringList matched;
    for (const RowFilter &filter : RowFilter::all()) {
        if (filter.matches(row))
            matched.append(filter.name);
    }
    QCOMPARE(matched, shownBy);

    // The device's warnings count what cannot come back.
    const qsizetype lost = DeviceWarnings::unrestorable({row, row});
    QCOMPARE(lost, shownBy.contains(RowFilter::cannotBeRestored) ? 2 : 0);
    const QList<DeviceWarnings::Warning> warnings =
        DeviceWarnings::of(DeviceFacts(), {QDateTime(), {}, lost});
    QCOMPARE(warnings.isEmpty(), lost == 0);
    if (lost)
        QCOMPARE(warnings.first().text,
                 u"2 offloaded apps are no longer in the store and cannot "
                 u"be downloaded again."_s);
}

QTEST_GUILESS_MAIN(TestRows)
#include "tst_rows.moc"
