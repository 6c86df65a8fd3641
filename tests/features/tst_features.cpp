#include "app/AppDelegate.h"
#include "app/ElidedLabel.h"
#include "common/Locations.h"
#include "common/NetworkRequest.h"
#include "features/AppDetailsWindow.h"
#include "features/StoreArtwork.h"
#include "features/UpdateCheck.h"
#include "scanning/Column.h"
#include "scanning/DeviceIcons.h"
#include "tests/HttpsServer.h"
#include "tests/TestFiles.h"
#include "tests/WindowTesting.h"
#include "widgets/SelectableText.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace TestFiles;
using namespace WindowTesting;

namespace {

const QString website = u"https://127.0.0.1/quillet"_s;
const QString unavailable = u"The update service is unavailable."_s;
const QString invalid = u"The update service returned invalid release information."_s;
const QString visitWebsite = u"Visit Website"_s;

QByteArray png(const QColor &colour = Qt::red)
{
    QImage image(4, 4, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A valid PNG of exactly `size` bytes: the decoder stops at the image's end chunk.
QByteArray paddedPng(qsizetype size)
{
    QByteArray bytes = png();
    bytes.resize(size, '\0');
    return bytes;
}

QByteArray release(const QString &version, const QString &download = website + u"/Quillet.zip"_s,
                   const QJsonValue &notes = u"Faster scans."_s)
{
    QJsonObject object{
        {u"version"_s, version}, {u"minimumMacOS"_s, u"13.0"_s}, {u"downloadURL"_s, download}};
    if (!notes.isUndefined())
        object.insert(u"notes"_s, notes);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The same record with spaces before its closing brace, `size` bytes in all.
QByteArray padded(QByteArray json, qsizetype size)
{
    json.insert(json.size() - 1, QByteArray(size - json.size(), ' '));
    return json;
}

HttpsServer::Handler answer(int status, const QByteArray &body, bool sendLength = true)
{
    // A redirect's body is where it sends the client.
    if (status / 100 == 3)
        return [=](const QByteArray &, int) {
            return HttpsServer::Reply{status, {}, {{"Location", body}}, true, false};
        };
    return [=](const QByteArray &, int) {
        return HttpsServer::Reply{status, body, {}, sendLength, false};
    };
}

// The same server under another name: a different host to a client.
QByteArray elsewhere(const QString &url)
{
    return QString(url).replace(u"127.0.0.1"_s, u"localhost"_s).toUtf8();
}

// StoreArtwork's answer, or nothing when none came in time.
std::optional<QImage> fetch(const QString &url)
{
    QObject context;
    std::optional<QImage> result;
    StoreArtwork::image(url, &context, [&result](const QImage &image) { result = image; });
    if (!QTest::qWaitFor([&result] { return result.has_value(); }, 10'000))
        return std::nullopt;
    return result;
}

std::optional<UpdateCheck::Outcome> check(const QString &feed, const QString &installed)
{
    QObject context;
    std::optional<UpdateCheck::Outcome> result;
    UpdateCheck::run(QUrl(feed), website, installed, &context,
                     [&result](const UpdateCheck::Outcome &outcome) { result = outcome; });
    if (!QTest::qWaitFor([&result] { return result.has_value(); }, 10'000))
        return std::nullopt;
    return result;
}

QByteArray updateSettings(const QString &feed, const QString &site = website)
{
    QJsonObject object{{u"websiteURL"_s, site}};
    if (!feed.isNull())
        object.insert(u"feedURL"_s, feed);
    return QJsonDocument(object).toJson();
}

Row rowOf(const QVariantMap &cells)
{
    Row row;
    for (auto cell = cells.begin(); cell != cells.end(); ++cell)
        row.insert(cell.key(), cell.value().toString());
    return row;
}

} // namespace

class TestFeatures : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void artworkAddresses_data();
    void artworkAddresses();
    void artworkCache();
    void artworkDecodedAtShownSize_data();
    void artworkDecodedAtShownSize();
    void artworkDownload_data();
    void artworkDownload();
    void releaseCheck_data();
    void releaseCheck();
    void updateMessages_data();
    void updateMessages();
    void detailsText_data();
    void detailsText();
    void detailsSheet();
    void deviceIconShown_data();
    void deviceIconShown();
    void markupStaysText_data();
    void markupStaysText();
    void abandoned();

private:
    bool launch(const Inventory &inventory)
    {
        inventory.writeFile(m_root->filePath(u"data/inventory.json"_s));
        m_delegate = std::make_unique<AppDelegate>();
        m_delegate->launch();
        return QTest::qWaitForWindowExposed(m_delegate->window()) &&
            QTest::qWaitFor([this] { return !m_delegate->isBusy(); });
    }
    QTableView *table() const
    {
        return m_delegate->window()->findChild<QTableView *>(u"inventory"_s);
    }
    // The table row showing the app named `name`.
    QModelIndex indexOf(const QString &name) const
    {
        const QAbstractItemModel *model = table()->model();
        const QModelIndexList found =
            model->match(model->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchContains);
        return found.value(0);
    }
    QString status() const
    {
        return m_delegate->window()->findChild<ElidedLabel *>(u"status"_s)->text();
    }
    QList<QMessageBox *> sheets() const
    {
        QList<QMessageBox *> open = m_delegate->window()->findChildren<QMessageBox *>();
        open.removeIf([](const QMessageBox *box) { return !box->isVisible(); });
        return open;
    }

    QTemporaryDir m_home;
    std::unique_ptr<HttpsServer> m_server;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<AppDelegate> m_delegate;
};

void TestFeatures::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(u"config"_s)));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(u"data"_s)));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_home.filePath(u"cache"_s)));
    QCoreApplication::setOrganizationName(u"Marrowby"_s);
    QCoreApplication::setApplicationName(u"Quillet"_s);
    QVERIFY2(QSettings().fileName().startsWith(m_home.path()), qPrintable(QSettings().fileName()));

    m_server = std::make_unique<HttpsServer>(answer(200, png()));
    Locations::setLookupURL(QUrl(m_server->url(u"/lookup"_s)));
    Locations::setStorage(m_home.filePath(u"data"_s));
    // Quillet itself never trusts the test certificate: the download fails in the handshake.
    const std::optional<QImage> untrusted = fetch(m_server->url(u"/icon.png"_s));
    QVERIFY(untrusted && untrusted->isNull());
    QCOMPARE(m_server->requestCount(), 0);
    HttpsServer::trustCertificate();
    // The manager keeps its refused connection, with the old authorities; start afresh.
    NetworkRequest::applicationManager()->clearConnectionCache();
}

void TestFeatures::cleanupTestCase()
{
    // Connections left open would be closed after the application, which Qt warns about.
    NetworkRequest::applicationManager()->clearConnectionCache();
}

void TestFeatures::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid() && QDir().mkpath(m_root->filePath(u"data"_s)));
    Locations::setStorage(m_root->filePath(u"data"_s));
    Locations::setResources(m_root->path());
    QSettings().clear();
    QSettings().setValue(u"completedWelcome"_s, true);
    QCoreApplication::setApplicationVersion(u"1.9"_s);
    m_server->setHandler(answer(200, png()));
    m_server->clearRequests();
}

void TestFeatures::cleanup()
{
    m_delegate.reset();
    m_root.reset();
}

void TestFeatures::artworkAddresses_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("allowed");
    // Refused by image() before any request.
    QTest::addColumn<bool>("refused");
    const QString local = m_server->url();
    QTest::newRow("artwork domain") << u"https://mzstatic.com/x.png"_s << true << false;
    QTest::newRow("artwork subdomain") << u"https://is1-ssl.mzstatic.com/x.png"_s << true << false;
    QTest::newRow("host in capitals") << u"https://IS1-SSL.MZSTATIC.COM/x"_s << true << false;
    QTest::newRow("lookup host") << local + u"/icon.png"_s << true << false;
    QTest::newRow("name ending alike") << u"https://evilmzstatic.com/x.png"_s << false << true;
    QTest::newRow("name starting alike") << u"https://mzstatic.com.evil.net/x"_s << false << true;
    QTest::newRow("other host") << u"https://example.com/x.png"_s << false << true;
    QTest::newRow("lookup name") << u"https://localhost:%1/icon.png"_s.arg(m_server->port())
                                 << false << true;
    QTest::newRow("plain http") << u"http://127.0.0.1:%1/icon.png"_s.arg(m_server->port()) << false
                                << true;
    // QUrl lowers the scheme, so only image() sees the capitals.
    QTest::newRow("scheme in capitals")
        << u"HTTPS://127.0.0.1:%1/icon.png"_s.arg(m_server->port()) << true << true;
    QTest::newRow("no host") << u"https:///x.png"_s << false << true;
    // Tolerant parsing would send it with the space encoded.
    QTest::newRow("not an address")
        << u"https://127.0.0.1:%1/a b"_s.arg(m_server->port()) << true << true;
}

void TestFeatures::artworkAddresses()
{
    QFETCH(QString, url);
    QFETCH(bool, allowed);
    QFETCH(bool, refused);
    QCOMPARE(StoreArtwork::isAllowed(QUrl(url)), allowed);
    if (!refused)
        return; // Fetching would leave this machine.
    std::optional<QImage> result;
    QObject context;
    StoreArtwork::image(url, &context, [&result](const QImage &image) { result = image; });
    // Answered at once: nothing was sent.
    QVERIFY(result && result->isNull());
    QTest::qWait(50);
    QCOMPARE(m_server->requestCount(), 0);
    QVERIFY(!QFile::exists(StoreArtwork::cachePath(url)));
}

void TestFeatures::artworkCache()
{
    const QString url = m_server->url(u"/icon.png?size=64&format=png"_s);
    const QString reordered = m_server->url(u"/icon.png?format=png&size=64"_s);
    const QString icons = m_root->filePath(u"data/Icons/"_s);
    const QByteArray digest = QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha256);
    QCOMPARE(StoreArtwork::cachePath(url), icons + QString::fromLatin1(digest.toHex()));
    QVERIFY(StoreArtwork::cachePath(reordered) != StoreArtwork::cachePath(url));

    // Downloaded once, then served from disk.
    const QByteArray served = png(Qt::green);
    m_server->setHandler(answer(200, served));
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::optional<QImage> icon = fetch(url);
        QVERIFY(icon && !icon->isNull());
        QCOMPARE(icon->pixelColor(0, 0), QColor(Qt::green));
        QCOMPARE(m_server->requestCount(), 1);
    }
    QCOMPARE(readBytes(StoreArtwork::cachePath(url)), served);
    // Stored under its own name only: nothing half-written beside it.
    QCOMPARE(QDir(icons).entryList(QDir::Files | QDir::Hidden),
             QStringList{QString::fromLatin1(digest.toHex())});

    // An icon already on disk needs no request.
    const QString kept = m_server->url(u"/kept.png"_s);
    writeBytes(StoreArtwork::cachePath(kept), png(Qt::blue));
    const std::optional<QImage> onDisk = fetch(kept);
    QVERIFY(onDisk && !onDisk->isNull());
    QCOMPARE(onDisk->pixelColor(0, 0), QColor(Qt::blue));
    QCOMPARE(m_server->requestCount(), 1);

    // A FIFO, a damaged or an oversized copy is fetched again and replaced.
    const QByteArray fifo = "FIFO";
    const QByteArray damaged[] = {fifo, "not an image", paddedPng(StoreArtwork::sizeLimit + 1)};
    for (const QByteArray &copy : damaged) {
        const QString path = StoreArtwork::cachePath(reordered);
        if (copy == fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            writeBytes(path, copy);
        // Should a FIFO be waited on, this ends the test rather than letting it hang.
        ::alarm(60);
        const auto disarm = qScopeGuard([] { ::alarm(0); });
        const int before = m_server->requestCount();
        const std::optional<QImage> icon = fetch(reordered);
        QVERIFY(icon && !icon->isNull());
        QCOMPARE(m_server->requestCount(), before + 1);
        QCOMPARE(readBytes(StoreArtwork::cachePath(reordered)), served);
    }
}

void TestFeatures::artworkDecodedAtShownSize_data()
{
    QTest::addColumn<QSize>("declared");
    QTest::addColumn<QSize>("decoded");
    QTest::newRow("3,000 pixels square") << QSize(3000, 3000) << QSize(512, 512);
    QTest::newRow("wide") << QSize(4000, 1000) << QSize(512, 128);
    QTest::newRow("as served") << QSize(512, 512) << QSize(512, 512);
    QTest::newRow("small") << QSize(60, 40) << QSize(60, 40);
}

// A small file can declare a vast picture; it is decoded no larger than it is ever shown.
void TestFeatures::artworkDecodedAtShownSize()
{
    QFETCH(QSize, declared);
    QFETCH(QSize, decoded);
    const QString url = m_server->url(u"/large.png"_s);
    QImage image(declared, QImage::Format_RGB888);
    image.fill(Qt::white);
    QVERIFY(QDir().mkpath(QFileInfo(StoreArtwork::cachePath(url)).absolutePath()));
    QVERIFY(image.save(StoreArtwork::cachePath(url), "PNG"));
    QCOMPARE(StoreArtwork::cached(url).size(), decoded);
}

void TestFeatures::artworkDownload_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("sendLength");
    QTest::addColumn<bool>("stored");
    QTest::newRow("at the size limit") << 200 << paddedPng(5'000'000) << true << true;
    // The demo's icons are made on this machine: nothing is asked of any server.
    QTest::newRow("offline, as the demo is") << 0 << png() << true << false;
    QTest::newRow("one byte over") << 200 << paddedPng(5'000'001) << true << false;
    QTest::newRow("one byte over, no length") << 200 << paddedPng(5'000'001) << false << false;
    QTest::newRow("not found") << 404 << png() << true << false;
    QTest::newRow("server error") << 500 << png() << true << false;
    QTest::newRow("not an image") << 200 << "<html>Gone</html>"_ba << true << false;
    QTest::newRow("empty") << 200 << QByteArray() << true << false;
    QTest::newRow("redirect to another host")
        << 302 << elsewhere(m_server->url(u"/icon.png"_s)) << true << false;
}

void TestFeatures::artworkDownload()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, sendLength);
    QFETCH(bool, stored);
    m_server->setHandler(answer(status ? status : 200, body, sendLength));
    const QString url = m_server->url(u"/icon.png"_s);
    Locations::setOffline(status == 0);
    const std::optional<QImage> icon = fetch(url);
    Locations::setOffline(false);
    QVERIFY(icon);
    QCOMPARE(icon->isNull(), !stored);
    QCOMPARE(m_server->requestCount(), status == 0 ? 0 : 1);
    QCOMPARE(readBytes(StoreArtwork::cachePath(url)), stored ? body : QByteArray());
}

void TestFeatures::releaseCheck_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("sendLength");
    QTest::addColumn<QString>("installed");
    // Empty when the check succeeds; otherwise how the error begins.
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("newer");
    const auto row = [](const char *name, const QByteArray &body, const QString &error,
                        const QString &installed = u"1.2"_s, bool newer = false, int status = 200,
                        bool sendLength = true) {
        QTest::newRow(name) << status << body << sendLength << installed << error << newer;
    };
    const QByteArray newer = release(u"2.0"_s);
    const QString noNotes = u"The release information has no text \u201Cnotes\u201D."_s;
    row("newer by number", release(u"1.10"_s), QString(), u"1.9"_s, true);
    row("same", release(u"1.2"_s), QString());
    row("installed is later", release(u"1.2"_s), QString(), u"1.2.1"_s);
    row("pre-release", release(u"1.3-beta"_s), invalid);
    row("leading v", release(u"v1.3"_s), invalid);
    row("empty part", release(u"1..3"_s), invalid);
    row("download elsewhere", release(u"2.0"_s, u"https://example.com/quillet/Q.zip"_s), invalid);
    row("download over http", release(u"2.0"_s, u"http://127.0.0.1/quillet/Q.zip"_s), invalid);
    row("body at the limit", padded(newer, 99'999), QString(), u"1.2"_s, true);
    row("body over the limit", padded(newer, 100'000), unavailable);
    row("body over the limit, no length", padded(newer, 100'000), unavailable, u"1.2"_s, false, 200,
        false);
    row("server error", newer, unavailable, u"1.2"_s, false, 500);
    row("not found", newer, unavailable, u"1.2"_s, false, 404);
    row("no notes", release(u"2.0"_s, website + u"/Q.zip"_s, QJsonValue()), noNotes);
    row("notes not text", release(u"2.0"_s, website + u"/Q.zip"_s, 5), noNotes);
    row("not JSON", "<html>"_ba, u"The release information is not valid JSON"_s);
    row("nobody listening", QByteArray(), u"Connection refused"_s, u"1.2"_s, false, 0);
    row("redirect to another host", elsewhere(m_server->url(u"/release.json"_s)), unavailable,
        u"1.2"_s, false, 302);
}

void TestFeatures::releaseCheck()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, sendLength);
    QFETCH(QString, installed);
    QFETCH(QString, error);
    QFETCH(bool, newer);
    QString feed = m_server->url(u"/release.json"_s);
    if (status == 0) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        feed = u"https://127.0.0.1:%1/release.json"_s.arg(closed.serverPort());
        closed.close();
    }
    m_server->setHandler(answer(status, body, sendLength));
    const std::optional<UpdateCheck::Outcome> outcome = check(feed, installed);
    QVERIFY(outcome);
    QVERIFY2(error.isEmpty() ? outcome->error.isEmpty() : outcome->error.startsWith(error),
             qPrintable(outcome->error));
    QCOMPARE(outcome->release.has_value(), error.isEmpty());
    QCOMPARE(outcome->newer, newer);
    QCOMPARE(m_server->requestCount(), status == 0 ? 0 : 1);
}

void TestFeatures::updateMessages_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QString>("installed");
    QTest::addColumn<int>("httpStatus");
    QTest::addColumn<QByteArray>("body");
    // Empty when the status line is left alone.
    QTest::addColumn<QString>("statusLine");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<bool>("visit");
    QTest::addColumn<int>("requests");
    const QString feed = m_server->url(u"/release.json"_s);
    const auto row = [](const char *name, const QByteArray &settings, const QString &installed,
                        int status, const QString &statusLine, const QString &title,
                        const QString &detail, bool visit, int requests) {
        const QByteArray body = release(installed == u"1.9" ? u"1.10"_s : installed);
        QTest::newRow(name) << settings << installed << status << body << statusLine << title
                            << detail << visit << requests;
    };
    const QByteArray checked = updateSettings(feed);
    const QString failed = u"Could not check for updates."_s;
    // The feed's system requirement is the Mac's; other systems are not told it.
#ifdef Q_OS_MACOS
    const QString installed = u"Installed: 1.9. Requires macOS 13.0 or later.\n\n"_s;
#else
    const QString installed = u"Installed: 1.9.\n\n"_s;
#endif
    const QString unable = u"Unable to check for updates"_s;
    row("newer release", checked, u"1.9"_s, 200, u"Quillet 1.10 is available."_s,
        u"Quillet 1.10 is available"_s, installed + u"Faster scans."_s, true, 1);
    row("up to date", checked, u"1.10"_s, 200, u"Quillet is up to date."_s,
        u"You\u2019re up to date"_s, u"You have Quillet 1.10."_s, false, 1);
    row("check fails", checked, u"1.9"_s, 500, failed, unable, unavailable, true, 1);
    row("check fails, website over http", updateSettings(feed, u"http://127.0.0.1/quillet"_s),
        u"1.9"_s, 500, failed, unable, unavailable, false, 1);
    // Without a check the status line stays as it was.
    const QString noSettings = u"Update settings unavailable"_s;
    const QString visitPublisher = u"Visit marrowby.example for current releases."_s;
    row("no settings", QByteArray(), u"1.9"_s, 200, QString(), noSettings, visitPublisher, true, 0);
    row("settings not JSON", "{"_ba, u"1.9"_s, 200, QString(), noSettings, visitPublisher, true, 0);
    const QString notConfigured = u"Installed version: %1. Online version checking is not yet "
                                  u"configured. Visit Marrowby for available releases."_s;
    const QString checkSite = u"Check the Marrowby website"_s;
    const QString port = QString::number(m_server->port());
    row("feed over http", updateSettings(u"http://127.0.0.1:"_s + port + u"/release.json"_s),
        u"1.9"_s, 200, QString(), checkSite, notConfigured.arg(u"1.9"_s), true, 0);
    row("feed scheme in capitals",
        updateSettings(u"HTTPS://127.0.0.1:"_s + port + u"/release.json"_s), u"1.9"_s, 200,
        QString(), checkSite, notConfigured.arg(u"1.9"_s), true, 0);
    row("no feed, no version", updateSettings(QString()), QString(), 200, QString(), checkSite,
        notConfigured.arg(u"Unknown"_s), true, 0);
    const QString markup = u"<a href=\"smb://host/share\">Faster</a> <img src=\"/dev/zero\">"_s;
    QTest::newRow("notes with markup")
        << checked << u"1.9"_s << 200 << release(u"1.10"_s, website + u"/Q.zip"_s, markup)
        << u"Quillet 1.10 is available."_s << u"Quillet 1.10 is available"_s << installed + markup
        << true << 1;
}

void TestFeatures::updateMessages()
{
    QFETCH(QByteArray, settings);
    QFETCH(QString, installed);
    QFETCH(int, httpStatus);
    QFETCH(QByteArray, body);
    QFETCH(QString, statusLine);
    QFETCH(QString, title);
    QFETCH(QString, detail);
    QFETCH(bool, visit);
    QFETCH(int, requests);
    QCoreApplication::setApplicationVersion(installed);
    if (!settings.isNull())
        writeBytes(m_root->filePath(u"Updates.json"_s), settings);
    m_server->setHandler(answer(httpStatus, body));
    QVERIFY(launch(Inventory()));
    const QString before = status();

    const QAction *item = command(m_delegate->window(), u"Check for Updates\u2026"_s);
    QVERIFY(item && item->isEnabled());
    m_delegate->checkForUpdates();
    if (requests) {
        // One check at a time.
        QVERIFY(m_delegate->isCheckingUpdates());
        QVERIFY(!item->isEnabled());
        QCOMPARE(status(), u"Checking for updates\u2026"_s);
        m_delegate->checkForUpdates();
    }
    QTRY_COMPARE(sheets().size(), 1);
    QVERIFY(!m_delegate->isCheckingUpdates());
    QVERIFY(item->isEnabled());
    const QMessageBox *alert = sheets().constFirst();
    QCOMPARE(alert->text(), title);
    QCOMPARE(alert->informativeText(), detail);
    QStringList buttons;
    for (const QAbstractButton *button : alert->buttons())
        buttons.append(button->text());
    QCOMPARE(buttons.contains(visitWebsite), visit);
    for (const QLabel *label : alert->findChildren<QLabel *>()) {
        if (!label->text().isEmpty())
            QVERIFY(label->textFormat() == Qt::PlainText && !label->openExternalLinks());
    }
    QCOMPARE(status(), statusLine.isEmpty() ? before : statusLine);
    QTest::qWait(50);
    QCOMPARE(sheets().size(), 1);
    QCOMPARE(m_server->requestCount(), requests);
}

void TestFeatures::detailsText_data()
{
    QTest::addColumn<QVariantMap>("cells");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("expected");
    const QString checked = QLocale::system().toString(
        QDateTime::fromSecsSinceEpoch(1'700'000'000, QTimeZone::utc()).toLocalTime().date(),
        QLocale::ShortFormat);
    QTest::newRow("complete")
        << QVariantMap{{Column::appName, u"Notes"_s},
                       {Column::version, u"2.5"_s},
                       {Column::updateAvailable, u"Yes"_s},
                       {Column::storeVersion, u"2.6"_s},
                       {Column::storeChecked, u"1700000000"_s},
                       {Column::category, u"Productivity"_s},
                       {Column::appType, u"User"_s},
                       {Column::appSource, u"App Store"_s},
                       {Column::offloaded, u"Yes"_s},
                       {Column::storePresence, Column::notInStore},
                       {Column::bundleIdentifier, u"com.example.notes"_s},
                       {Column::appMB, u"3.00"_s},
                       {Column::dataMB, u"0.23"_s},
                       {Column::totalMB, u"3.23"_s},
                       {Column::scanDate, u"2024-03-01 10:00:00"_s},
                       {Column::deviceIdentifier, u"00008110-001A2B3C4D5E801E"_s}}
        << u"Test iPhone"_s
        << u"Notes\nVersion: 2.5\nUpdate available: Yes\nStore version: 2.6\nStore checked: "_s +
            checked +
            u"\nCategory: Productivity\nApp type: User\nSource: App Store\nOffloaded: Yes \u2014 no "
            u"longer in the store, so it cannot be downloaded again\nStore presence: Not in store\n"
            u"Bundle identifier: com.example.notes\n"
            u"App size: 3.00 MB\nData size: 0.23 MB\nTotal size: 3.23 MB\nDevice: Test iPhone\n"
            u"Scan date (UTC): 2024-03-01 10:00:00\nDevice identifier: 00008110-001A2B3C4D5E801E"_s;
    QTest::newRow("blank and missing")
        << QVariantMap{{Column::appName, u" Notes "_s},
                       {Column::version, u"  "_s},
                       {Column::storeChecked, u"yesterday"_s},
                       {Column::bundleIdentifier, u"com.example.notes"_s},
                       {Column::appMB, u""_s},
                       {Column::dataMB, u" \t"_s},
                       {Column::totalMB, u" 3.23 "_s}}
        << QString()
        << u"Notes\nVersion: Not available\nUpdate available: Unknown\nStore version: Not "
           u"available\nStore checked: Not available\nCategory: Not available\nApp type: Not "
           u"available\nStore presence: Not checked\nBundle identifier: com.example.notes\nApp size: Not available\nData size: "
           u"Not available\nTotal size: 3.23 MB\nDevice: Not available\nScan date (UTC): Not "
           u"available\nDevice identifier: Not available"_s;
    QTest::newRow("blank device, distant check")
        << QVariantMap{{Column::appName, u"Notes"_s},
                       {Column::updateAvailable, u"No"_s},
                       {Column::storeChecked, u"1e20"_s},
                       {Column::appMB, u"0"_s}}
        << u"  "_s
        << u"Notes\nVersion: Not available\nUpdate available: No\nStore version: Not available\n"
           u"Store checked: Not available\nCategory: Not available\nApp type: Not available\n"
           u"Store presence: Not checked\nBundle identifier: Not available\nApp size: 0 MB\nData size: Not available\nTotal "
           u"size: Not available\nDevice: Not available\nScan date (UTC): Not available\nDevice "
           u"identifier: Not available"_s;
}

void TestFeatures::detailsText()
{
    QFETCH(QVariantMap, cells);
    QFETCH(QString, device);
    QFETCH(QString, expected);
    Inventory inventory;
    inventory.fields = Column::scanFields();
    inventory.rows = {rowOf({{Column::appName, u"Atlas"_s}}), rowOf(cells)};
    if (!device.isNull())
        inventory.deviceName = device;
    QVERIFY(launch(inventory));
    table()->selectRow(indexOf(u"Notes"_s).row());
    m_delegate->showSelectedAppDetails();
    auto *sheet = qobject_cast<AppDetailsWindow *>(m_delegate->appDetailsWindow());
    QVERIFY(sheet && sheet->isVisible());
    QCOMPARE(sheet->detailsText(), expected);

    // The sheet shows what it copies, and a value selected there copies as it is written.
    QStringList shown;
    for (const QLabel *label : sheet->findChildren<QLabel *>())
        shown.append(label->text());
    for (SelectableText *value : sheet->findChildren<SelectableText *>()) {
        QCOMPARE(shownToolTip(value->toolTip()), value->text());
        value->selectAll();
        value->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), value->text());
        shown.append(value->text());
    }
    const QStringList lines = expected.split(u'\n');
    QVERIFY(shown.contains(lines[0]));
    for (const QString &line : lines.sliced(1)) {
        QVERIFY2(shown.contains(line.section(u": "_s, 1)) || shown.contains(line),
                 qPrintable(line));
    }
}

void TestFeatures::markupStaysText_data()
{
    QTest::addColumn<QString>("markup");
    QTest::newRow("heading and link") << u"<h1>BIG</h1><a href=\"file:///etc/passwd\">click</a>"_s;
    QTest::newRow("endless image") << u"<img src=\"/dev/zero\">"_s;
    QTest::newRow("share link") << u"<a href=\"smb://host/share\">Open</a>"_s;
}

// Names come from app developers: the table, its tooltips and the details show them as written.
void TestFeatures::markupStaysText()
{
    QFETCH(QString, markup);
    Inventory inventory;
    inventory.fields = Column::scanFields();
    inventory.rows = {rowOf({{Column::appName, markup},
                             {Column::category, markup},
                             {Column::bundleIdentifier, u"com.example.notes"_s}})};
    inventory.deviceName = markup;
    QVERIFY(launch(inventory));
    const QModelIndex name = table()->model()->index(0, 0);
    QCOMPARE(name.data().toString(), markup);
    QCOMPARE(shownToolTip(name.data(Qt::ToolTipRole).toString()), markup);

    table()->selectRow(0);
    m_delegate->showSelectedAppDetails();
    QVERIFY(m_delegate->appDetailsWindow());
    QStringList shown;
    for (const QLabel *label : m_delegate->appDetailsWindow()->findChildren<QLabel *>()) {
        if (label->text().isEmpty())
            continue;
        QVERIFY(label->textFormat() == Qt::PlainText && !label->openExternalLinks());
        shown.append(label->text());
    }
    for (const SelectableText *value :
         m_delegate->appDetailsWindow()->findChildren<SelectableText *>()) {
        QVERIFY(!value->acceptRichText());
        QCOMPARE(shownToolTip(value->toolTip()), value->text());
        shown.append(value->text());
    }
    // The name, the category and the device.
    QCOMPARE(shown.count(markup), 3);
}

void TestFeatures::detailsSheet()
{
    const QString artwork = m_server->url(u"/icon.png"_s);
    Inventory inventory;
    inventory.fields = Column::scanFields();
    inventory.rows = {rowOf({{Column::appName, u"Notes"_s}, {Column::artworkURL, artwork}}),
                      rowOf({{Column::appName, u"Maps"_s}})};
    QVERIFY(launch(inventory));
    QWidget *window = m_delegate->window();

    // Header double-clicks and an empty selection show nothing.
    m_delegate->showClickedAppDetails(QModelIndex());
    table()->clearSelection();
    m_delegate->showSelectedAppDetails();
    QVERIFY(!m_delegate->appDetailsWindow());
    QVERIFY(!m_delegate->hasSheet());

    m_delegate->showClickedAppDetails(indexOf(u"Notes"_s).siblingAtColumn(1));
    QPointer<QDialog> sheet = m_delegate->appDetailsWindow();
    QVERIFY(sheet && sheet->isVisible());
    QCOMPARE(sheet->objectName(), u"appDetails"_s);
    QCOMPARE(sheet->parentWidget(), window);
    QCOMPARE(sheet->windowModality(), Qt::WindowModal);
    QVERIFY(m_delegate->hasSheet());
    auto *icon = sheet->findChild<QLabel *>(u"icon"_s);
    QTRY_VERIFY(!icon->pixmap().isNull());
    QCOMPARE(m_server->requestCount(), 1);
    QVERIFY(QFile::exists(StoreArtwork::cachePath(artwork)));

    // One sheet at a time.
    m_delegate->showClickedAppDetails(indexOf(u"Maps"_s));
    QCOMPARE(m_delegate->appDetailsWindow(), sheet.data());
    QCOMPARE(window->findChildren<AppDetailsWindow *>().size(), 1);

    QGuiApplication::clipboard()->clear();
    QTest::mouseClick(sheet->findChild<QPushButton *>(u"copyDetails"_s), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(),
             qobject_cast<AppDetailsWindow *>(sheet)->detailsText());
    QVERIFY(sheet->isVisible());
    QVERIFY(sheet->findChild<QPushButton *>(u"done"_s)->isDefault());

    QSignalSpy accepted(sheet, &QDialog::accepted);
    QTest::keyClick(sheet, Qt::Key_Return);
    QCOMPARE(accepted.size(), 1);
    QTRY_VERIFY(!sheet);
    QVERIFY(!m_delegate->hasSheet());

    // No artwork, no request; Escape closes too.
    table()->selectRow(indexOf(u"Maps"_s).row());
    m_delegate->showSelectedAppDetails();
    sheet = m_delegate->appDetailsWindow();
    QVERIFY(sheet && sheet->isVisible());
    QVERIFY(qobject_cast<AppDetailsWindow *>(sheet)->detailsText().startsWith(u"Maps\n"_s));
    QSignalSpy rejected(sheet, &QDialog::rejected);
    QTest::keyClick(sheet, Qt::Key_Escape);
    QCOMPARE(rejected.size(), 1);
    QTRY_VERIFY(!sheet);
    QCOMPARE(m_server->requestCount(), 1);

    // Not over another sheet.
    m_delegate->checkForUpdates();
    QCOMPARE(sheets().size(), 1);
    m_delegate->showSelectedAppDetails();
    QVERIFY(!m_delegate->appDetailsWindow());
}

void TestFeatures::deviceIconShown_data()
{
    QTest::addColumn<QByteArray>("kept");
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("shown");
    QTest::newRow("kept for this version") << png(Qt::blue) << u"2.0"_s << true;
    QTest::newRow("kept for the version before") << png(Qt::blue) << u"2.1"_s << false;
    QTest::newRow("the device had none") << QByteArray() << u"2.0"_s << false;
    QTest::newRow("damaged") << png(Qt::blue).chopped(3) << u"2.0"_s << false;
}

// An app the store has no artwork for shows the icon its device gave for that version.
void TestFeatures::deviceIconShown()
{
    QFETCH(QByteArray, kept);
    QFETCH(QString, version);
    QFETCH(bool, shown);
    TestFiles::writeBytes(
        DeviceIcons::cachePath(Locations::storage(), u"com.example.beta"_s, u"2.0"_s), kept);
    Inventory inventory;
    inventory.fields = Column::scanFields();
    inventory.rows = {rowOf({{Column::appName, u"Beta"_s},
                             {Column::bundleIdentifier, u"com.example.beta"_s},
                             {Column::version, version}})};
    QVERIFY(launch(inventory));
    m_delegate->showClickedAppDetails(indexOf(u"Beta"_s));
    QPointer<QDialog> sheet = m_delegate->appDetailsWindow();
    QVERIFY(sheet);
    const QPixmap pixmap = sheet->findChild<QLabel *>(u"icon"_s)->pixmap();
    QCOMPARE(!pixmap.isNull(), shown);
    if (shown)
        QCOMPARE(pixmap.toImage().pixelColor(pixmap.width() / 2, pixmap.height() / 2),
                 QColor(Qt::blue));
    QCOMPARE(m_server->requestCount(), 0);
}

// Whoever asked is gone: the request stops and nobody is answered.
void TestFeatures::abandoned()
{
    m_server->setHandler([](const QByteArray &, int) {
        HttpsServer::Reply reply;
        reply.hang = true;
        return reply;
    });
    int answers = 0;
    auto context = std::make_unique<QObject>();
    StoreArtwork::image(m_server->url(u"/slow.png"_s), context.get(),
                        [&answers](const QImage &) { ++answers; });
    UpdateCheck::run(QUrl(m_server->url(u"/release.json"_s)), website, u"1.0"_s, context.get(),
                     [&answers](const UpdateCheck::Outcome &) { ++answers; });
    QTRY_COMPARE(m_server->requestCount(), 2);
    context.reset();
    QTest::qWait(50);
    QCOMPARE(answers, 0);

    // Quitting during a check leaves no alert behind.
    writeBytes(m_root->filePath(u"Updates.json"_s),
               updateSettings(m_server->url(u"/release.json"_s)));
    QVERIFY(launch(Inventory()));
    m_delegate->checkForUpdates();
    QTRY_COMPARE(m_server->requestCount(), 3);
    m_delegate.reset();
    QTest::qWait(50);
    const QWidgetList left = QApplication::topLevelWidgets();
    QVERIFY(std::none_of(left.begin(), left.end(),
                         [](const QWidget *widget) { return widget->inherits("QMessageBox"); }));
}

QTEST_MAIN(TestFeatures)
#include "tst_features.moc"
