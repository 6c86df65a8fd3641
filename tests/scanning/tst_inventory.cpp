#include "common/DataFile.h"
#include "common/PlatformError.h"
#include "history/HistoryStore.h"
#include "scanning/Column.h"
#include "scanning/DeviceModels.h"
#include "scanning/Inventory.h"
#include "scanning/LegacyImport.h"
#include "scanning/Scanner.h"
#include "scanning/device/DeviceDescription.h"
#include "scanning/device/DeviceFacts.h"
#include "tests/InventoryPrinting.h"
#include "tests/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace TestFiles;

using OptionalText = std::optional<QString>;
Q_DECLARE_METATYPE(OptionalText)

namespace {

Row deviceRow(const QString &device)
{
    return {{Column::appName, u"App"_s}, {Column::deviceIdentifier, device}};
}

} // namespace

class TestInventory : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void visibleName_data();
    void visibleName();
    void namedRowsKeepOrderAndSkipBlankNames();
    void resolvedDeviceID_data();
    void resolvedDeviceID();
    void exportStem_data();
    void exportStem();
    void storeColumns();
    void parseCSV_data();
    void parseCSV();
    void jsonRoundTrip();
    void jsonReadsWhatOtherWritersProduce();
    void jsonDecodeFailures_data();
    void jsonDecodeFailures();
    void deviceFactsInFiles_data();
    void deviceFactsInFiles();
    void deviceDescription_data();
    void deviceDescription();
    void deviceModelNames_data();
    void deviceModelNames();
    void deviceModelTableIsWellFormed();
    void loadMigratesInventoryFile();
    void loadReportsDamagedInventoryAndKeepsIt();
    void loadImportsNewestLegacyExport();
    void loadWithoutAnythingGivesEmptyInventory();
    void loadRejectsLegacyExportThatIsNotUtf8();
};

void TestInventory::visibleName_data()
{
    QTest::addColumn<OptionalText>("text");
    QTest::addColumn<bool>("visible");
    QTest::newRow("absent") << OptionalText() << false;
    QTest::newRow("empty") << OptionalText(u""_s) << false;
    QTest::newRow("spaces") << OptionalText(u"   "_s) << false;
    QTest::newRow("line breaks") << OptionalText(u"\n\r\n\u2028"_s) << false;
    QTest::newRow("zero-width spaces") << OptionalText(u"\u200B\u200B"_s) << false;
    QTest::newRow("controls and joiners") << OptionalText(u"\u0007\u200D\uFEFF\u00A0"_s) << false;
    QTest::newRow("single letter") << OptionalText(u"a"_s) << true;
    QTest::newRow("letter between spaces") << OptionalText(u"  b  "_s) << true;
    QTest::newRow("emoji outside the BMP") << OptionalText(u"\U0001F600"_s) << true;
    QTest::newRow("combining mark") << OptionalText(u"\u0301"_s) << true;
}

void TestInventory::visibleName()
{
    QFETCH(OptionalText, text);
    QFETCH(bool, visible);
    QCOMPARE(Inventory::hasVisibleName(text), visible);
}

void TestInventory::namedRowsKeepOrderAndSkipBlankNames()
{
    Inventory inventory;
    inventory.rows = {
        {{Column::appName, u"Zeta"_s}},
        {{Column::bundleIdentifier, u"com.example.noname"_s}},
        {{Column::appName, u"\u200B"_s}},
        {{Column::appName, u"Alpha"_s}},
    };
    const QList<Row> named = inventory.namedRows();
    QCOMPARE(named.size(), 2);
    QCOMPARE(named[0].value(Column::appName), u"Zeta"_s);
    QCOMPARE(named[1].value(Column::appName), u"Alpha"_s);
}

void TestInventory::resolvedDeviceID_data()
{
    QTest::addColumn<OptionalText>("deviceID");
    QTest::addColumn<QStringList>("rowDevices");
    QTest::addColumn<OptionalText>("expected");
    QTest::newRow("own identifier wins")
        << OptionalText(u"D"_s) << QStringList{u"X"_s} << OptionalText(u"D"_s);
    QTest::newRow("empty, rows agree")
        << OptionalText(u""_s) << QStringList{u""_s, u"X"_s, u"X"_s} << OptionalText(u"X"_s);
    QTest::newRow("rows disagree")
        << OptionalText() << QStringList{u"X"_s, u"Y"_s} << OptionalText();
    QTest::newRow("no rows") << OptionalText() << QStringList{} << OptionalText();
    QTest::newRow("only empty cells") << OptionalText() << QStringList{u""_s} << OptionalText();
}

void TestInventory::resolvedDeviceID()
{
    QFETCH(OptionalText, deviceID);
    QFETCH(QStringList, rowDevices);
    QFETCH(OptionalText, expected);
    Inventory inventory;
    inventory.deviceID = deviceID;
    for (const QString &device : rowDevices)
        inventory.rows.append(deviceRow(device));
    QCOMPARE(inventory.resolvedDeviceID(), expected);
}

void TestInventory::exportStem_data()
{
    QTest::addColumn<OptionalText>("name");
    QTest::addColumn<QDateTime>("date");
    QTest::addColumn<QString>("expected");
    const QDateTime afternoon = utc("2024-03-05T15:00:00");
    QTest::newRow("plain") << OptionalText(u"Ann's iPhone"_s) << afternoon
                           << u"Ann's iPhone-03-05-2024"_s;
    QTest::newRow("absent") << OptionalText() << afternoon << u"apps-03-05-2024"_s;
    QTest::newRow("separators") << OptionalText(u"a/b:c"_s) << afternoon << u"a-b-c-03-05-2024"_s;
    QTest::newRow("backslash and controls")
        << OptionalText(u"a\\b\tc\u0085d"_s) << afternoon << u"a-b-c-d-03-05-2024"_s;
    QTest::newRow("dots trimmed") << OptionalText(u"..Phone.."_s) << afternoon
                                  << u"Phone-03-05-2024"_s;
    QTest::newRow("hyphen from slash is kept")
        << OptionalText(u" / "_s) << afternoon << u"--03-05-2024"_s;
    QTest::newRow("only spaces") << OptionalText(u"   "_s) << afternoon << u"apps-03-05-2024"_s;
    QTest::newRow("still yesterday in New York")
        << OptionalText(u"x"_s) << utc("2024-03-06T02:00:00") << u"x-03-05-2024"_s;
    QTest::newRow("summer time") << OptionalText(u"x"_s) << utc("2024-07-01T03:30:00")
                                 << u"x-06-30-2024"_s;
    QTest::newRow("200 letters keep 180")
        << OptionalText(QString(200, u'a')) << afternoon << QString(180, u'a') + u"-03-05-2024"_s;
    // 179 ASCII bytes, then a two-byte letter whose second byte would be the 181st.
    QTest::newRow("no torn character") << OptionalText(QString(179, u'a') + u"é"_s) << afternoon
                                       << QString(179, u'a') + u"-03-05-2024"_s;
    // A family emoji is one character of 18 bytes: all of it or none of it.
    QTest::newRow("no torn emoji")
        << OptionalText(QString(170, u'a') + u"\U0001F468\u200D\U0001F469\u200D\U0001F467"_s)
        << afternoon << QString(170, u'a') + u"-03-05-2024"_s;
    QTest::newRow("emoji joiners are not separators")
        << OptionalText(u"\U0001F468\u200D\U0001F469"_s) << afternoon
        << u"\U0001F468\u200D\U0001F469-03-05-2024"_s;
}

void TestInventory::exportStem()
{
    QFETCH(OptionalText, name);
    QFETCH(QDateTime, date);
    QFETCH(QString, expected);
    QCOMPARE(Inventory::exportStem(name, date), expected);
}

void TestInventory::storeColumns()
{
    Inventory inventory;
    inventory.fields = {Column::appName, Column::updateAvailable, Column::version,
                        Column::updateAvailable};
    inventory.rows = {{{Column::appName, u"A"_s}, {Column::updateAvailable, u"Yes"_s}},
                      {{Column::appName, u"B"_s}}};
    const Inventory shown = inventory.withStoreColumns();
    QCOMPARE(shown.fields, (QStringList{Column::appName, Column::version}));
    QCOMPARE(shown.rows[0].value(Column::updateAvailable), u"Yes"_s);
    QCOMPARE(shown.rows[1].value(Column::updateAvailable), u"Unknown"_s);
    QCOMPARE(inventory.rows[1].contains(Column::updateAvailable), false);
}

void TestInventory::parseCSV_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<Row>>("expected");
    QTest::newRow("empty") << u""_s << QList<Row>{};
    QTest::newRow("header only") << u"a,b\n"_s << QList<Row>{};
    QTest::newRow("ragged record dropped")
        << u"a,b\n1,2\n3\n"_s << QList<Row>{{{u"a"_s, u"1"_s}, {u"b"_s, u"2"_s}}};
    QTest::newRow("no final line break")
        << u"a,b\r\n1,2\r\n3,4"_s
        << QList<Row>{{{u"a"_s, u"1"_s}, {u"b"_s, u"2"_s}}, {{u"a"_s, u"3"_s}, {u"b"_s, u"4"_s}}};
    QTest::newRow("quoted comma, quote and CR LF")
        << u"a,b\n\"x,\"\"y\"\"\r\nz\",2\n"_s
        << QList<Row>{{{u"a"_s, u"x,\"y\"\r\nz"_s}, {u"b"_s, u"2"_s}}};
    QTest::newRow("quote opening mid-cell")
        << u"a\nab\"c,d\"e\n"_s << QList<Row>{{{u"a"_s, u"abc,de"_s}}};
    QTest::newRow("lone CR ends a record")
        << u"a\r1\r2"_s << QList<Row>{{{u"a"_s, u"1"_s}}, {{u"a"_s, u"2"_s}}};
    QTest::newRow("byte-order marks removed anywhere")
        << u"\uFEFFa,b\n1,\uFEFF2\n"_s << QList<Row>{{{u"a"_s, u"1"_s}, {u"b"_s, u"2"_s}}};
    QTest::newRow("repeated header, later wins")
        << u"a,a\n1,2\n"_s << QList<Row>{{{u"a"_s, u"2"_s}}};
    QTest::newRow("cells not trimmed")
        << u"a,b\n 1 ,\n"_s << QList<Row>{{{u"a"_s, u" 1 "_s}, {u"b"_s, u""_s}}};
    QTest::newRow("blank line is a one-cell record")
        << u"a,b\n\n1,2\n"_s << QList<Row>{{{u"a"_s, u"1"_s}, {u"b"_s, u"2"_s}}};
    QTest::newRow("unterminated quote swallows the rest") << u"a,b\n\"1,2\n3,4\n"_s << QList<Row>{};
}

void TestInventory::parseCSV()
{
    QFETCH(QString, text);
    QFETCH(QList<Row>, expected);
    QCOMPARE(LegacyImport::parseCSV(text), expected);
}

void TestInventory::jsonRoundTrip()
{
    Inventory inventory;
    inventory.fields = {Column::appName, u"Quote \" and \\ and \u0001"_s};
    inventory.rows = {
        {{Column::appName, u"Ünïcødé \U0001F600 \u2028 tab\t newline\n"_s},
         {Column::appMB, u""_s},
         {u"/ slash"_s, u"</script>"_s}},
        {},
    };
    inventory.deviceName = u""_s;
    inventory.scanID = u"1F3A2B4C-0D5E-4F60-8A71-92B3C4D5E6F7"_s;
    inventory.scannedAt = utc("2024-03-05T15:00:00").addMSecs(123);
    inventory.deviceID = u"00008110-001A2B3C4D5E801E"_s;
    inventory.snapshotName = u"Before"_s;
    inventory.snapshotNotes = u"line one\nline two"_s;
    inventory.storeCountry = u"fr"_s;
    DeviceFacts facts;
    facts.batteryLevel = 80;
    inventory.setDeviceFacts(facts);

    const QByteArray json = inventory.toJson();
    QCOMPARE(Inventory::fromJson(json, u"x.json"_s), inventory);

    // The same text through Qt's own reader: valid, compact JSON with the documented keys.
    QJsonParseError error{};
    const QJsonObject object = QJsonDocument::fromJson(json, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(!json.contains('\n'));
    QCOMPARE(object.value("scannedAt"_L1).toDouble(), 731343600.123);
    QCOMPARE(object.value("storeCountry"_L1).toString(), u"fr"_s);
    // Facts are compared by what they say, not by which copy holds them.
    Inventory other = Inventory::fromJson(json, u"x.json"_s);
    QCOMPARE(other.deviceFacts(), facts);
    facts.batteryLevel = 79;
    other.setDeviceFacts(facts);
    QVERIFY(other != inventory);
    QCOMPARE(object.value("rows"_L1).toArray().at(0).toObject().value("App name"_L1).toString(),
             inventory.rows[0].value(Column::appName));

    const Inventory bare;
    const QByteArray bareJson = bare.toJson();
    QCOMPARE(QJsonDocument::fromJson(bareJson).object().keys(),
             (QStringList{u"fields"_s, u"rows"_s}));
    QCOMPARE(Inventory::fromJson(bareJson, u"x.json"_s), bare);
}

void TestInventory::jsonReadsWhatOtherWritersProduce()
{
    // Escaped slashes, pretty printing, \u escapes with surrogate pairs, nulls for absent
    // values and unknown keys, as other JSON encoders write them.
    const QByteArray json = R"({
        "fields" : [ "App name" ],
        "rows" : [ { "App name" : "A\/B \u00e9\ud83d\ude00", "App name" : "later" },
                   { "Category" : "" } ],
        "scannedAt" : 7.5e1,
        "deviceName" : null,
        "future" : { "nested" : [ 1, true, false, null, -0.5E-3 ] }
    })";
    const Inventory inventory = Inventory::fromJson(json, u"x.json"_s);
    QCOMPARE(inventory.fields, QStringList{Column::appName});
    QCOMPARE(inventory.rows.size(), 2);
    QCOMPARE(inventory.rows[0].value(Column::appName), u"later"_s);
    QCOMPARE(inventory.rows[0].size(), 1);
    QCOMPARE(inventory.rows[1], (Row{{Column::category, u""_s}}));
    QCOMPARE(inventory.scannedAt, utc("2001-01-01T00:01:15"));
    QCOMPARE(inventory.deviceName, OptionalText());
    QCOMPARE(Inventory::fromJson(R"({"rows":[{"a":"A\/B \u00e9\ud83d\ude00"}],"fields":[]})",
                                 u"x.json"_s)
                 .rows[0]
                 .value(u"a"),
             u"A/B é\U0001F600"_s);
}

void TestInventory::jsonDecodeFailures_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("reason");
    QTest::newRow("empty file") << QByteArray() << u"not valid JSON"_s;
    QTest::newRow("truncated") << QByteArray(R"({"fields":[],"rows":[{"a":"b")")
                               << u"not valid JSON"_s;
    QTest::newRow("trailing garbage")
        << QByteArray(R"({"fields":[],"rows":[]} x)") << u"not valid JSON"_s;
    QTest::newRow("trailing comma")
        << QByteArray(R"({"fields":[],"rows":[],})") << u"not valid JSON"_s;
    QTest::newRow("raw control character")
        << QByteArray("{\"fields\":[\"a\tb\"],\"rows\":[]}") << u"not valid JSON"_s;
    QTest::newRow("invalid UTF-8")
        << QByteArray("{\"fields\":[\"\xC3\x28\"],\"rows\":[]}") << u"not valid JSON"_s;
    QTest::newRow("lone surrogate")
        << QByteArray(R"({"fields":["\ud800"],"rows":[]})") << u"not valid JSON"_s;
    QTest::newRow("deep nesting") << QByteArray(R"({"x":)") + QByteArray(100000, '[')
                                  << u"not valid JSON"_s;
    QTest::newRow("bad escape, where reading stopped")
        << QByteArray(R"({"fields":[],"rows":[{"a":"\x"}]})") << u"not valid JSON (at offset 30)"_s;
    QTest::newRow("leading zero") << QByteArray(R"({"fields":[],"rows":[],"scannedAt":01})")
                                  << u"not valid JSON"_s;
    QTest::newRow("not an object") << QByteArray("[]") << u"it holds no object"_s;
    QTest::newRow("rows missing") << QByteArray(R"({"fields":[]})") << u"“rows” is missing"_s;
    QTest::newRow("fields missing") << QByteArray(R"({"rows":[]})") << u"“fields” is missing"_s;
    QTest::newRow("rows null") << QByteArray(R"({"fields":[],"rows":null})")
                               << u"“rows” is not a list"_s;
    QTest::newRow("number in a row") << QByteArray(R"({"fields":[],"rows":[{"App MB":1.5}]})")
                                     << u"the cell “App MB” of a row is not text"_s;
    QTest::newRow("row not an object")
        << QByteArray(R"({"fields":[],"rows":["x"]})") << u"“rows” holds something not a row"_s;
    QTest::newRow("date as text") << QByteArray(R"({"fields":[],"rows":[],"scannedAt":"now"})")
                                  << u"“scannedAt” is not a number"_s;
    QTest::newRow("date out of range") << QByteArray(R"({"fields":[],"rows":[],"scannedAt":1e300})")
                                       << u"“scannedAt” is out of range"_s;
    QTest::newRow("name as number")
        << QByteArray(R"({"fields":[],"rows":[],"scanID":5})") << u"“scanID” is not text"_s;
}

void TestInventory::jsonDecodeFailures()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, reason);
    try {
        Inventory::fromJson(json, u"/data/Quillet/inventory.json"_s);
        QFAIL("decoded");
    } catch (const PlatformError &error) {
        QCOMPARE(error.kind(), PlatformError::Kind::Decoding);
        QVERIFY2(error.description().startsWith(
                     u"The file \u201Cinventory.json\u201D could not be read: "_s),
                 qPrintable(error.description()));
        QVERIFY2(error.description().contains(reason), qPrintable(error.description()));
    }
}

void TestInventory::loadMigratesInventoryFile()
{
    QTemporaryDir root;
    const QString storage = root.filePath(u"Quillet"_s);
    Inventory old;
    old.rows = {{{Column::appName, u"Maps"_s}}};
    old.deviceName = u"Ann's iPhone"_s;
    writeBytes(storage + u"/inventory.json"_s, old.toJson());

    const Inventory loaded = Scanner(root.path(), storage).load();
    QVERIFY(loaded.scanID && HistoryStore::isValidIdentity(*loaded.scanID));
    QCOMPARE(*loaded.scanID, loaded.scanID->toUpper());
    QCOMPARE(loaded.rows, old.rows);
    QCOMPARE(Inventory::readFile(storage + u"/inventory.json"_s), loaded);
    QCOMPARE(Inventory::readFile(storage + u"/History/"_s + *loaded.scanID + u".json"_s), loaded);

    // Loading again finds the identity and writes nothing more.
    const QByteArray written = readBytes(storage + u"/inventory.json"_s);
    QCOMPARE(Scanner(root.path(), storage).load(), loaded);
    QCOMPARE(readBytes(storage + u"/inventory.json"_s), written);
    QCOMPARE(QDir(storage + u"/History"_s).entryList(QDir::Files).size(), 1);
}

void TestInventory::loadReportsDamagedInventoryAndKeepsIt()
{
    QTemporaryDir root;
    const QString storage = root.filePath(u"Quillet"_s);
    const QByteArray damaged = R"({"fields":[],"rows":[{"App name":"Ma)";
    writeBytes(storage + u"/inventory.json"_s, damaged);
    // A legacy export must not stand in for a damaged inventory.
    writeBytes(root.filePath(u"Tallyfold/exports/old.csv"_s), "App name\nMaps\n");
    try {
        Scanner(root.path(), storage).load();
        QFAIL("loaded a damaged inventory");
    } catch (const PlatformError &error) {
        QCOMPARE(error.description(),
                 u"The file \u201Cinventory.json\u201D could not be read: it "
                 u"is not valid JSON."_s);
    }
    QCOMPARE(readBytes(storage + u"/inventory.json"_s), damaged);
    QVERIFY(!QFileInfo::exists(storage + u"/History"_s));
}

void TestInventory::loadImportsNewestLegacyExport()
{
    QTemporaryDir root;
    const QString storage = root.filePath(u"Quillet"_s);
    const QString exports = root.filePath(u"Tallyfold/exports/"_s);
    const QDateTime base = QDateTime::currentDateTimeUtc().addDays(-3);
    const struct {
        const char *name;
        QByteArray content;
        int ageDays;
    } files[] = {
        {"older.csv", "App name\nOld\n", 2},
        {"newest.csv",
         "\xEF\xBB\xBF"
         "App name,Version\r\nNew,1.0\r\nBroken\r\n",
         1},
        {"newer-but-upper.CSV", "App name\nUpper\n", 0},
        {"notes.txt", "App name\nText\n", 0},
    };
    for (const auto &file : files) {
        const QString path = exports + QString::fromLatin1(file.name);
        writeBytes(path, file.content);
        QFile handle(path);
        QVERIFY(handle.open(QIODevice::ReadWrite));
        QVERIFY(handle.setFileTime(base.addDays(-file.ageDays), QFileDevice::FileModificationTime));
    }
    // A folder and a FIFO named like newer exports are passed over for the newest real one.
    QVERIFY(QDir().mkpath(exports + u"later.csv"_s));
    QVERIFY(::mkfifo(QFile::encodeName(exports + u"pipe.csv"_s).constData(), 0600) == 0);

    const Inventory loaded = Scanner(root.path(), storage).load();
    QCOMPARE(loaded.rows,
             QList<Row>{(Row{{Column::appName, u"New"_s}, {Column::version, u"1.0"_s}})});
    QCOMPARE(loaded.fields, Column::scanFields());
    QVERIFY(loaded.scanID);
    QVERIFY(!loaded.deviceName && !loaded.scannedAt && !loaded.deviceID);
    QCOMPARE(Inventory::readFile(storage + u"/inventory.json"_s), loaded);
}

void TestInventory::loadWithoutAnythingGivesEmptyInventory()
{
    QTemporaryDir root;
    const QString storage = root.filePath(u"Quillet"_s);
    // No rows, and the columns a scan would have.
    Inventory empty;
    empty.fields = Column::scanFields();
    QCOMPARE(Scanner(root.path(), storage).load(), empty);
    // An import with a header only has no rows: nothing to migrate, nothing written.
    writeBytes(root.filePath(u"Tallyfold/exports/a.csv"_s), "App name\n");
    QCOMPARE(Scanner(root.path(), storage).load(), empty);
    QVERIFY(!QFileInfo::exists(storage));
}

void TestInventory::loadRejectsLegacyExportThatIsNotUtf8()
{
    QTemporaryDir root;
    const QString storage = root.filePath(u"Quillet"_s);
    writeBytes(root.filePath(u"Tallyfold/exports/latin1.csv"_s), "App name\nCaf\xE9\n");
    try {
        Scanner(root.path(), storage).load();
        QFAIL("imported text that is not UTF-8");
    } catch (const PlatformError &error) {
        QCOMPARE(error.description(),
                 u"The file \u201Clatin1.csv\u201D could not be read: it is not UTF-8 text."_s);
    }
    QVERIFY(!QFileInfo::exists(storage));
}

QTEST_GUILESS_MAIN(TestInventory)
// Facts are optional in a file: a file without them, or with facts of a later release or damaged
// ones, still loads with its rows, keeping what can be used.
void TestInventory::deviceFactsInFiles_data()
{
    QTest::addColumn<QByteArray>("facts");
    QTest::addColumn<QString>("line");
    QTest::newRow("none") << QByteArray() << QString();
    QTest::newRow("known and unknown keys")
        << QByteArray(R"(,"deviceFacts":{"ProductType":"iPhone14,2","ProductVersion":"17.5.1",)"
                      R"("ThermalState":{"level":[1,2]},"BatteryCurrentCapacity":82})")
        << u"iPhone 13 Pro \u00B7 iOS 17.5.1 \u00B7 battery 82%"_s;
    QTest::newRow("wrong kinds left out")
        << QByteArray(R"(,"deviceFacts":{"ProductType":7,"TotalDiskCapacity":"big",)"
                      R"("TotalDataAvailable":1.5e9,"BatteryIsCharging":null})")
        << u"1.5 GB free"_s;
    QTest::newRow("not an object") << QByteArray(R"(,"deviceFacts":[1,2])") << QString();
}

void TestInventory::deviceFactsInFiles()
{
    QFETCH(QByteArray, facts);
    QFETCH(QString, line);
    const QByteArray json = R"({"fields":["App name"],"rows":[{"App name":"Notes"}])" + facts + "}";
    const Inventory inventory = Inventory::fromJson(json, u"test"_s);
    QCOMPARE(inventory.rows.size(), 1);
    QCOMPARE(DeviceDescription::line(inventory.deviceFacts()), line);
    // Written again, what was kept reads back the same.
    QCOMPARE(Inventory::fromJson(inventory.toJson(), u"test"_s), inventory);
}

void TestInventory::deviceDescription_data()
{
    QTest::addColumn<QString>("productType");
    QTest::addColumn<QString>("deviceClass");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("changes");
    // B is the same device a week later: newer system, less free space, a lower battery.
    const QString later = u"iOS 17.4 \u2192 17.5.1; free space 30.1 GB \u2192 23.4 GB; "
                          "battery 90% \u2192 82%"_s;
    QTest::newRow("a known iPhone")
        << u"iPhone14,2"_s << u"iPhone"_s
        << u"iPhone 13 Pro \u00B7 iOS 17.5.1 \u00B7 128.0 GB, 23.4 GB free \u00B7 battery 82%, "
           "charging"_s
        << later;
    QTest::newRow("an iPad") << u"iPad16,3"_s << u"iPad"_s
                             << u"iPad Pro 11-inch (M4) \u00B7 iPadOS 17.5.1 \u00B7 128.0 GB, "
                                "23.4 GB free \u00B7 battery 82%, charging"_s
                             << QString(later).replace(u"iOS"_s, u"iPadOS"_s);
    // A model the table does not know is shown as the device names it.
    QTest::newRow("an unknown model")
        << u"iPhone99,9"_s << u"iPhone"_s
        << u"iPhone99,9 \u00B7 iOS 17.5.1 \u00B7 128.0 GB, 23.4 GB free \u00B7 battery 82%, "
           "charging"_s
        << later;
}

void TestInventory::deviceDescription()
{
    QFETCH(QString, productType);
    QFETCH(QString, deviceClass);
    QFETCH(QString, line);
    QFETCH(QString, changes);
    DeviceFacts b;
    b.take(QString(),
           {{u"ProductType"_s, productType},
            {u"ProductVersion"_s, u"17.5.1"_s},
            {u"DeviceClass"_s, deviceClass}});
    b.take(u"com.apple.disk_usage"_s,
           {{u"TotalDiskCapacity"_s, qint64(128'000'000'000)},
            {u"TotalDataAvailable"_s, qint64(23'400'000'000)}});
    b.take(u"com.apple.mobile.battery"_s,
           {{u"BatteryCurrentCapacity"_s, 82}, {u"BatteryIsCharging"_s, true}});
    QCOMPARE(DeviceDescription::line(b), line);
    DeviceFacts a = b;
    a.productVersion = u"17.4"_s;
    a.totalDataAvailable = 30'100'000'000;
    a.batteryLevel = 90;
    QCOMPARE(DeviceDescription::changes(a, b).join(u"; "_s), changes);
    QVERIFY(DeviceDescription::changes(b, b).isEmpty());
    // Another model says so first.
    a.productType = u"iPhone12,1"_s;
    QCOMPARE(DeviceDescription::changes(a, b).value(0),
             u"model iPhone 11 \u2192 "_s + DeviceModels::shownName(productType));
}

void TestInventory::deviceModelNames_data()
{
    QTest::addColumn<QString>("productType");
    QTest::addColumn<OptionalText>("name");
    QTest::addColumn<QString>("shown");
    // The oldest and newest of each family, and one of several types that share a name.
    const auto known = [](const char *tag, const QString &productType, const QString &name) {
        QTest::newRow(tag) << productType << OptionalText(name) << name;
    };
    known("first iPhone of 2013", u"iPhone6,1"_s, u"iPhone 5s"_s);
    known("its other model", u"iPhone6,2"_s, u"iPhone 5s"_s);
    known("released beside it", u"iPhone5,4"_s, u"iPhone 5c"_s);
    known("first iPhone SE", u"iPhone8,4"_s, u"iPhone SE (1st generation)"_s);
    known("newest iPhone", u"iPhone18,5"_s, u"iPhone 17e"_s);
    known("first iPad Air", u"iPad4,1"_s, u"iPad Air"_s);
    known("iPad mini 2", u"iPad4,4"_s, u"iPad mini 2"_s);
    known("last of the iPad mini 3", u"iPad4,9"_s, u"iPad mini 3"_s);
    known("two-digit model number", u"iPad16,11"_s, u"iPad Air 13-inch (M4)"_s);
    known("newest iPad Pro", u"iPad17,4"_s, u"iPad Pro 13-inch (M5)"_s);
    known("last iPod touch", u"iPod9,1"_s, u"iPod touch (7th generation)"_s);
    // Anything else is shown as the device names it.
    const auto unknown = [](const char *tag, const QString &productType) {
        QTest::newRow(tag) << productType << OptionalText() << productType;
    };
    unknown("a future iPhone", u"iPhone99,9"_s);
    unknown("an iPhone from before 2013", u"iPhone5,1"_s);
    unknown("a gap between model numbers", u"iPad16,7"_s);
    unknown("another case", u"iphone6,1"_s);
    unknown("a note of the table", u"# Names kept where it differs:"_s);
    unknown("nothing", QString());
}

void TestInventory::deviceModelNames()
{
    QFETCH(QString, productType);
    QFETCH(OptionalText, name);
    QFETCH(QString, shown);
    QCOMPARE(DeviceModels::name(productType), name);
    QCOMPARE(DeviceModels::shownName(productType), shown);
}

void TestInventory::deviceModelTableIsWellFormed()
{
    // The reader skips a line without a tab and keeps the last of two equal types, silently.
    QFile file(u":/models/device-models.txt"_s);
    QVERIFY(file.open(QIODevice::ReadOnly));
    static const QRegularExpression entry(
        u"^(iPhone|iPad|iPod)[1-9][0-9]*,[1-9][0-9]*\t\\S(.*\\S)?$"_s);
    QSet<QString> seen;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (const QString &line : lines) {
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        QVERIFY2(entry.match(line).hasMatch(), qPrintable(line));
        const QString productType = line.section(u'\t', 0, 0);
        QVERIFY2(!seen.contains(productType), qPrintable(u"twice: "_s + productType));
        seen.insert(productType);
        QCOMPARE(DeviceModels::name(productType), OptionalText(line.section(u'\t', 1)));
    }
    QVERIFY(seen.size() > 100);
}

#include "tst_inventory.moc"
