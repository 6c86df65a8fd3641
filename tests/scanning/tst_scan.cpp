#include "common/HostWording.h"
#include "common/PlatformError.h"
#include "history/HistoryStore.h"
#include "scanning/Column.h"
#include "scanning/DeviceWatcher.h"
#include "scanning/ScanError.h"
#include "scanning/ScanRun.h"
#include "scanning/Scanner.h"
#include "scanning/device/DeviceFacts.h"
#include "tests/InventoryPrinting.h"
#include "tests/LookupServer.h"
#include "tests/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimeZone>

#include <plist/plist.h>

#include <csignal>
#include <thread>

#include <sys/time.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace TestFiles;
using namespace std::chrono_literals;

namespace {

// A recorded app list: display name versus bundle name, sizes as integers and as a Boolean.
QByteArray appsXml()
{
    return readBytes(QStringLiteral(QUILLET_TEST_DATA "/scanning/data/apps.xml"));
}

const QString noDevice = u"No USB device found. Connect your iPhone or iPad with a data cable, "
                         u"unlock it, and "_s +
    HostWording::confirmTrust() + u'.';
const QString multipleDevices =
    u"Multiple devices are connected. Disconnect all but the device you want to scan."_s;
const QString invalidList = u"The device returned an invalid application list."_s;
const QString noIdentifier =
    u"The device returned an app without an identifier. Previous inventory preserved."_s;

QByteArray binaryPlist(const QByteArray &xml)
{
    plist_t root = nullptr;
    plist_from_xml(xml.constData(), uint32_t(xml.size()), &root);
    char *bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    QByteArray result(bytes, length);
    std::free(bytes);
    plist_free(root);
    return result;
}

QByteArray bigEndian(quint64 value, int size)
{
    QByteArray bytes(size, '\0');
    for (int i = size - 1; i >= 0; --i, value >>= 8)
        bytes[i] = char(value & 0xFF);
    return bytes;
}

// A binary list of the given objects, the first the root, with four-byte offsets and
// references.
QByteArray binaryList(const QList<QByteArray> &objects)
{
    QByteArray list = "bplist00";
    QByteArray offsets;
    for (const QByteArray &object : objects) {
        offsets += bigEndian(quint64(list.size()), 4);
        list += object;
    }
    return list + offsets + QByteArray(6, '\0') + "\x04\x04" +
        bigEndian(quint64(objects.size()), 8) + bigEndian(0, 8) +
        bigEndian(quint64(list.size()), 8);
}

// An array object referring to the given objects.
QByteArray arrayOf(const QList<quint32> &references)
{
    QByteArray array(1, char(0xA0 | qMin(references.size(), 15)));
    if (references.size() >= 15)
        array += '\x12' + bigEndian(quint64(references.size()), 4);
    for (quint32 reference : references)
        array += bigEndian(reference, 4);
    return array;
}

// Each object an array of `fanOut` references to the next, `depth` deep.
QByteArray binaryChain(int depth, int fanOut)
{
    QList<QByteArray> objects;
    for (int i = 0; i < depth; ++i)
        objects.append(arrayOf(QList<quint32>(fanOut, quint32(i + 1))));
    objects.append(arrayOf({}));
    return binaryList(objects);
}

QByteArray xmlList(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body +
        "</plist>";
}

} // namespace

class TestScan : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void scanEndToEnd();
    void deviceCount_data();
    void deviceCount();
    void deviceName_data();
    void deviceName();
    void failuresKeepThePreviousInventory_data();
    void failuresKeepThePreviousInventory();
    void emptyAppListMakesNoRequest();
    void factsAlongsideTheListing_data();
    void factsAlongsideTheListing();
    void hostileListsAreRefusedBeforeParsing_data();
    void hostileListsAreRefusedBeforeParsing();
    void cancelDuringLookup();
    void deviceFacts_data();
    void deviceFacts();
    void watchingDevices_data();
    void watchingDevices();
    void runSummary_data();
    void runSummary();
    void leftoversOfKilledSaves_data();
    void leftoversOfKilledSaves();

private:
    // A fake tool printing `output` (a file, so any bytes go) and exiting with `status`.
    void tool(const QString &name, const QByteArray &output, int status = 0,
              const QByteArray &error = {});
    Scanner &scanner(const LookupServer &server);
    QByteArray previousInventory();

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_storage;
    std::unique_ptr<Scanner> m_scanner;
    QStringList m_progress;
};

void TestScan::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    m_storage = m_root->filePath(u"data"_s);
    m_progress.clear();
    tool(u"idevice_id"_s, "00008110-001A2B3C4D5E801E\n  \n");
    tool(u"idevicename"_s, "  Ann\u2019s iPhone\n");
    tool(u"ideviceinstaller"_s, "Listing apps...\n" + appsXml());
}

void TestScan::tool(const QString &name, const QByteArray &output, int status,
                    const QByteArray &error)
{
    const QString base = m_root->filePath(u"Tools/"_s + name);
    writeBytes(base + u".out"_s, output);
    writeBytes(base + u".err"_s, error);
    const QByteArray script = "#!/bin/sh\nprintf '%s\\0' \"$@\" > '" + QFile::encodeName(base) +
        ".args'\ncat '" + QFile::encodeName(base) + ".out'\ncat '" + QFile::encodeName(base) +
        ".err' >&2\nexit " + QByteArray::number(status) + "\n";
    writeBytes(base, script);
    QFile(base).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

Scanner &TestScan::scanner(const LookupServer &server)
{
    m_scanner = std::make_unique<Scanner>(m_root->path(), m_storage);
    m_scanner->storeLookup().setURL(server.url());
    m_scanner->storeLookup().setSlice(10ms);
    m_scanner->setProgress([this](const QString &message) { m_progress.append(message); });
    return *m_scanner;
}

// Writes an inventory from an earlier scan, to show that failures leave it alone.
QByteArray TestScan::previousInventory()
{
    Inventory previous;
    previous.rows = {{{Column::appName, u"Earlier"_s}}};
    previous.scanID = HistoryStore::newIdentity();
    QDir().mkpath(m_storage);
    previous.writeFile(m_storage + u"/inventory.json"_s);
    return readBytes(m_storage + u"/inventory.json"_s);
}

void TestScan::scanEndToEnd()
{
    LookupServer server(LookupServer::knownApps({{u"com.example.notes"_s, u"Productivity"_s}}));
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const Inventory inventory = scanner(server).scan();

    QCOMPARE(inventory.deviceName, std::optional<QString>(u"Ann\u2019s iPhone"_s));
    QCOMPARE(inventory.deviceID, std::optional<QString>(u"00008110-001A2B3C4D5E801E"_s));
    QVERIFY(inventory.scanID && HistoryStore::isValidIdentity(*inventory.scanID));
    QVERIFY(inventory.scannedAt && *inventory.scannedAt >= before.addSecs(-1));
    QCOMPARE(inventory.fields, Column::scanFields());
    QCOMPARE(inventory.rows.size(), 2);
    const Row &maps = inventory.rows[0]; // "Notes 9" before "Notes 10"
    const Row &notes = inventory.rows[1];
    QCOMPARE(maps.value(Column::appName), u"Notes 9"_s);
    QCOMPARE(maps.value(Column::appMB), u""_s);
    QCOMPARE(maps.value(Column::appType), u"System"_s);
    QCOMPARE(maps.value(Column::updateAvailable), u"Unknown"_s);
    QCOMPARE(notes.value(Column::category), u"Productivity"_s);
    QCOMPARE(notes.value(Column::totalMB), u"3.23"_s);
    QCOMPARE(notes.value(Column::updateAvailable), u"Yes"_s);
    QCOMPARE(notes.value(Column::storeVersion), u"9.0"_s);
    QCOMPARE(notes.value(Column::artworkURL), u"https://a/com.example.notes/512.png"_s);
    QCOMPARE(notes.value(Column::deviceIdentifier), u"00008110-001A2B3C4D5E801E"_s);
    // Every column of the registry, whatever it holds.
    QCOMPARE(notes.size(), Column::all().size());

    QByteArray expectedArguments = "-u\0"_ba + "00008110-001A2B3C4D5E801E\0list\0--all\0--xml\0"_ba;
    for (const QString &attribute : Column::deviceAttributes())
        expectedArguments += "--attribute\0"_ba + attribute.toUtf8() + '\0';
    QCOMPARE(readBytes(m_root->filePath(u"Tools/ideviceinstaller.args"_s)), expectedArguments);
    QCOMPARE(readBytes(m_root->filePath(u"Tools/idevicename.args"_s)),
             "-u\0"_ba + "00008110-001A2B3C4D5E801E\0"_ba);
    QCOMPARE(server.requestedIdentifiers(), QStringList{u"com.example.maps,com.example.notes"_s});
    QCOMPARE(m_progress,
             (QStringList{u"Finding connected devices…"_s,
                          u"Reading installed apps. Keep your device unlocked…"_s,
                          u"Looking up categories: 2 of 2…"_s}));

    QCOMPARE(Inventory::readFile(m_storage + u"/inventory.json"_s), inventory);
    const HistoryStore history(m_storage);
    QCOMPARE(history.inventory(history.list().scans.value(0)), inventory);
    const auto cache = CategoryEntry::decodeMap(readBytes(m_storage + u"/categories.json"_s));
    QVERIFY(cache && cache->size() == 2);

    // The same listing as a binary property list reads the same.
    tool(u"ideviceinstaller"_s, binaryPlist(appsXml()));
    const Inventory again = scanner(server).scan();
    QCOMPARE(again.rows.size(), 2);
    QCOMPARE(again.rows[1].value(Column::totalMB), u"3.23"_s);
    QCOMPARE(HistoryStore(m_storage).list().scans.size(), 2);
}

void TestScan::deviceCount_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing") << QByteArray() << noDevice;
    QTest::newRow("only white space") << QByteArray(" \n\t\n") << noDevice;
    QTest::newRow("two on one line") << QByteArray("A B\n") << multipleDevices;
    QTest::newRow("two lines") << QByteArray("A\nB\n") << multipleDevices;
}

void TestScan::deviceCount()
{
    QFETCH(QByteArray, output);
    QFETCH(QString, message);
    tool(u"idevice_id"_s, output);
    const QByteArray previous = previousInventory();
    LookupServer server;
    try {
        scanner(server).scan();
        QFAIL("scanned");
    } catch (const ScanError &error) {
        QCOMPARE(error.description(), message);
    }
    QCOMPARE(readBytes(m_storage + u"/inventory.json"_s), previous);
    QVERIFY(!QFile::exists(m_root->filePath(u"Tools/idevicename.args"_s)));
}

void TestScan::deviceName_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("status");
    QTest::addColumn<std::optional<QString>>("name");
    QTest::newRow("tool fails") << QByteArray("Ann\n") << 1 << std::optional<QString>();
    QTest::newRow("not UTF-8") << QByteArray("Caf\xE9\n") << 0 << std::optional<QString>();
    QTest::newRow("blank") << QByteArray("  \n") << 0 << std::optional<QString>(u""_s);
}

void TestScan::deviceName()
{
    QFETCH(QByteArray, output);
    QFETCH(int, status);
    QFETCH(std::optional<QString>, name);
    tool(u"idevicename"_s, output, status, status ? "ERROR: No device found." : "");
    LookupServer server;
    QCOMPARE(scanner(server).scan().deviceName, name);
}

void TestScan::failuresKeepThePreviousInventory_data()
{
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("lookedUp");
    const QString notAList = u"The application list from the device could not be read: it is "
                             u"not a valid property list."_s;
    QTest::newRow("dictionary instead of a list")
        << QByteArray("<plist><dict><key>a</key><string>b</string></dict></plist>") << 0
        << invalidList << false;
    QTest::newRow("list of texts") << QByteArray("<plist><array><string>a</string></array></plist>")
                                   << 0 << invalidList << false;
    QTest::newRow("not a property list") << QByteArray("garbage") << 0 << notAList << false;
    // libplist aborts the process on these, so they never reach it.
    QTest::newRow("binary list, zero character in a key")
        << QByteArray("bplist00\xa1\x01\xd1\x02\x03\x63\x00\xe9\x00\x00\x00\x62\x51\x76\x08\x0a"
                      "\x0d\x14\x00\x00\x00\x00\x00\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00\x04"
                      "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x16",
                      58)
        << 0 << notAList << false;
    QTest::newRow("binary list, zero character in a text")
        << QByteArray("bplist00\xa1\x01\xd1\x02\x03\x5f\x10\x12"
                      "CFBundleIdentifier\x63\x00\xe9"
                      "\x00\x00\x00\x79\x08\x0a\x0d\x22\x00\x00\x00\x00\x00\x00\x01\x01\x00\x00"
                      "\x00\x00\x00\x00\x00\x04\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
                      "\x00\x00\x00\x29",
                      77)
        << 0 << notAList << false;
    QTest::newRow("XML list, zero byte in a text")
        << QByteArray("<plist><array><dict><key>CFBundleName</key><string>a\0b</string></dict>"
                      "</array></plist>",
                      86)
        << 0 << notAList << false;
    QTest::newRow("app without identifier")
        << QByteArray("<plist><array><dict><key>CFBundleIdentifier</key><string>a</string></dict>"
                      "<dict><key>CFBundleIdentifier</key><string></string></dict></array></plist>")
        << 0 << noIdentifier << true;
    QTest::newRow("tool error") << QByteArray() << 1 << u"Could not connect to lockdownd: -17"_s
                                << false;
    // Each control character takes six bytes in the inventory: saved, it would not be read back.
    QTest::newRow("inventory too large to read back")
        << xmlList("<array><dict><key>CFBundleIdentifier</key><string>com.example.big</string>"
                   "<key>CFBundleDisplayName</key><string>" +
                   QByteArray(9'000'000, '\x01') + "</string></dict></array>")
        << 0
        << u"The scan could not be saved: its inventory would be larger than 50 MB, more than "
           "Quillet reads back. The previous inventory is kept."_s
        << true;
}

void TestScan::failuresKeepThePreviousInventory()
{
    QFETCH(QByteArray, listing);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(bool, lookedUp);
    tool(u"ideviceinstaller"_s, listing, status,
         status ? "Could not connect to lockdownd: -17\n" : "");
    const QByteArray previous = previousInventory();
    LookupServer server;
    try {
        scanner(server).scan();
        QFAIL("scanned");
    } catch (const Failure &error) {
        QCOMPARE(error.description(), message);
    }
    QCOMPARE(readBytes(m_storage + u"/inventory.json"_s), previous);
    QVERIFY(!QFile::exists(m_storage + u"/History"_s));
    QCOMPARE(server.requestLines().size(), lookedUp ? 1 : 0);
}

void TestScan::factsAlongsideTheListing_data()
{
    QTest::addColumn<bool>("cancel"); // else the listing fails
    QTest::newRow("a failed listing stops the facts") << false;
    QTest::newRow("a cancel stops both") << true;
}

// The health helper runs while the device lists its apps; the scan never waits for it once the
// listing has failed or the scan was cancelled.
void TestScan::factsAlongsideTheListing()
{
    QFETCH(bool, cancel);
    const QByteArray tools = QFile::encodeName(m_root->filePath(u"Tools/"_s));
    for (const char *name : {"quillet-devicehealth", "ideviceinstaller"}) {
        // The listing waits for the helper to run, so that the two overlap.
        const QByteArray start = name == std::string_view("ideviceinstaller")
            ? "i=0; while [ ! -e '" + tools +
                "quillet-devicehealth.pid' ] && [ $i -lt 500 ]; "
                "do sleep 0.01; i=$((i+1)); done\n"
            : QByteArray();
        const QByteArray end = cancel || start.isEmpty()
            ? QByteArray("exec sleep 30\n")
            : QByteArray("echo 'Could not connect to lockdownd: -17' >&2; exit 1\n");
        const QString path = m_root->filePath(u"Tools/"_s + QLatin1StringView(name));
        writeBytes(path, "#!/bin/sh\n" + start + "echo $$ > '" + tools + name + ".pid'\n" + end);
        QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const auto pid = [&](const char *name) {
        return pid_t(readBytes(QFile::decodeName(tools + name + ".pid")).trimmed().toInt());
    };
    LookupServer server;
    Scanner &scanning = scanner(server);
    std::thread canceller([&] {
        for (int i = 0; cancel && i < 500; ++i, std::this_thread::sleep_for(10ms)) {
            if (QFile::exists(QFile::decodeName(tools + "ideviceinstaller.pid"))) {
                scanning.cancel();
                break;
            }
        }
    });
    const auto started = std::chrono::steady_clock::now();
    QString error;
    try {
        scanning.scan();
    } catch (const Failure &failure) {
        error = failure.description();
    }
    canceller.join();
    // Well inside the helper's own time limit of 8 seconds.
    QVERIFY(std::chrono::steady_clock::now() - started < 4s);
    if (cancel)
        QCOMPARE(error, ScanError::cancelledMessage());
    else
        QVERIFY2(error.startsWith(u"Could not connect to lockdownd"_s), qPrintable(error));
    for (const char *name : {"quillet-devicehealth", "ideviceinstaller"}) {
        const pid_t child = pid(name);
        QVERIFY2(child > 0 && ::kill(child, 0) != 0, name);
    }
}

void TestScan::emptyAppListMakesNoRequest()
{
    tool(u"ideviceinstaller"_s, "<plist><array/></plist>");
    LookupServer server;
    const Inventory inventory = scanner(server).scan();
    QVERIFY(inventory.rows.isEmpty());
    QCOMPARE(server.requestLines().size(), 0);
    QCOMPARE(Inventory::readFile(m_storage + u"/inventory.json"_s), inventory);
    QCOMPARE(HistoryStore(m_storage).list().scans.size(), 1);
}

void TestScan::hostileListsAreRefusedBeforeParsing_data()
{
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<QString>("message");
    const QString notAList = u"The application list from the device could not be read: it is "
                             u"not a valid property list."_s;
    const auto nested = [](int depth, const QByteArray &open, const QByteArray &close) {
        return xmlList(open.repeated(depth) + close.repeated(depth));
    };
    // Parsed, then refused for holding lists instead of apps: the bound is not too tight.
    QTest::newRow("XML, as deep as allowed") << nested(256, "<array>", "</array>") << invalidList;
    QTest::newRow("binary, as deep as allowed") << binaryChain(255, 1) << invalidList;
    QTest::newRow("XML, one deeper") << nested(257, "<array>", "</array>") << notAList;
    QTest::newRow("XML, 300,000 deep")
        << nested(300'000, "<dict><key>a</key>", "</dict>") << notAList;
    QTest::newRow("XML, closing tags in comments")
        << xmlList(QByteArray("<array><!-- </array> -->").repeated(20'000)) << notAList;
    QTest::newRow("XML, closing tags in character data")
        << xmlList(QByteArray("<array><![CDATA[</array>]]>").repeated(20'000)) << notAList;
    QTest::newRow("XML, a million empty dictionaries")
        << xmlList("<array>" + QByteArray("<dict/>").repeated(1 << 20) + "</array>") << notAList;
    QTest::newRow("JSON") << QByteArray("[").repeated(20'000) << notAList;
    QTest::newRow("binary, 300,000 deep") << binaryChain(300'000, 1) << notAList;
    QTest::newRow("binary, each list twice in the one before") << binaryChain(40, 2) << notAList;
    QTest::newRow("binary, list inside itself") << binaryList({arrayOf({0})}) << notAList;
    QTest::newRow("binary, count beyond the data")
        << binaryList({"\xAF\x13\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF"_ba}) << notAList;
    QTest::newRow("binary, reference to no object") << binaryList({arrayOf({7})}) << notAList;
}

// The stack macOS gives secondary threads; the address sanitizer's frames are several times
// larger, so its builds get more.
#if defined(__SANITIZE_ADDRESS__)
constexpr uint workerStack = 4 * 512 * 1024;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr uint workerStack = 4 * 512 * 1024;
#else
constexpr uint workerStack = 512 * 1024;
#endif
#else
constexpr uint workerStack = 512 * 1024;
#endif

// On a thread with the stack macOS gives secondary threads, where a recursion through a deep
// list would overflow.
void TestScan::hostileListsAreRefusedBeforeParsing()
{
    QFETCH(QByteArray, listing);
    QFETCH(QString, message);
    QString error;
    std::unique_ptr<QThread> parser(QThread::create([&] {
        try {
            Scanner::parseAppList(listing);
        } catch (const Failure &failure) {
            error = failure.description();
        }
    }));
    parser->setStackSize(workerStack);
    parser->start();
    QVERIFY(parser->wait());
    QCOMPARE(error, message);
}

void TestScan::cancelDuringLookup()
{
    const QByteArray previous = previousInventory();
    LookupServer server([](const QUrlQuery &, int) { return LookupServer::Reply{200, "", true}; });
    Scanner &scan = scanner(server);
    std::thread canceller([&] {
        while (server.requestLines().isEmpty())
            std::this_thread::sleep_for(5ms);
        scan.cancel();
    });
    try {
        scan.scan();
        QFAIL("scanned");
    } catch (const ScanError &error) {
        QCOMPARE(error.description(), ScanError::cancelledMessage());
    }
    canceller.join();
    QCOMPARE(readBytes(m_storage + u"/inventory.json"_s), previous);
    QVERIFY(!QFile::exists(m_storage + u"/History"_s));
}

// Steps: "A B: A" looks at devices A and B connected and expects A due; "settle A"; "wait A:
// yes" expects advice to be worth giving; "begin A", "end A" and "scanned A" as a scan goes;
// "after 30" moves the clock on 30 seconds.
void TestScan::watchingDevices_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("each once while connected")
        << QStringList{u"A B: A B"_s, u"settle A"_s, u"settle B"_s, u"A B: "_s, u"A B C: C"_s};
    QTest::newRow("unplugged, then plugged in again")
        << QStringList{u"A: A"_s, u"settle A"_s, u": "_s, u"A: A"_s};
    QTest::newRow("locked: advised once, tried until scanned") << QStringList{
        u"A: A"_s, u"wait A: yes"_s, u"A: A"_s, u"wait A: no"_s, u"settle A"_s, u"A: "_s};
    QTest::newRow("locked, unplugged, advised again")
        << QStringList{u"A: A"_s, u"wait A: yes"_s, u": "_s, u"A: A"_s, u"wait A: yes"_s};
    QTest::newRow("listed twice") << QStringList{u"A A B: A B"_s};
    QTest::newRow("being scanned, even unplugged and back")
        << QStringList{u"A B: A B"_s, u"begin A"_s, u"A B: B"_s,  u"B: B"_s,
                       u"A B: B"_s,   u"end A"_s,   u"A B: A B"_s};
    // A minute from the scan's end, not its start: the next visit after that is scanned.
    QTest::newRow("flapping: back within a minute of its scan")
        << QStringList{u"A: A"_s,   u"begin A"_s,  u"after 50"_s, u"scanned A"_s, u"end A"_s,
                       u": "_s,     u"after 20"_s, u"A: "_s,      u": "_s,        u"after 20"_s,
                       u"A B: B"_s, u": "_s,       u"after 25"_s, u"A: A"_s};
    QTest::newRow("back within a minute, then stays")
        << QStringList{u"A: A"_s,      u"scanned A"_s, u": "_s, u"after 5"_s, u"A: "_s,
                       u"after 100"_s, u"A: "_s,       u": "_s, u"A: A"_s};
    // Unplugging and plugging in again is the advice for some failures.
    QTest::newRow("failed, back at once")
        << QStringList{u"A: A"_s, u"settle A"_s, u": "_s, u"after 1"_s, u"A: A"_s};
}

void TestScan::watchingDevices()
{
    QFETCH(QStringList, steps);
    auto now = std::chrono::steady_clock::time_point();
    DeviceWatcher watcher([&now] { return now; });
    for (const QString &step : steps) {
        const QString command = step.section(u':', 0, 0);
        const QString expected = step.section(u':', 1).trimmed();
        const QString device = command.section(u' ', 1);
        if (command.startsWith(u"settle "_s))
            watcher.settle(device);
        else if (command.startsWith(u"scanned "_s))
            watcher.scanned(device);
        else if (command.startsWith(u"begin "_s))
            watcher.begin(device);
        else if (command.startsWith(u"end "_s))
            watcher.end(device);
        else if (command.startsWith(u"after "_s))
            now += std::chrono::seconds(device.toInt());
        else if (command.startsWith(u"wait "_s))
            QCOMPARE(watcher.wait(device) ? u"yes"_s : u"no"_s, expected);
        else
            QCOMPARE(watcher.due(command.split(u' ', Qt::SkipEmptyParts)).join(u' '), expected);
    }
}

void TestScan::runSummary_data()
{
    QTest::addColumn<int>("total");
    QTest::addColumn<bool>("automatic");
    // Devices by title, a failed one after "!".
    QTest::addColumn<QStringList>("outcomes");
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<QString>("summary");
    const QString empty = u"Scan complete. The device listed no apps."_s;
    QTest::newRow("one chosen") << 1 << false << QStringList{u"Ann"_s} << false << empty;
    QTest::newRow("all") << 3 << false << QStringList{u"Ann"_s, u"Ben"_s, u"Cy"_s} << false
                         << u"Scanned 3 of 3 devices; each scan is saved in the history: Ann, "
                            "Ben, and Cy."_s;
    QTest::newRow("one failed")
        << 3 << false << QStringList{u"Ann"_s, u"!Ben"_s, u"Cy"_s} << false
        << u"Scanned 2 of 3 devices; each scan is saved in the history: Ann and Cy. Not "
           "scanned: Ben."_s;
    QTest::newRow("all failed") << 2 << false << QStringList{u"!Ann"_s, u"!Ben"_s} << false
                                << u"No device could be scanned."_s;
    QTest::newRow("cancelled after one")
        << 3 << false << QStringList{u"Ann"_s} << true
        << u"Scan cancelled after 1 of 3 devices. The finished scans are saved: Ann."_s;
    QTest::newRow("cancelled at once")
        << 2 << false << QStringList() << true << ScanError::cancelledMessage();
    QTest::newRow("connected") << 1 << true << QStringList{u"Ann"_s} << false
                               << u"Ann was connected. "_s + empty;
    QTest::newRow("connected, still locked") << 1 << true << QStringList() << false << QString();
}

void TestScan::runSummary()
{
    QFETCH(int, total);
    QFETCH(bool, automatic);
    QFETCH(QStringList, outcomes);
    QFETCH(bool, cancelled);
    QFETCH(QString, summary);
    ScanRun run(total, automatic);
    for (const QString &device : outcomes) {
        if (device.startsWith(u'!'))
            run.failed(device.mid(1), u"Unplugged."_s);
        else
            run.saved(device, Inventory());
    }
    QCOMPARE(run.summary(cancelled), summary);
}

void TestScan::leftoversOfKilledSaves_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("minutesOld");
    QTest::addColumn<QString>("kind"); // "file", "link", or "another user's"
    QTest::addColumn<bool>("removed");
    const QString icon = QString(64, u'a');
    QTest::newRow("the inventory's") << u"inventory.json.Ab12Cd"_s << 60 << u"file"_s << true;
    QTest::newRow("an archive's") << u"History/AAAAAAAA-0000-4000-8000-000000000001.json.x9Y8z7"_s
                                  << 60 << u"file"_s << true;
    QTest::newRow("an icon's") << u"Icons/"_s + icon + u".QQQQQQ"_s << 60 << u"file"_s << true;
    QTest::newRow("a long name's") << u".quillet.000000"_s << 60 << u"file"_s << true;
    QTest::newRow("a save going on") << u"inventory.json.Ab12Cd"_s << 1 << u"file"_s << false;
    QTest::newRow("not a name of ours") << u"notes.txt.Ab12Cd"_s << 60 << u"file"_s << false;
    QTest::newRow("seven letters") << u"inventory.json.Ab12Cde"_s << 60 << u"file"_s << false;
    QTest::newRow("a link") << u"inventory.json.Ab12Cd"_s << 60 << u"link"_s << false;
    QTest::newRow("another user's")
        << u"inventory.json.Ab12Cd"_s << 60 << u"another user's"_s << false;
}

// What a save killed before its rename leaves is cleared at the next start, and nothing else.
void TestScan::leftoversOfKilledSaves()
{
    QFETCH(QString, name);
    QFETCH(int, minutesOld);
    QFETCH(QString, kind);
    QFETCH(bool, removed);
    const QString path = m_storage + u'/' + name;
    const QByteArray encoded = QFile::encodeName(path);
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    if (kind == u"link") {
        writeBytes(m_root->filePath(u"target"_s), "kept");
        QVERIFY(::symlink(QFile::encodeName(m_root->filePath(u"target"_s)).constData(),
                          encoded.constData()) == 0);
    } else {
        writeBytes(path, QByteArray(1000, 'x'));
    }
    if (kind == u"another user's" &&
        (::geteuid() != 0 || ::lchown(encoded.constData(), 65534, 65534) != 0))
        QSKIP("a file of another user's needs root to make");
    const timeval then[2] = {{::time(nullptr) - minutesOld * 60, 0},
                             {::time(nullptr) - minutesOld * 60, 0}};
    QVERIFY(::lutimes(encoded.constData(), then) == 0);
    Scanner(m_root->path(), m_storage).load();
    QCOMPARE(!QFileInfo(path).exists() && !QFileInfo(path).isSymLink(), removed);
}

QTEST_GUILESS_MAIN(TestScan)
namespace {

QByteArray dictionary(const QByteArray &entries)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" +
        entries + "</dict>\n</plist>\n";
}

} // namespace

void TestScan::deviceFacts_data()
{
    // Each domain's answer; an empty one is a domain the device refuses.
    QTest::addColumn<QByteArray>("general");
    QTest::addColumn<QByteArray>("disk");
    QTest::addColumn<QByteArray>("battery");
    QTest::addColumn<QByteArray>("backup");
    QTest::addColumn<QByteArray>("health");
    // How the helper answers: empty as `health` says (none when empty, no Lockdown: ideviceinfo
    // reads the domains), "lockdown" with the domains' answers in its Lockdown member
    // (ideviceinfo then fails) or "fails" (it exits 1: ideviceinfo reads the domains).
    QTest::addColumn<QString>("helperMode");
    QTest::addColumn<DeviceFacts>("expected");
    const QByteArray general =
        dictionary("<key>ProductType</key><string>iPhone14,2</string>"
                   "<key>ProductVersion</key><string>17.5.1</string>"
                   "<key>BuildVersion</key><string>21F90</string>"
                   "<key>DeviceClass</key><string>iPhone</string>"
                   "<key>SerialNumber</key><string>F2LXX0</string>"
                   "<key>SupportedDeviceFamilies</key><array><integer>1</integer></array>");
    const QByteArray disk =
        dictionary("<key>TotalDiskCapacity</key><integer>128000000000</integer>"
                   "<key>TotalDataCapacity</key><integer>110000000000</integer>"
                   "<key>TotalDataAvailable</key><integer>23400000000</integer>");
    const QByteArray battery = dictionary("<key>BatteryCurrentCapacity</key><integer>82</integer>"
                                          "<key>BatteryIsCharging</key><true/>");
    DeviceFacts all;
    all.productType = u"iPhone14,2"_s;
    all.productVersion = u"17.5.1"_s;
    all.buildVersion = u"21F90"_s;
    all.deviceClass = u"iPhone"_s;
    all.serialNumber = u"F2LXX0"_s;
    all.totalDiskCapacity = 128'000'000'000;
    all.totalDataCapacity = 110'000'000'000;
    all.totalDataAvailable = 23'400'000'000;
    all.batteryLevel = 82;
    all.batteryCharging = true;
    QTest::newRow("every lockdown fact")
        << general << disk << battery << QByteArray() << QByteArray() << QString() << all;

    // The backup domain and our health helper add the facts of the device sheet.
    const QByteArray backup =
        dictionary("<key>WillEncrypt</key><false/>"
                   "<key>LastiTunesBackupDate</key><date>2026-11-02T09:30:00Z</date>");
    const QByteArray health =
        dictionary("<key>Battery</key><dict><key>CycleCount</key><integer>402</integer>"
                   "<key>DesignCapacity</key><integer>3227</integer>"
                   "<key>AppleRawMaxCapacity</key><integer>2581</integer></dict>"
                   "<key>CloudConfiguration</key><dict><key>IsSupervised</key><true/></dict>"
                   "<key>Problems</key><dict><key>Profiles</key>"
                   "<string>the device refused the profile service</string></dict>");
    DeviceFacts managed = all;
    managed.backupsEncrypted = false;
    managed.lastComputerBackup = QDateTime(QDate(2026, 11, 2), QTime(9, 30), QTimeZone::utc());
    managed.batteryCycles = 402;
    managed.batteryDesignCapacity = 3227;
    managed.batteryFullChargeCapacity = 2581;
    managed.supervised = true;
    managed.profilesProblem = u"the device refused the profile service"_s;
    QTest::newRow("backups and health")
        << general << disk << battery << backup << health << QString() << managed;

    DeviceFacts noBattery = all;
    noBattery.batteryLevel.reset();
    noBattery.batteryCharging.reset();
    QTest::newRow("battery refused") << general << disk << QByteArray() << QByteArray()
                                     << QByteArray() << QString() << noBattery;
    QTest::newRow("nothing answered") << QByteArray() << QByteArray() << QByteArray()
                                      << QByteArray() << QByteArray() << QString() << DeviceFacts();

    DeviceFacts older;
    older.totalDataAvailable = 5'000'000'000;
    QTest::newRow("an older name for free space")
        << QByteArray("not a property list")
        << dictionary("<key>AmountDataAvailable</key><integer>5000000000</integer>")
        << QByteArray("<plist version=\"1.0\"><array/></plist>") << QByteArray() << QByteArray()
        << QString() << older;

    // Values of the wrong kind or out of range are damage: left out, the rest kept.
    DeviceFacts sane;
    sane.deviceClass = u"iPad"_s;
    QTest::newRow("nonsense values")
        << dictionary("<key>ProductType</key><integer>14</integer>"
                      "<key>ProductVersion</key><string>17\u202E5</string>"
                      "<key>BuildVersion</key><string></string>"
                      "<key>DeviceClass</key><string>iPad</string>")
        << dictionary("<key>TotalDiskCapacity</key><integer>-5</integer>"
                      "<key>TotalDataAvailable</key><string>lots</string>")
        << dictionary("<key>BatteryCurrentCapacity</key><integer>140</integer>"
                      "<key>BatteryIsCharging</key><string>yes</string>")
        << dictionary("<key>WillEncrypt</key><integer>1</integer>")
        << QByteArray("<plist><dict><key>Battery</key><string>") + QByteArray(300, 'x') +
            "</string></dict></plist>"
        << QString() << sane;

    // The helper reads the domains in its own session; ideviceinfo is not asked.
    QTest::newRow("domains in the helper's session")
        << general << disk << battery << backup << health << u"lockdown"_s << managed;
    QTest::newRow("the helper's session, battery refused")
        << general << disk << QByteArray() << QByteArray() << QByteArray() << u"lockdown"_s
        << noBattery;
    // A helper that cannot run leaves the domains to ideviceinfo, and its own parts unknown.
    DeviceFacts withoutHealth = managed;
    withoutHealth.batteryCycles.reset();
    withoutHealth.batteryDesignCapacity.reset();
    withoutHealth.batteryFullChargeCapacity.reset();
    withoutHealth.supervised.reset();
    withoutHealth.profilesProblem.reset();
    QTest::newRow("the helper fails")
        << general << disk << battery << backup << health << u"fails"_s << withoutHealth;
}

// The facts are read after the listing, kept with the scan, and never fail it.
void TestScan::deviceFacts()
{
    QFETCH(QByteArray, general);
    QFETCH(QByteArray, disk);
    QFETCH(QByteArray, battery);
    QFETCH(QByteArray, backup);
    QFETCH(QByteArray, health);
    QFETCH(QString, helperMode);
    QFETCH(DeviceFacts, expected);
    const QString base = m_root->filePath(u"Tools/ideviceinfo"_s);
    const QList<std::pair<const char *, QByteArray>> answers{
        {"general", general}, {"disk", disk}, {"battery", battery}, {"backup", backup}};
    for (const auto &[part, answer] : answers) {
        QFile::remove(base + u'.' + QLatin1StringView(part));
        if (!answer.isEmpty())
            writeBytes(base + u'.' + QLatin1StringView(part), answer);
    }
    const QByteArray folder = QFile::encodeName(base);
    // Each domain's values as the helper's Lockdown member gives them.
    QByteArray lockdown = "<key>Lockdown</key><array>";
    const QList<std::pair<QByteArray, QByteArray>> domains{{"", general},
                                                           {"com.apple.disk_usage", disk},
                                                           {"com.apple.mobile.battery", battery},
                                                           {"com.apple.mobile.backup", backup}};
    for (const auto &[domain, answer] : domains) {
        const qsizetype open = answer.indexOf("<dict>"), close = answer.lastIndexOf("</dict>");
        if (open >= 0 && close > open)
            lockdown += "<dict><key>Domain</key><string>" + domain + "</string><key>Values</key>" +
                answer.mid(open, close + 7 - open) + "</dict>";
    }
    // A domain given twice counts once, and one not asked for not at all.
    if (!battery.isEmpty())
        lockdown += "<dict><key>Domain</key><string>com.apple.mobile.battery</string>"
                    "<key>Values</key><dict><key>BatteryCurrentCapacity</key><integer>7</integer>"
                    "</dict></dict>";
    lockdown += "<dict><key>Domain</key><string>quillet-devicehealth</string><key>Values</key>"
                "<dict><key>Battery</key><dict><key>CycleCount</key><integer>9</integer></dict>"
                "</dict></dict></array>";
    writeBytes(base,
               "#!/bin/sh\ncase \" $* \" in\n*\" com.apple.disk_usage \"*) part=disk ;;\n"
               "*\" com.apple.mobile.battery \"*) part=battery ;;\n"
               "*\" com.apple.mobile.backup \"*) part=backup ;;\n*\" -q \"*) part=other ;;\n"
               "*) part=general ;;\nesac\n"
               "[ -f '" +
                   folder +
                   "'.$part ] || { echo 'ERROR: GetProhibited' >&2; exit 1; }\n"
                   "cat '" +
                   folder + "'.$part\n");
    QFile(base).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString helper = m_root->filePath(u"Tools/quillet-devicehealth"_s);
    QFile::remove(helper);
    QByteArray printed = health;
    if (helperMode == u"lockdown") {
        printed = health.isEmpty()
            ? dictionary(lockdown)
            : QByteArray(health).insert(health.indexOf("<dict>") + 6, lockdown);
        writeBytes(base, "#!/bin/sh\necho 'ERROR: not asked' >&2\nexit 1\n");
    }
    if (!printed.isEmpty()) {
        writeBytes(helper + u".out"_s, printed);
        writeBytes(helper,
                   "#!/bin/sh\nprintf '%s\\0' \"$@\" > '" + QFile::encodeName(helper) +
                       ".args'\ncat '" + QFile::encodeName(helper) + ".out'\n" +
                       (helperMode == u"fails" ? "exit 1\n" : ""));
        QFile(helper).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    LookupServer server;
    const Inventory inventory = scanner(server).scan();
    QCOMPARE(inventory.rows.size(), 2);
    QCOMPARE(inventory.deviceFacts(), expected);
    QCOMPARE(Inventory::readFile(m_storage + u"/inventory.json"_s).deviceFacts(), expected);
    if (!printed.isEmpty()) {
        // Every domain is asked of the helper, the default one as an empty name.
        QByteArray arguments = "-u\0"_ba + "00008110-001A2B3C4D5E801E\0"_ba;
        for (const QString &domain : DeviceFacts::domains())
            arguments += "--domain\0"_ba + domain.toUtf8() + '\0';
        QCOMPARE(readBytes(helper + u".args"_s), arguments);
    }
}

#include "tst_scan.moc"
