#include "common/StoreCountry.h"
#include "scanning/CategoryEntry.h"
#include "scanning/Column.h"
#include "scanning/RowBuilder.h"
#include "scanning/ScanError.h"
#include "scanning/Scanner.h"
#include "tests/LookupServer.h"
#include "tests/TestFiles.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

using namespace Qt::StringLiterals;
using namespace TestFiles;
using namespace std::chrono_literals;

namespace {

const QString unavailable =
    u"Category lookup unavailable. Using cached categories where available."_s;

double secondsNow()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

QStringList identifiers(int count)
{
    QStringList result;
    for (int i = 0; i < count; ++i)
        result.append(u"com.example.app%1"_s.arg(i, 2, 10, QChar(u'0')));
    return result;
}

} // namespace

class TestStoreLookup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void freshCacheSendsNothing();
    void cacheEntriesAsked_data();
    void cacheEntriesAsked();
    void staleEntriesAreAskedAgain_data();
    void staleEntriesAreAskedAgain();
    void countryCodes_data();
    void countryCodes();
    void storeCountry_data();
    void storeCountry();
    void batchesPausesAndProgress();
    void resultsMatchTheirRequest();
    void badAnswersKeepTheCache_data();
    void badAnswersKeepTheCache();
    void secondBatchFailing();
    void damagedCacheIsReplacedAfterSuccess();
    void cancel_data();
    void cancel();
    void storePresence_data();
    void storePresence();

private:
    // A lookup as a scan runs it, with the scan's progress and cancellation.
    StoreLookup &lookup(const LookupServer &server);

    std::unique_ptr<QTemporaryDir> m_storage;
    std::unique_ptr<Scanner> m_scanner;
    QStringList m_progress;
    std::mutex m_progressLock;
};

void TestStoreLookup::init()
{
    m_storage = std::make_unique<QTemporaryDir>();
    m_scanner.reset();
    m_progress.clear();
}

StoreLookup &TestStoreLookup::lookup(const LookupServer &server)
{
    m_scanner = std::make_unique<Scanner>(m_storage->path(), m_storage->path());
    m_scanner->storeLookup().setURL(server.url());
    m_scanner->storeLookup().setSlice(10ms);
    m_scanner->setProgress([this](const QString &message) {
        std::lock_guard guard(m_progressLock);
        m_progress.append(message);
    });
    return m_scanner->storeLookup();
}

void TestStoreLookup::freshCacheSendsNothing()
{
    const double now = secondsNow();
    const CategoryEntry::Map cache{
        {u"a"_s, {u"Games"_s, now - 86000, u"1.0"_s, std::nullopt, 1}},
        {u"b"_s, {u""_s, now + 5000, std::nullopt, std::nullopt, 1}}, // from the future: fresh
        {u"other"_s, {u"Music"_s, now - 999999, std::nullopt, std::nullopt, 1}},
    };
    writeBytes(m_storage->filePath(u"categories.json"_s), CategoryEntry::encodeMap(cache));
    LookupServer server;
    const QHash<QString, QString> result = lookup(server).categories({u"b"_s, u"a"_s, u"a"_s});
    QCOMPARE(server.requestLines().size(), 0);
    QCOMPARE(m_progress, QStringList());
    // Only the apps asked for are read from the cache.
    QCOMPARE(result, (QHash<QString, QString>{{u"a"_s, u"Games"_s}, {u"b"_s, u""_s}}));
    CategoryEntry::Map asked = cache;
    asked.remove(u"other"_s);
    QCOMPARE(m_scanner->storeLookup().storeMetadata(), asked);
}

void TestStoreLookup::staleEntriesAreAskedAgain_data()
{
    QTest::addColumn<double>("age");
    QTest::addColumn<std::optional<qint64>>("revision");
    QTest::newRow("a second too old") << 86401.0 << std::optional<qint64>(1);
    QTest::newRow("no revision") << 10.0 << std::optional<qint64>();
    QTest::newRow("other revision") << 10.0 << std::optional<qint64>(2);
}

void TestStoreLookup::staleEntriesAreAskedAgain()
{
    QFETCH(double, age);
    QFETCH(std::optional<qint64>, revision);
    const CategoryEntry::Map cache{
        {u"a"_s, {u"Old"_s, secondsNow() - age, std::nullopt, std::nullopt, revision}}};
    writeBytes(m_storage->filePath(u"categories.json"_s), CategoryEntry::encodeMap(cache));
    LookupServer server(LookupServer::knownApps({{u"a"_s, u"New"_s}}));
    QCOMPARE(lookup(server).categories({u"a"_s}).value(u"a"_s), u"New"_s);
    QCOMPARE(server.requestedIdentifiers(), QStringList{u"a"_s});
    QCOMPARE(m_scanner->storeLookup().storeMetadata().value(u"a"_s).metadataRevision,
             std::optional<qint64>(1));
}

// An entry is the store of one country's: another country's store is asked again, in its own
// country. Entries from before the choice were the US store's.
void TestStoreLookup::countryCodes_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("valid");
    QTest::newRow("France") << u"fr"_s << true;
    QTest::newRow("upper case") << u"US"_s << true;
    QTest::newRow("Kosovo") << u"xk"_s << true;
    QTest::newRow("the European Union") << u"eu"_s << false;
    QTest::newRow("Antarctica") << u"AQ"_s << false;
    QTest::newRow("US outlying islands") << u"um"_s << false;
    QTest::newRow("the world") << u"001"_s << false;
    QTest::newRow("unknown") << u"zz"_s << false;
    QTest::newRow("not letters") << u"f1"_s << false;
}

// Only a country with a store of its own; the sheet lists no other.
void TestStoreLookup::countryCodes()
{
    QFETCH(QString, code);
    QFETCH(bool, valid);
    QCOMPARE(StoreCountry::isValid(code), valid);
    const auto listed = StoreCountry::countries();
    QCOMPARE(std::any_of(listed.begin(), listed.end(),
                         [&](const auto &country) { return country.first == code.toLower(); }),
             valid);
}

void TestStoreLookup::storeCountry_data()
{
    QTest::addColumn<QString>("cached");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("asked");
    QTest::newRow("an older entry, the US store") << QString() << u"us"_s << false;
    QTest::newRow("an older entry, the French store") << QString() << u"fr"_s << true;
    QTest::newRow("a French entry, the French store") << u"fr"_s << u"fr"_s << false;
    QTest::newRow("a French entry, the US store") << u"fr"_s << u"us"_s << true;
}

void TestStoreLookup::storeCountry()
{
    QFETCH(QString, cached);
    QFETCH(QString, chosen);
    QFETCH(bool, asked);
    CategoryEntry entry{u"Old"_s, secondsNow() - 10, std::nullopt, std::nullopt, 1};
    if (!cached.isNull())
        entry.country = cached;
    writeBytes(m_storage->filePath(u"categories.json"_s),
               CategoryEntry::encodeMap({{u"a"_s, entry}}));
    LookupServer server(LookupServer::knownApps({{u"a"_s, u"New"_s}}));
    StoreLookup &store = lookup(server);
    store.setCountry(chosen);
    QCOMPARE(store.categories({u"a"_s}).value(u"a"_s), asked ? u"New"_s : u"Old"_s);
    QCOMPARE(server.requests().size(), asked ? 1 : 0);
    if (asked) {
        QVERIFY(server.requests().value(0).query().contains(u"country="_s + chosen));
        const auto saved =
            CategoryEntry::decodeMap(readBytes(m_storage->filePath(u"categories.json"_s)));
        QCOMPARE(saved.value_or(CategoryEntry::Map()).value(u"a"_s).countryCode(), chosen);
    }
}

void TestStoreLookup::batchesPausesAndProgress()
{
    // The real pacing: three requests of 20, 20 and 5 with two pauses of 3.1 s between them.
    QStringList ids = identifiers(45);
    std::reverse(ids.begin(), ids.end());
    ids.append(ids.first()); // asked once only
    LookupServer server;
    StoreLookup &store = lookup(server);
    store.setSlice(100ms);
    QElapsedTimer timer;
    timer.start();
    store.categories(ids);
    QVERIFY2(timer.elapsed() >= 6200 && timer.elapsed() < 9000,
             qPrintable(QString::number(timer.elapsed())));

    const QStringList sorted = identifiers(45);
    QCOMPARE(server.requestedIdentifiers(),
             (QStringList{sorted.mid(0, 20).join(u','), sorted.mid(20, 20).join(u','),
                          sorted.mid(40).join(u',')}));
    QCOMPARE(
        m_progress,
        (QStringList{u"Looking up categories: 20 of 45…"_s, u"Looking up categories: 40 of 45…"_s,
                     u"Looking up categories: 45 of 45…"_s}));
    QVERIFY2(server.requestLines().first().startsWith(
                 "GET /lookup?bundleId=com.example.app00,com.example.app01,"),
             server.requestLines().first().constData());
    QVERIFY(
        server.requestLines().first().endsWith("&country=us&entity=software&limit=200 HTTP/1.1"));
    // Every app is remembered, known to the store or not.
    const auto cache =
        CategoryEntry::decodeMap(readBytes(m_storage->filePath(u"categories.json"_s)));
    QVERIFY(cache);
    QCOMPARE(cache->size(), 45);
}

void TestStoreLookup::resultsMatchTheirRequest()
{
    LookupServer server([](const QUrlQuery &, int) {
        return LookupServer::Reply{
            200,
            LookupServer::results({
                {{u"bundleId"_s, u"com.Example.Case"_s}, {u"primaryGenreName"_s, u"Wrong"_s}},
                {{u"bundleId"_s, u"small"_s},
                 {u"primaryGenreName"_s, u"Games"_s},
                 {u"artworkUrl100"_s, u"https://a/100.png"_s}},
                {{u"bundleId"_s, u"twice"_s}, {u"primaryGenreName"_s, u"First"_s}},
                {{u"bundleId"_s, u"twice"_s},
                 {u"primaryGenreName"_s, u"Second"_s},
                 {u"version"_s, u"2.1"_s},
                 {u"artworkUrl100"_s, u"https://a/100.png"_s},
                 {u"artworkUrl512"_s, u"https://a/512.png"_s}},
                {{u"bundleId"_s, u"not.asked"_s}, {u"primaryGenreName"_s, u"Games"_s}},
                {{u"bundleId"_s, 5}, {u"primaryGenreName"_s, u"Games"_s}},
                {{u"bundleId"_s, u"odd"_s}, {u"primaryGenreName"_s, 12}, {u"version"_s, true}},
                {{u"bundleId"_s, u"long"_s}, {u"primaryGenreName"_s, QString(3000, u'x')}},
            }),
            false};
    });
    const double before = secondsNow();
    // Identifiers reach the store exactly as written, whatever characters they hold.
    const QStringList asked{
        u"com.example.case"_s, u"small"_s,        u"twice"_s, u"odd"_s, u"long"_s,
        u"com.c+d e"_s,        u"com.a%26b&c=d"_s};
    lookup(server).categories(asked);
    // A bare "+" would read as a space, "%26" as "&".
    const QString sent = server.requests().value(0).query(QUrl::FullyEncoded);
    QVERIFY2(sent.contains(u"com.c%2Bd%20e,"_s) && sent.contains(u"com.a%2526b%26c%3Dd"_s),
             qPrintable(sent));
    const CategoryEntry::Map &metadata = m_scanner->storeLookup().storeMetadata();
    QCOMPARE(metadata.size(), 7);
    // A text longer than any the store gives is taken as not given.
    QCOMPARE(metadata.value(u"long"_s).category, u""_s);
    const CategoryEntry unknown = metadata.value(u"com.example.case"_s);
    QCOMPARE(unknown.category, u""_s);
    QVERIFY(unknown.checked >= before - 1 && unknown.checked <= secondsNow() + 1);
    QCOMPARE(unknown.version, std::nullopt);
    QCOMPARE(unknown.metadataRevision, std::optional<qint64>(1));
    QCOMPARE(metadata.value(u"small"_s).iconURL, std::optional<QString>(u"https://a/100.png"_s));
    QCOMPARE(metadata.value(u"twice"_s),
             (CategoryEntry{u"Second"_s, unknown.checked, u"2.1"_s, u"https://a/512.png"_s, 1,
                            u"us"_s, true}));
    // Carried, though with nothing usable: still in the store.
    QCOMPARE(metadata.value(u"odd"_s),
             (CategoryEntry{u""_s, unknown.checked, {}, {}, 1, u"us"_s, true}));
    QCOMPARE(unknown.listed, std::optional(false));
    QVERIFY(!metadata.contains(u"not.asked"_s));
}

void TestStoreLookup::badAnswersKeepTheCache_data()
{
    QTest::addColumn<LookupServer::Reply>("reply");
    QTest::newRow("server error") << LookupServer::Reply{500, R"({"results":[]})", false};
    QTest::newRow("not found") << LookupServer::Reply{404, "", false};
    QTest::newRow("empty body") << LookupServer::Reply{200, "", false};
    QTest::newRow("not JSON") << LookupServer::Reply{200, "<html>busy</html>", false};
    QTest::newRow("empty object") << LookupServer::Reply{200, "{}", false};
    QTest::newRow("array") << LookupServer::Reply{200, "[]", false};
    QTest::newRow("no results") << LookupServer::Reply{200, R"({"resultCount":0})", false};
    QTest::newRow("results not a list") << LookupServer::Reply{200, R"({"results":{}})", false};
    QTest::newRow("result not an object")
        << LookupServer::Reply{200, R"({"results":[{"bundleId":"a"},3]})", false};
    QTest::newRow("no answer") << LookupServer::Reply{200, "", true};
    QTest::newRow("redirect to another host")
        << LookupServer::Reply{302, R"({"results":[]})", false, u"localhost"_s};
    // Valid, and far over the 32 MiB an answer may have, declared or not.
    const QByteArray huge = R"({"results":[])" + QByteArray(40'000'000, ' ') + "}";
    QTest::newRow("over the cap") << LookupServer::Reply{200, huge, false};
    QTest::newRow("over the cap, length undeclared")
        << LookupServer::Reply{200, huge, false, {}, true};
}

void TestStoreLookup::badAnswersKeepTheCache()
{
    QFETCH(LookupServer::Reply, reply);
    const CategoryEntry::Map cache{{u"old"_s, {u"Music"_s, 1.0, std::nullopt, std::nullopt, 1}}};
    const QByteArray cacheFile = CategoryEntry::encodeMap(cache);
    writeBytes(m_storage->filePath(u"categories.json"_s), cacheFile);
    LookupServer server([reply](const QUrlQuery &, int) { return reply; });
    QElapsedTimer timer;
    timer.start();
    const QHash<QString, QString> result = lookup(server).categories({u"a"_s, u"old"_s});
    // 221 slices of 10 ms for the one that never answers.
    QVERIFY(timer.elapsed() < 4000);
    QCOMPARE(result, (QHash<QString, QString>{{u"old"_s, u"Music"_s}}));
    QCOMPARE(m_progress, (QStringList{u"Looking up categories: 2 of 2…"_s, unavailable}));
    QCOMPARE(readBytes(m_storage->filePath(u"categories.json"_s)), cacheFile);
    QCOMPARE(server.requestLines().size(), 1);
}

void TestStoreLookup::secondBatchFailing()
{
    LookupServer server([](const QUrlQuery &query, int index) {
        if (index > 0)
            return LookupServer::Reply{503, "", false};
        return LookupServer::knownApps({{u"com.example.app00"_s, u"Games"_s}})(query, index);
    });
    const QHash<QString, QString> result = lookup(server).categories(identifiers(45));
    QCOMPARE(server.requestLines().size(), 2);
    QCOMPARE(result.size(), 20);
    QCOMPARE(result.value(u"com.example.app00"_s), u"Games"_s);
    const auto cache =
        CategoryEntry::decodeMap(readBytes(m_storage->filePath(u"categories.json"_s)));
    QVERIFY(cache);
    QCOMPARE(cache->size(), 20);
    QCOMPARE(m_progress.last(), unavailable);
}

void TestStoreLookup::damagedCacheIsReplacedAfterSuccess()
{
    writeBytes(m_storage->filePath(u"categories.json"_s), R"({"a":{"category":"x"}})");
    LookupServer server(LookupServer::knownApps({{u"a"_s, u"Games"_s}}));
    QCOMPARE(lookup(server).categories({u"a"_s}).value(u"a"_s), u"Games"_s);
    const auto cache =
        CategoryEntry::decodeMap(readBytes(m_storage->filePath(u"categories.json"_s)));
    QVERIFY(cache);
    QCOMPARE(cache->value(u"a"_s).category, u"Games"_s);
}

void TestStoreLookup::cancel_data()
{
    QTest::addColumn<bool>("whileWaiting");
    QTest::newRow("while waiting for an answer") << true;
    QTest::newRow("between batches") << false;
}

void TestStoreLookup::cancel()
{
    QFETCH(bool, whileWaiting);
    LookupServer server([whileWaiting](const QUrlQuery &query, int index) {
        if (whileWaiting || index > 0)
            return LookupServer::Reply{200, "", true};
        return LookupServer::knownApps({})(query, index);
    });
    StoreLookup &store = lookup(server);
    store.setSlice(100ms);
    std::thread canceller([&] {
        while (server.requestLines().isEmpty())
            std::this_thread::sleep_for(5ms);
        std::this_thread::sleep_for(300ms);
        m_scanner->cancel();
    });
    QElapsedTimer timer;
    timer.start();
    QVERIFY_THROWS_EXCEPTION(ScanError, store.categories(identifiers(30)));
    canceller.join();
    QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(server.requestLines().size(), 1);
    QVERIFY(store.storeMetadata().isEmpty());
    // What the first batch found is kept.
    QCOMPARE(QFile::exists(m_storage->filePath(u"categories.json"_s)), !whileWaiting);
}

// A scan reads only its apps' entries of the cache; the others are passed over unread.
void TestStoreLookup::cacheEntriesAsked_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<std::optional<QStringList>>("found"); // nothing: the cache is unusable
    const QByteArray entry = R"({"category":"Games","checked":1,"metadataRevision":1})";
    const QByteArray two = "{\"a\":" + entry + ",\"b\":" + entry + "}";
    const QByteArray damaged = "{\"a\":" + entry + R"(,"b":{"category":5,"checked":1}})";
    QTest::newRow("only the asked")
        << two << QStringList{u"a"_s} << std::optional(QStringList{u"a"_s});
    QTest::newRow("not cached") << two << QStringList{u"c"_s} << std::optional(QStringList());
    QTest::newRow("damaged, not asked")
        << damaged << QStringList{u"a"_s} << std::optional(QStringList{u"a"_s});
    QTest::newRow("damaged, asked")
        << damaged << QStringList{u"b"_s} << std::optional<QStringList>();
    QTest::newRow("escaped key") << "{\"\\u0061\":" + entry + "}" << QStringList{u"a"_s}
                                 << std::optional(QStringList{u"a"_s});
    QTest::newRow("not JSON") << QByteArray(R"({"a":)") << QStringList{u"a"_s}
                              << std::optional<QStringList>();
}

void TestStoreLookup::cacheEntriesAsked()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, asked);
    QFETCH(std::optional<QStringList>, found);
    const std::optional<CategoryEntry::Map> entries = CategoryEntry::decodeEntries(json, asked);
    QCOMPARE(entries.has_value(), found.has_value());
    if (entries) {
        QStringList keys = entries->keys();
        keys.sort();
        QCOMPARE(keys, *found);
        for (const CategoryEntry &each : *entries)
            QCOMPARE(each.category, u"Games"_s);
    }
}

void TestStoreLookup::storePresence_data()
{
    QTest::addColumn<int>("failFrom"); // the first request that fails; -1 for none
    QTest::addColumn<bool>("offline");
    QTest::addColumn<QString>("cachedCountry"); // a fresh answer already kept, from this store
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("presence"); // of app00 (carried), app01, app25

    const QString store = u"App Store"_s;
    const QString in = Column::inStore, out = Column::notInStore, no = Column::notChecked;
    QTest::newRow("full answer") << -1 << false << u""_s << store << QStringList{in, out, out};
    QTest::newRow("old scan, no source")
        << -1 << false << u""_s << u""_s << QStringList{in, out, out};
    QTest::newRow("partial: second batch fails")
        << 1 << false << u""_s << store << QStringList{in, out, no};
    QTest::newRow("failed") << 0 << false << u""_s << store << QStringList{no, no, no};
    QTest::newRow("offline") << -1 << true << u""_s << store << QStringList{no, no, no};
    QTest::newRow("offline, this store's answer kept")
        << -1 << true << u"us"_s << store << QStringList{out, out, out};
    QTest::newRow("offline, another store's answer kept")
        << -1 << true << u"fr"_s << store << QStringList{no, no, no};
    QTest::newRow("TestFlight build")
        << -1 << false << u""_s << u"TestFlight"_s << QStringList{no, no, no};
}

void TestStoreLookup::storePresence()
{
    QFETCH(int, failFrom);
    QFETCH(bool, offline);
    QFETCH(QString, cachedCountry);
    QFETCH(QString, source);
    QFETCH(QStringList, presence);

    const QStringList apps = identifiers(30);
    if (!cachedCountry.isEmpty()) {
        CategoryEntry::Map cache;
        for (const QString &app : apps)
            cache.insert(app, {u""_s, secondsNow() - 60, {}, {}, 1, cachedCountry, false});
        writeBytes(m_storage->filePath(u"categories.json"_s), CategoryEntry::encodeMap(cache));
    }
    LookupServer server([failFrom](const QUrlQuery &query, int index) {
        if (failFrom >= 0 && index >= failFrom)
            return LookupServer::Reply{503, "", false};
        return LookupServer::knownApps({{u"com.example.app00"_s, u"Games"_s}})(query, index);
    });
    StoreLookup &store = lookup(server);
    store.setCountry(u"us"_s);
    if (offline)
        store.setURL(QUrl(u"http://127.0.0.1:9/lookup"_s));
    store.categories(apps);
    QStringList found;
    for (const QString &app : {apps[0], apps[1], apps[25]}) {
        const Row row{{Column::bundleIdentifier, app}, {Column::appSource, source}};
        const auto entry = store.storeMetadata().constFind(app);
        found.append(RowBuilder::storePresence(
            row, entry == store.storeMetadata().cend() ? nullptr : &*entry, u"us"_s,
            QDateTime::currentDateTimeUtc()));
    }
    QCOMPARE(found, presence);
}

QTEST_GUILESS_MAIN(TestStoreLookup)
#include "tst_storelookup.moc"
