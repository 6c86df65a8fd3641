#include "app/AppDelegate.h"
#include "app/ElidedLabel.h"
#include "common/Locations.h"
#include "features/StoreArtwork.h"
#include "history/HistoryStore.h"
#include "history/ScanComparison.h"
#include "scanning/CategoryEntry.h"
#include "scanning/Column.h"
#include "scanning/DemoDevice.h"
#include "tests/InventoryPrinting.h"
#include "tests/LookupServer.h"
#include "tests/TestFiles.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QSet>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// The demo as a newcomer meets it: the real window over the demo tools of the build's resource
// folder, with a home, settings and data of its own.
class TestDemo : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void prepare();
    void scanTwice();
    void appDetails();
    void openHelp_data();
    void openHelp();

private:
    QString status() const
    {
        return m_delegate->window()->findChild<ElidedLabel *>(u"status"_s)->text();
    }
    void scan();

    QTemporaryDir m_home;
    std::unique_ptr<LookupServer> m_server;
    std::unique_ptr<AppDelegate> m_delegate;
};

void TestDemo::initTestCase()
{
    QVERIFY(m_home.isValid());
    // Before anything asks where home, the settings or the data are.
    qputenv("HOME", QFile::encodeName(m_home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(u"config"_s)));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(u"data"_s)));
    QCoreApplication::setOrganizationName(u"Marrowby"_s);
    QCoreApplication::setApplicationName(u"Quillet"_s);
    QVERIFY(QSettings().fileName().startsWith(m_home.path()));
    QSettings().setValue(u"completedWelcome"_s, true);
    Locations::setResources(QStringLiteral(QUILLET_BUILD_RESOURCES));
}

void TestDemo::cleanupTestCase()
{
    m_delegate.reset();
}

void TestDemo::prepare()
{
    const QString resources = Locations::resources();
    QCOMPARE(DemoDevice::prepare(), DemoDevice::description);

    // The demo's tools and data; help and update settings stay where they were.
    QCOMPARE(Locations::resources(), resources);
    QVERIFY(QFileInfo::exists(Locations::resources() + u"/Help/index.html"_s));
    QCOMPARE(Locations::deviceResources(), resources + u"/Demo"_s);
    QCOMPARE(Locations::storage(), m_home.filePath(u"data/Quillet Demo"_s));
    QCOMPARE(Locations::lookupURL(), QUrl(u"http://127.0.0.1:9/lookup"_s));
    for (const QString &tool :
         {u"idevice_id"_s, u"idevicename"_s, u"ideviceinfo"_s, u"ideviceinstaller"_s})
        QVERIFY2(QFileInfo(Locations::deviceResources() + u"/Tools/"_s + tool).isExecutable(),
                 qPrintable(tool));

    const QList<DemoDevice::App> apps = DemoDevice::apps(Locations::deviceResources());
    QVERIFY(apps.size() > 75);
    const std::optional<CategoryEntry::Map> cache = CategoryEntry::decodeMap(
        TestFiles::readBytes(Locations::storage() + u"/categories.json"_s));
    QVERIFY(cache);
    QCOMPARE(cache->size(), apps.size());
    const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    for (const DemoDevice::App &app : apps) {
        const CategoryEntry entry = cache->value(app.bundle);
        QCOMPARE(entry.category, app.category);
        QCOMPARE(entry.metadataRevision, std::optional(CategoryEntry::currentRevision));
        QVERIFY(now - entry.checked < 60);
        if (entry.iconURL)
            QCOMPARE(QImage(StoreArtwork::cachePath(*entry.iconURL)).size(), QSize(128, 128));
    }

    // Any lookup would show up here: the cache must answer every app of the demo.
    m_server = std::make_unique<LookupServer>();
    Locations::setLookupURL(m_server->url());
}

void TestDemo::scan()
{
    m_delegate->scanDevice();
    QVERIFY(m_delegate->isBusy());
    QTRY_VERIFY_WITH_TIMEOUT(!m_delegate->isBusy(), 10000);
    QVERIFY2(status().startsWith(u"Scan complete."_s), qPrintable(status()));
}

void TestDemo::scanTwice()
{
    m_delegate = std::make_unique<AppDelegate>();
    m_delegate->setDemo(true);
    m_delegate->launch();
    QVERIFY(QTest::qWaitForWindowExposed(m_delegate->window()));
    QCOMPARE(m_delegate->window()->windowTitle(), u"Quillet \u2014 Demo Device"_s);
    // With nothing saved yet, the demo scans at once: a first look shows apps.
    QTRY_VERIFY_WITH_TIMEOUT(m_delegate->savedScans().size() == 1 && !m_delegate->isBusy(), 10000);
    QVERIFY2(status().startsWith(u"Scan complete."_s), qPrintable(status()));

    QElapsedTimer timer;
    timer.start();
    scan();
    qInfo("second scan: %lld ms", timer.elapsed());

    const QList<Row> rows = m_delegate->visibleRows();
    QVERIFY2(rows.size() >= 75 && rows.size() <= 85, qPrintable(QString::number(rows.size())));
    QSet<QString> tableBundles;
    for (const DemoDevice::App &app : DemoDevice::apps(Locations::deviceResources()))
        tableBundles.insert(app.bundle);
    int categorized = 0, updates = 0;
    for (const Row &row : rows) {
        QVERIFY2(tableBundles.contains(row.value(Column::bundleIdentifier)),
                 qPrintable(row.value(Column::bundleIdentifier)));
        QCOMPARE(row.value(Column::deviceIdentifier), rows[0].value(Column::deviceIdentifier));
        categorized += !row.value(Column::category).isEmpty();
        updates += row.value(Column::updateAvailable) == u"Yes";
    }
    QVERIFY(categorized >= rows.size() - 2);
    QVERIFY(updates >= 3);
    QCOMPARE(m_delegate->currentInventory().deviceName, std::optional(u"Demo iPhone"_s));
    QCOMPARE(m_delegate->currentInventory().storeCountry, std::optional(u"us"_s));
    QVERIFY(m_delegate->window()
                ->findChild<QLabel *>(u"footer"_s)
                ->text()
                .endsWith(
                    u"Categories use the US App Store \u2022 %1 updates available"_s.arg(updates)));
    QVERIFY(m_server->requests().isEmpty());

    // The second scan differs from the first: an update, an install, a change of size.
    const QList<SavedScan> scans = m_delegate->savedScans();
    QCOMPARE(scans.size(), 2);
    const ScanComparison comparison = ScanComparison::compare(HistoryStore().inventory(scans[1]),
                                                              HistoryStore().inventory(scans[0]));
    QVERIFY(comparison.sameDevice);
    QSet<QString> statuses;
    for (const ScanDifference &difference : comparison.differences)
        statuses.insert(difference.status);
    for (const QString &expected :
         {ScanDifference::added, ScanDifference::versionChanged, ScanDifference::storageChanged})
        QVERIFY2(statuses.contains(expected), qPrintable(expected));
    QCOMPARE(TestFiles::readBytes(m_home.filePath(u".local/state/quillet-demo/scans"_s)), "2\n");

    // Started again, the demo shows its saved apps and says plainly what they are.
    m_delegate = std::make_unique<AppDelegate>();
    m_delegate->setDemo(true);
    m_delegate->launch();
    QTRY_VERIFY(!m_delegate->isBusy());
    QCOMPARE(status(),
             u"Demo device: nothing here is read from a real iPhone or iPad. Click Scan "
             u"Device to scan it."_s);
    QCOMPARE(m_delegate->savedScans().size(), 2);
}

void TestDemo::appDetails()
{
    QVERIFY(m_delegate);
    const QList<Row> rows = m_delegate->visibleRows();
    const auto found = std::find_if(rows.begin(), rows.end(), [](const Row &row) {
        return !row.value(Column::artworkURL).isEmpty();
    });
    QVERIFY(found != rows.end());
    QVERIFY(QFileInfo::exists(StoreArtwork::cachePath(found->value(Column::artworkURL))));

    const auto *table = m_delegate->window()->findChild<QTableView *>(u"inventory"_s);
    m_delegate->showClickedAppDetails(table->model()->index(int(found - rows.begin()), 0));
    QVERIFY(m_delegate->appDetailsWindow());
    const auto *icon = m_delegate->appDetailsWindow()->findChild<QLabel *>(u"icon"_s);
    QTRY_VERIFY(!icon->pixmap().isNull());
}

// Help opens through the desktop's opener, which says whether a browser took it; one that found
// none gets the alert that names the file.
void TestDemo::openHelp_data()
{
    QTest::addColumn<int>("openerStatus");
    QTest::addColumn<bool>("alert");
    QTest::newRow("a browser opens it") << 0 << false;
    QTest::newRow("no browser") << 3 << true;
}

void TestDemo::openHelp()
{
    QFETCH(int, openerStatus);
    QFETCH(bool, alert);
    QVERIFY(m_delegate);
    QMainWindow *window = m_delegate->window();
    QTemporaryDir bin;
    const QString asked = bin.filePath(u"asked"_s);
    const QString opener = bin.filePath(u"xdg-open"_s);
    TestFiles::writeBytes(opener,
                          "#!/bin/sh\nprintf '%s' \"$1\" > '" + asked.toUtf8() + "'\nexit " +
                              QByteArray::number(openerStatus) + "\n");
    QVERIFY(QFile(opener).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path);
    window->activateWindow();
    QTest::keySequence(window, QKeySequence::HelpContents);
    qputenv("PATH", path);

    QTRY_VERIFY(QFileInfo::exists(asked));
    QCOMPARE(QUrl(QString::fromUtf8(TestFiles::readBytes(asked))),
             QUrl::fromLocalFile(Locations::resources() + u"/Help/index.html"_s));
    if (alert) {
        QMessageBox *box = nullptr;
        QTRY_VERIFY((box = window->findChild<QMessageBox *>()) && box->isVisible());
        QCOMPARE(box->text(), u"Quillet Help could not be opened"_s);
        QVERIFY(box->informativeText().startsWith(u"No web browser is set up to show it."_s));
        box->reject();
        QTRY_VERIFY(!window->findChild<QMessageBox *>() ||
                    !window->findChild<QMessageBox *>()->isVisible());
    } else {
        QTest::qWait(200);
        const QMessageBox *box = window->findChild<QMessageBox *>();
        QVERIFY(!box || !box->isVisible());
    }
}

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"
