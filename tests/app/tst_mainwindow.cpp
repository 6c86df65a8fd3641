#include "app/AppDelegate.h"
#include "app/ElidedLabel.h"
#include "common/DataFile.h"
#include "common/Failure.h"
#include "common/HostWording.h"
#include "common/Locations.h"
#include "history/HistoryStore.h"
#include "scanning/Column.h"
#include "tests/InventoryPrinting.h"
#include "tests/LookupServer.h"
#include "tests/PdfReader.h"
#include "tests/SampleInventory.h"
#include "tests/TestFiles.h"
#include "tests/WindowTesting.h"
#include "widgets/Sheet.h"

#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace SampleInventory;
using namespace TestFiles;
using namespace WindowTesting;

namespace {

const QString loaded = u"Saved inventory loaded. Scan your device to refresh it."_s;
const QString connectFirst = u"Connect a device and click Scan Device to get started."_s;
const QString unableToLoad = u"Unable to load inventory"_s;
const QString welcomeTitle = u"Welcome to Quillet"_s;
const QString keyOrder = u"inventoryColumnOrder"_s;
const QString keyHidden = u"inventoryHiddenColumns"_s;
const QString keyWelcome = u"completedWelcome"_s;
const QString blank = u"\u2014"_s;
const QString showAll = u"Show All Columns"_s;
const QString earlierID = u"AAAAAAAA-0000-4000-8000-000000000001"_s;

const QStringList libraryNames{u"Notes"_s, u"Maps"_s, u"Ledger"_s, u"Atlas"_s};
const QStringList librarySizes{u"3.23"_s, blank, u"12.50"_s, u"0.90"_s};

QStringList texts(const QMenu *menu)
{
    QStringList result;
    for (const QAction *action : menu->actions()) {
        if (!action->isSeparator())
            result.append(action->text());
    }
    return result;
}

QAction *item(const QMenu *menu, const QString &text)
{
    const QList<QAction *> actions = menu->actions();
    const auto found = std::find_if(actions.begin(), actions.end(),
                                    [&](const QAction *action) { return action->text() == text; });
    return found == actions.end() ? nullptr : *found;
}

QString hideItem(const QString &column)
{
    return u"Hide \u201C%1\u201D"_s.arg(column);
}

// The platform's key for a command where it has one, else ours.
QKeySequence keyOf(QKeySequence::StandardKey standard, const QString &own = QString())
{
    const QList<QKeySequence> keys = QKeySequence::keyBindings(standard);
    return keys.isEmpty() ? QKeySequence(own) : keys.first();
}

const QString scanCommand = u"Scan Device"_s;
const QString csvCommand = u"Export CSV\u2026"_s;
const QString spreadsheetCommand = u"Export Spreadsheet\u2026"_s;
const QString pdfCommand = u"Export PDF Report\u2026"_s;
const QString detailsCommand = u"App Details\u2026"_s;
const QString deviceCommand = u"Device Details\u2026"_s;
const QString notesCommand = u"Snapshot Name && Notes\u2026"_s;
const QString compareCommand = u"Compare Scans\u2026"_s;

// Every command of the menu bar: its menu, title, key and the button that does the same.
struct MenuItem {
    QString menu;
    QString title;
    QKeySequence key;
    QString button;
};
QList<MenuItem> menuItems()
{
    return {
        {u"&Quillet"_s, u"About Quillet\u2026"_s, {}, {}},
        {u"&Quillet"_s, u"Check for Updates\u2026"_s, {}, {}},
        {u"&Quillet"_s, u"App Store Country\u2026"_s, {}, {}},
        {u"&Quillet"_s, u"Record Phone Identifiers"_s, {}, {}},
        {u"&Quillet"_s, u"Quit Quillet"_s, keyOf(QKeySequence::Quit, u"Ctrl+Q"_s), {}},
        {u"&File"_s, scanCommand, QKeySequence(u"Ctrl+R"_s), u"Scan Device"_s},
        {u"&File"_s, u"Scan Devices When Connected"_s, {}, {}},
        {u"&File"_s, csvCommand, QKeySequence(u"Ctrl+E"_s), u"Export CSV\u2026"_s},
        {u"&File"_s, spreadsheetCommand, QKeySequence(u"Ctrl+Shift+E"_s),
         u"Export Spreadsheet\u2026"_s},
        {u"&File"_s, pdfCommand, QKeySequence(u"Ctrl+P"_s), u"Export PDF\u2026"_s},
        {u"&File"_s, detailsCommand, QKeySequence(u"Ctrl+I"_s), {}},
        {u"&File"_s, deviceCommand, QKeySequence(u"Ctrl+Shift+I"_s), {}},
        {u"&File"_s, notesCommand, {}, u"Name && Notes\u2026"_s},
        {u"&File"_s, compareCommand, {}, u"Compare Scans\u2026"_s},
        {u"&File"_s, u"Close Window"_s, keyOf(QKeySequence::Close), {}},
        {u"&Edit"_s, u"Cut"_s, keyOf(QKeySequence::Cut), {}},
        {u"&Edit"_s, u"Copy"_s, keyOf(QKeySequence::Copy), {}},
        {u"&Edit"_s, u"Paste"_s, keyOf(QKeySequence::Paste), {}},
        {u"&Edit"_s, u"Select All"_s, keyOf(QKeySequence::SelectAll), {}},
        {u"&Edit"_s, u"Find"_s, keyOf(QKeySequence::Find), {}},
        {u"&Help"_s, u"Quillet Help"_s, keyOf(QKeySequence::HelpContents), {}},
        {u"&Help"_s, u"Getting Started\u2026"_s, {}, {}},
    };
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void startUp_data();
    void startUp();
    void damagedInventory_data();
    void damagedInventory();
    void gettingStarted();
    void scan();
    void scanEndsWithoutChange_data();
    void scanEndsWithoutChange();
    void closingStopsTheScan();
    void columnMenu();
    void columnLayout();
    void textSize_data();
    void textSize();
    void filter_data();
    void filter();
    void menuCommands_data();
    void menuCommands();
    void commandKeysInTheSearchField_data();
    void commandKeysInTheSearchField();
    void findGoesToTheSearchField();
    void exportCSV();
    void exportReport();
    void exportIgnored_data();
    void exportIgnored();
    void exportFailure_data();
    void exportFailure();
    void alertShowsItsWholeText_data();
    void alertShowsItsWholeText();
    void copySelectedRows_data();
    void copySelectedRows();

private:
    bool launch()
    {
        m_delegate.reset();
        m_delegate = std::make_unique<AppDelegate>();
        m_delegate->launch();
        return QTest::qWaitForWindowExposed(m_delegate->window()) &&
            QTest::qWaitFor([this] { return !m_delegate->isBusy(); });
    }
    template<typename T> T *control(const char *name) const
    {
        return m_delegate->window()->findChild<T *>(QString::fromLatin1(name));
    }
    QTableView *table() const { return control<QTableView>("inventory"); }
    QString status() const { return control<ElidedLabel>("status")->text(); }
    QString countText() const { return control<QLabel>("count")->text(); }
    QString data(const QString &name) const { return m_root->filePath(u"data/"_s + name); }
    QStringList shown(const QString &column) const;
    QStringList sections(bool visibleOnly) const;
    QList<QMessageBox *> sheets() const;
    void tool(const QString &name, const QByteArray &output, const QByteArray &before = {});
    QString downloads();
    void arrangeTable();
    QFileDialog *savePanel() const
    {
        return m_delegate->window()->findChild<QFileDialog *>(u"savePanel"_s);
    }
    void prepareScan();

    QTemporaryDir m_config;
    std::unique_ptr<LookupServer> m_server;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<AppDelegate> m_delegate;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    QCoreApplication::setOrganizationName(u"Marrowby"_s);
    QCoreApplication::setApplicationName(u"Quillet"_s);
    // Never run against the real settings, should anything have read them already.
    QVERIFY2(QSettings().fileName().startsWith(m_config.path()),
             qPrintable(QSettings().fileName()));
    m_server = std::make_unique<LookupServer>(LookupServer::knownApps(
        {{u"com.example.notes"_s, u"Productivity"_s}, {u"com.example.maps"_s, u"Navigation"_s}}));
    Locations::setLookupURL(m_server->url());
}

void TestMainWindow::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid() && QDir().mkpath(m_root->filePath(u"data"_s)));
    Locations::setStorage(m_root->filePath(u"data"_s));
    Locations::setResources(m_root->path());
    QSettings().clear();
    // Most tests are about the window behind the welcome sheet.
    QSettings().setValue(keyWelcome, true);
}

void TestMainWindow::cleanup()
{
    m_delegate.reset();
    m_root.reset();
}

QStringList TestMainWindow::shown(const QString &column) const
{
    const QAbstractItemModel *model = table()->model();
    int logical = -1;
    for (int c = 0; c < model->columnCount(); ++c) {
        if (model->headerData(c, Qt::Horizontal).toString() == column)
            logical = c;
    }
    QStringList cells;
    for (int r = 0; r < model->rowCount(); ++r)
        cells.append(model->index(r, logical).data().toString());
    return cells;
}

QStringList TestMainWindow::sections(bool visibleOnly) const
{
    const QHeaderView *header = table()->horizontalHeader();
    QStringList names;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!visibleOnly || !header->isSectionHidden(logical))
            names.append(table()->model()->headerData(logical, Qt::Horizontal).toString());
    }
    return names;
}

QList<QMessageBox *> TestMainWindow::sheets() const
{
    QList<QMessageBox *> open = m_delegate->window()->findChildren<QMessageBox *>();
    open.removeIf([](const QMessageBox *box) { return !box->isVisible(); });
    return open;
}

// A fake device tool: runs `before`, then prints `output`.
void TestMainWindow::tool(const QString &name, const QByteArray &output, const QByteArray &before)
{
    const QString path = m_root->filePath(u"Tools/"_s + name);
    writeBytes(path + u".out"_s, output);
    writeBytes(path, "#!/bin/sh\n" + before + "cat '" + QFile::encodeName(path) + ".out'\n");
    QVERIFY(QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

// A connected device, and the library from an earlier scan, saved and in the history.
void TestMainWindow::prepareScan()
{
    tool(u"idevice_id"_s, "00008110-001A2B3C4D5E801E\n");
    tool(u"idevicename"_s, "Test iPhone\n");
    tool(u"ideviceinstaller"_s, "Listing apps...\n" + threeApps);
    Inventory earlier = library();
    earlier.scanID = earlierID;
    earlier.writeFile(data(u"inventory.json"_s));
    HistoryStore().archive(earlier);
}

void TestMainWindow::startUp_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("saved");
    Inventory identified = library();
    identified.scanID = earlierID;
    QTest::newRow("inventory from before the history")
        << library().toJson() << loaded << libraryNames << 1;
    QTest::newRow("inventory with an identity")
        << identified.toJson() << loaded << libraryNames << 0;
    QTest::newRow("no inventory") << QByteArray() << connectFirst << QStringList() << 0;
}

void TestMainWindow::startUp()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, message);
    QFETCH(QStringList, names);
    QFETCH(int, saved);
    if (!file.isNull())
        writeBytes(data(u"inventory.json"_s), file);

    QVERIFY(launch());
    QCOMPARE(status(), message);
    QCOMPARE(shown(Column::appName), names);
    QCOMPARE(countText(), AppList::countText(names.size(), names.size()));
    QCOMPARE(control<QPushButton>("export")->isEnabled(), !names.isEmpty());
    QVERIFY(control<QPushButton>("scan")->isEnabled());
    QVERIFY(!m_delegate->hasSheet());

    // An inventory without an identity gets one, joins the history and is selected there.
    const QList<SavedScan> scans = HistoryStore().list().scans;
    QCOMPARE(scans.size(), saved);
    QStringList titles{u"Current inventory"_s};
    for (const SavedScan &scan : scans)
        titles.append(scan.title());
    auto *picker = control<QComboBox>("historyPicker");
    QCOMPARE(items(picker), titles);
    QCOMPARE(picker->currentIndex(), saved);
    QCOMPARE(control<QPushButton>("editSnapshot")->isEnabled(), saved > 0);
    if (saved)
        QCOMPARE(Inventory::readFile(data(u"inventory.json"_s)).scanID, std::optional(scans[0].id));
}

void TestMainWindow::damagedInventory_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("welcomed");
    QTest::newRow("not JSON, first launch") << QByteArray("{\"fields\": [") << false;
    QTest::newRow("not JSON") << QByteArray("{\"fields\": [") << true;
    QTest::newRow("no rows") << QByteArray("{\"fields\": [\"App name\"]}") << true;
}

void TestMainWindow::damagedInventory()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, welcomed);
    QSettings().setValue(keyWelcome, welcomed);
    writeBytes(data(u"inventory.json"_s), file);

    QVERIFY(launch());
    QVERIFY2(status().startsWith(u"The file \u201Cinventory.json\u201D could not be read"_s),
             qPrintable(status()));
    QVERIFY(shown(Column::appName).isEmpty());
    QVERIFY(!control<QPushButton>("export")->isEnabled());
    // One sheet at a time: over the welcome the failure stays in the status line.
    const QList<QMessageBox *> open = sheets();
    QCOMPARE(open.size(), 1);
    QCOMPARE(open[0]->text(), welcomed ? unableToLoad : welcomeTitle);
    if (welcomed)
        QCOMPARE(open[0]->informativeText(), status());
    QCOMPARE(readBytes(data(u"inventory.json"_s)), file);
    QVERIFY(!QFile::exists(data(u"History"_s)));
}

void TestMainWindow::gettingStarted()
{
    QSettings().remove(keyWelcome);
    QVERIFY(launch());
    const QList<QMessageBox *> open = sheets();
    QCOMPARE(open.size(), 1);
    QCOMPARE(open[0]->text(), welcomeTitle);
    QVERIFY(m_delegate->hasSheet());
    QCOMPARE(status(), connectFirst);
    QVERIFY(!QSettings().value(keyWelcome).toBool());

    const QList<QAbstractButton *> buttons = open[0]->buttons();
    const auto start = std::find_if(buttons.begin(), buttons.end(), [](const QAbstractButton *b) {
        return b->text() == u"Get Started";
    });
    QVERIFY(start != buttons.end());
    QTest::mouseClick(*start, Qt::LeftButton);
    QTRY_VERIFY(!m_delegate->hasSheet());
    QCOMPARE(QSettings().value(keyWelcome).toBool(), true);

    QVERIFY(launch());
    QVERIFY(!m_delegate->hasSheet());
    QVERIFY(sheets().isEmpty());
}

void TestMainWindow::scan()
{
    prepareScan();
    QVERIFY(launch());
    QCOMPARE(status(), loaded);
    // The user's layout of the old columns carries over to the scan's larger set.
    QHeaderView *header = table()->horizontalHeader();
    header->moveSection(header->visualIndex(4), 0);
    m_delegate->toggleColumn(Column::version);

    auto *scanButton = control<QPushButton>("scan");
    auto *picker = control<QComboBox>("historyPicker");
    QTest::mouseClick(scanButton, Qt::LeftButton);
    QVERIFY(m_delegate->isBusy());
    QCOMPARE(scanButton->text(), u"Cancel Scan"_s);
    QVERIFY(scanButton->isEnabled());
    QVERIFY(!control<QPushButton>("export")->isEnabled());
    QVERIFY(!picker->isEnabled());

    QTRY_VERIFY(!m_delegate->isBusy());
    QCOMPARE(status(),
             u"Scan complete. 3 apps; 2 categories available. Saved on "_s +
                 HostWording::thisComputer() + u'.');
    QCOMPARE(scanButton->text(), u"Scan Device"_s);
    QVERIFY(control<QPushButton>("export")->isEnabled());
    QVERIFY(!m_delegate->hasSheet());
    QCOMPARE(shown(Column::appName), (QStringList{u"Ledger"_s, u"Maps"_s, u"Notes"_s}));
    QCOMPARE(shown(Column::category), (QStringList{blank, u"Navigation"_s, u"Productivity"_s}));
    QCOMPARE(countText(), u"3 of 3 apps"_s);
    QStringList order = Column::scanFields();
    order.move(order.indexOf(Column::totalMB), 0);
    QCOMPARE(sections(false), order);
    order.removeAll(Column::version);
    QCOMPARE(sections(true), order);

    const Inventory saved = Inventory::readFile(data(u"inventory.json"_s));
    QVERIFY(saved.scanID && saved.scanID != earlierID);
    QCOMPARE(saved.rows.size(), 3);
    QStringList files{earlierID + u".json"_s, *saved.scanID + u".json"_s};
    files.sort();
    QCOMPARE(QDir(data(u"History"_s)).entryList(QDir::Files, QDir::Name), files);
    const QList<SavedScan> scans = HistoryStore().list().scans;
    QCOMPARE(scans.value(0).id, *saved.scanID);
    QCOMPARE(picker->currentIndex(), 1);
    QCOMPARE(picker->currentText(), scans[0].title());
    QVERIFY(picker->isEnabled());
    QVERIFY(control<QPushButton>("editSnapshot")->isEnabled());
    QVERIFY(control<QPushButton>("compare")->isEnabled());
}

void TestMainWindow::scanEndsWithoutChange_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("message");
    QTest::newRow("cancelled while reading apps")
        << u"ideviceinstaller"_s << hang << true
        << u"Scan cancelled. Your previous inventory is preserved."_s;
    QTest::newRow("no device") << u"idevice_id"_s << QByteArray() << false
                               << u"No USB device found. Connect your iPhone or iPad with a data "
                                  u"cable, unlock it, and "_s +
            HostWording::confirmTrust() + u'.';
    QTest::newRow("installer fails")
        << u"ideviceinstaller"_s
        << QByteArray("echo 'Could not connect to lockdownd: -17' >&2\nexit 1\n") << false
        << u"Could not connect to lockdownd: -17"_s;
    QTest::newRow("installer fails with markup")
        << u"ideviceinstaller"_s
        << QByteArray("echo '<h1>BIG</h1><a href=\"file:///etc/passwd\">click</a>' >&2\nexit 1\n")
        << false << u"<h1>BIG</h1><a href=\"file:///etc/passwd\">click</a>"_s;
}

void TestMainWindow::scanEndsWithoutChange()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, before);
    QFETCH(bool, cancel);
    QFETCH(QString, message);
    prepareScan();
    tool(name, {}, before);
    const QByteArray previous = readBytes(data(u"inventory.json"_s));
    QVERIFY(launch());

    m_delegate->scanDevice();
    QVERIFY(m_delegate->isBusy());
    if (cancel) {
        QTRY_VERIFY(readBytes(m_root->filePath(u"Tools/"_s + name + u".pid"_s)).endsWith('\n'));
        m_delegate->scanDevice();
        QCOMPARE(status(), u"Cancelling scan\u2026"_s);
        QVERIFY(m_delegate->isBusy());
    }
    // Well inside the 30 s the hanging tool would take by itself.
    QTRY_VERIFY(!m_delegate->isBusy());
    QCOMPARE(status(), message);
    const QList<QMessageBox *> open = sheets();
    QCOMPARE(open.size(), cancel ? 0 : 1);
    if (!cancel) {
        QCOMPARE(open[0]->text(), unableToLoad);
        QCOMPARE(open[0]->informativeText(), message);
        // Tool messages are shown as written: no markup, no links.
        for (const QLabel *label : open[0]->findChildren<QLabel *>()) {
            if (!label->text().isEmpty())
                QVERIFY(label->textFormat() == Qt::PlainText && !label->openExternalLinks());
        }
    }
    QCOMPARE(shown(Column::appName), libraryNames);
    QCOMPARE(control<QPushButton>("scan")->text(), u"Scan Device"_s);
    QVERIFY(control<QPushButton>("export")->isEnabled());
    QCOMPARE(control<QComboBox>("historyPicker")->currentIndex(), 1);
    QCOMPARE(readBytes(data(u"inventory.json"_s)), previous);
    QCOMPARE(QDir(data(u"History"_s)).entryList(QDir::Files), QStringList{earlierID + u".json"_s});
}

void TestMainWindow::closingStopsTheScan()
{
    prepareScan();
    tool(u"ideviceinstaller"_s, {}, hang);
    QVERIFY(launch());
    m_delegate->scanDevice();
    const QString pidFile = m_root->filePath(u"Tools/ideviceinstaller.pid"_s);
    QTRY_VERIFY(readBytes(pidFile).endsWith('\n'));
    const auto pid = pid_t(readBytes(pidFile).trimmed().toInt());
    QVERIFY(pid > 0);

    QElapsedTimer timer;
    timer.start();
    m_delegate.reset();
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    // Stopped and reaped: neither running nor left as a zombie.
    QCOMPARE(::kill(pid, 0), -1);
    QCOMPARE(QDir(data(u"History"_s)).entryList(QDir::Files).size(), 1);
}

void TestMainWindow::columnMenu()
{
    library().writeFile(data(u"inventory.json"_s));
    QVERIFY(launch());
    const QStringList columns = library().fields;
    std::unique_ptr<QMenu> menu(m_delegate->columnMenu(0));
    QCOMPARE(texts(menu.get()),
             QStringList{hideItem(Column::appName)} + columns + QStringList{showAll});
    QVERIFY(item(menu.get(), hideItem(Column::appName))->isEnabled());

    // Hide all but the first, each from its own column's menu.
    for (int logical = int(columns.size()) - 1; logical >= 1; --logical) {
        menu.reset(m_delegate->columnMenu(logical));
        QAction *hide = item(menu.get(), hideItem(columns[logical]));
        QVERIFY(hide && hide->isEnabled());
        hide->trigger();
    }
    QCOMPARE(sections(true), QStringList{Column::appName});
    QCOMPARE(QSettings().value(keyHidden).toStringList(), columns.mid(1));

    // The last visible column can be neither hidden nor unticked; the others can be shown.
    menu.reset(m_delegate->columnMenu(0));
    QVERIFY(!item(menu.get(), hideItem(Column::appName))->isEnabled());
    for (const QString &column : columns) {
        QCOMPARE(item(menu.get(), column)->isChecked(), column == Column::appName);
        QCOMPARE(item(menu.get(), column)->isEnabled(), column != Column::appName);
    }
    m_delegate->toggleColumn(Column::appName);
    QCOMPARE(sections(true), QStringList{Column::appName});
    QCOMPARE(QSettings().value(keyHidden).toStringList(), columns.mid(1));

    item(menu.get(), Column::version)->trigger();
    QCOMPARE(sections(true), (QStringList{Column::appName, Column::version}));
    QCOMPARE(QSettings().value(keyHidden).toStringList(),
             (QStringList{Column::category, Column::bundleIdentifier, Column::totalMB}));

    // Away from any column there is nothing to hide.
    menu.reset(m_delegate->columnMenu(-1));
    QCOMPARE(texts(menu.get()), columns + QStringList{showAll});
    item(menu.get(), showAll)->trigger();
    QCOMPARE(sections(true), columns);
    QVERIFY(QSettings().value(keyHidden).toStringList().isEmpty());
    // A column hidden early comes back at its own width, not squeezed.
    QCOMPARE(table()->horizontalHeader()->sectionSize(1), 160);
}

void TestMainWindow::columnLayout()
{
    // The saved order names a removed column and misses one the inventory has.
    QSettings().setValue(keyOrder, QStringList{Column::totalMB, u"Gone"_s, Column::appName});
    QSettings().setValue(keyHidden, QStringList{Column::category, u"Gone"_s});
    library().writeFile(data(u"inventory.json"_s));
    QVERIFY(launch());
    QCOMPARE(sections(false),
             (QStringList{Column::totalMB, Column::appName, Column::category,
                          Column::bundleIdentifier, Column::version}));
    QCOMPARE(
        sections(true),
        (QStringList{Column::totalMB, Column::appName, Column::bundleIdentifier, Column::version}));
    QCOMPARE(shown(Column::totalMB), librarySizes);

    QHeaderView *header = table()->horizontalHeader();
    header->moveSection(4, 1);
    m_delegate->toggleColumn(Column::bundleIdentifier);
    const QStringList order{Column::totalMB, Column::version, Column::appName, Column::category,
                            Column::bundleIdentifier};
    QCOMPARE(sections(false), order);
    QCOMPARE(QSettings().value(keyOrder).toStringList(), order);
    QCOMPARE(QSettings().value(keyHidden).toStringList(),
             (QStringList{Column::category, Column::bundleIdentifier}));

    // The next launch builds the same layout.
    QVERIFY(launch());
    QCOMPARE(sections(false), order);
    QCOMPARE(sections(true), (QStringList{Column::totalMB, Column::version, Column::appName}));
    QCOMPARE(shown(Column::totalMB), librarySizes);

    // With every column saved hidden, the first still shows.
    QSettings().setValue(keyHidden, library().fields);
    QVERIFY(launch());
    QCOMPARE(sections(true), QStringList{Column::totalMB});
}

void TestMainWindow::textSize_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<double>("size");
    QTest::addColumn<int>("rowHeight");
    QTest::newRow("never set") << QVariant() << 12.0 << 29;
    QTest::newRow("too large") << QVariant(30) << 24.0 << 46;
    QTest::newRow("zero") << QVariant(0) << 12.0 << 29;
    QTest::newRow("negative") << QVariant(-3) << 12.0 << 29;
    QTest::newRow("not a number") << QVariant(u"large"_s) << 12.0 << 29;
    QTest::newRow("smallest") << QVariant(10) << 10.0 << 29;
    QTest::newRow("in between") << QVariant(17.5) << 17.5 << 37;
}

void TestMainWindow::textSize()
{
    QFETCH(QVariant, stored);
    QFETCH(double, size);
    QFETCH(int, rowHeight);
    if (stored.isValid())
        QSettings().setValue(u"inventoryFontSize"_s, stored);
    library().writeFile(data(u"inventory.json"_s));
    QVERIFY(launch());

    auto *smaller = control<QPushButton>("smallerText");
    auto *larger = control<QPushButton>("largerText");
    QHeaderView *rows = table()->verticalHeader();
    auto check = [&](double expected, int height) {
        QCOMPARE(m_delegate->tableFontSize(), expected);
        QCOMPARE(QSettings().value(u"inventoryFontSize"_s).toDouble(), expected);
        QCOMPARE(rows->defaultSectionSize(), height);
        QCOMPARE(rows->sectionSize(0), height);
        QCOMPARE(table()->model()->index(0, 0).data(Qt::FontRole).value<QFont>().pixelSize(),
                 qRound(expected));
        QCOMPARE(smaller->isEnabled(), expected > AppDelegate::smallestFontSize);
        QCOMPARE(larger->isEnabled(), expected < AppDelegate::largestFontSize);
    };
    check(size, rowHeight);
    for (int step = 0; step < 20 && smaller->isEnabled(); ++step)
        QTest::mouseClick(smaller, Qt::LeftButton);
    check(10, 29);
    for (int step = 0; step < 20 && larger->isEnabled(); ++step)
        QTest::mouseClick(larger, Qt::LeftButton);
    check(24, 46);
}

void TestMainWindow::filter_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("category");
    QTest::addColumn<std::optional<Qt::SortOrder>>("bySize");
    QTest::addColumn<QStringList>("names");
    const QString all = AppList::allCategories;
    const std::optional<Qt::SortOrder> unsorted;
    QTest::newRow("everything") << u""_s << all << unsorted << libraryNames;
    QTest::newRow("name, spaced, other case")
        << u"  lEdGeR "_s << all << unsorted << QStringList{u"Ledger"_s};
    QTest::newRow("bundle identifier")
        << u"ORG.SAMPLE"_s << all << unsorted << QStringList{u"Ledger"_s};
    QTest::newRow("category text") << u"navig"_s << all << unsorted << QStringList{u"Maps"_s};
    QTest::newRow("not the version") << u"2.5"_s << all << unsorted << QStringList();
    QTest::newRow("uncategorized")
        << u""_s << AppList::uncategorized << unsorted << QStringList{u"Ledger"_s, u"Atlas"_s};
    QTest::newRow("one category") << u""_s << u"Productivity"_s << unsorted
                                  << QStringList{u"Notes"_s};
    QTest::newRow("search and category")
        << u"atlas"_s << AppList::uncategorized << unsorted << QStringList{u"Atlas"_s};
    // Sizes sort as numbers, with blanks last either way.
    QTest::newRow("smallest first") << u""_s << all << std::optional(Qt::AscendingOrder)
                                    << QStringList{u"Atlas"_s, u"Notes"_s, u"Ledger"_s, u"Maps"_s};
    QTest::newRow("largest first") << u""_s << all << std::optional(Qt::DescendingOrder)
                                   << QStringList{u"Ledger"_s, u"Notes"_s, u"Atlas"_s, u"Maps"_s};
    QTest::newRow("largest first, uncategorized")
        << u""_s << AppList::uncategorized << std::optional(Qt::DescendingOrder)
        << QStringList{u"Ledger"_s, u"Atlas"_s};
}

void TestMainWindow::filter()
{
    QFETCH(QString, search);
    QFETCH(QString, category);
    QFETCH(std::optional<Qt::SortOrder>, bySize);
    QFETCH(QStringList, names);
    library().writeFile(data(u"inventory.json"_s));
    QVERIFY(launch());
    auto *categories = control<QComboBox>("category");
    QCOMPARE(items(categories),
             (QStringList{AppList::allCategories, AppList::uncategorized, u"Navigation"_s,
                          u"Productivity"_s}));

    if (bySize)
        table()->sortByColumn(int(library().fields.indexOf(Column::totalMB)), *bySize);
    QTest::keyClicks(control<QLineEdit>("search"), search);
    choose(categories, category);
    QCOMPARE(shown(Column::appName), names);
    QCOMPARE(countText(), AppList::countText(names.size(), libraryNames.size()));
    QCOMPARE(control<QPushButton>("export")->isEnabled(), !names.isEmpty());
}

void TestMainWindow::menuCommands_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("disabled");
    const QStringList exports{csvCommand, spreadsheetCommand, pdfCommand};
    // These scans know nothing of their device: Device Details has nothing to show.
    QTest::newRow("empty window") << u"empty"_s
                                  << exports +
            QStringList{detailsCommand, deviceCommand, notesCommand, compareCommand};
    QTest::newRow("busy scanning")
        << u"scanning"_s
        << exports + QStringList{detailsCommand, deviceCommand, notesCommand, compareCommand};
    QTest::newRow("with apps") << u"apps"_s
                               << QStringList{detailsCommand, deviceCommand, compareCommand};
    QTest::newRow("an app selected") << u"selected"_s << QStringList{deviceCommand, compareCommand};
    QTest::newRow("nothing matches the search")
        << u"no match"_s << exports + QStringList{detailsCommand, deviceCommand, compareCommand};
    QTest::newRow("two saved scans")
        << u"two scans"_s << QStringList{detailsCommand, deviceCommand};
}

// The menu bar comes from the command table, and each command and the button beside it are
// enabled exactly when the command can do something.
void TestMainWindow::menuCommands()
{
    QFETCH(QString, state);
    QFETCH(QStringList, disabled);
    if (state == u"scanning") {
        prepareScan();
        tool(u"ideviceinstaller"_s, {}, hang);
    } else if (state != u"empty") {
        library().writeFile(data(u"inventory.json"_s));
    }
    if (state == u"two scans") {
        Inventory later = library();
        later.scanID = u"BBBBBBBB-0000-4000-8000-000000000002"_s;
        later.scannedAt = utc("2024-04-01T10:00:00");
        Inventory earlier = library();
        earlier.scanID = earlierID;
        HistoryStore().archive(earlier);
        HistoryStore().archive(later);
        later.writeFile(data(u"inventory.json"_s));
    }
    QVERIFY(launch());
    if (state == u"scanning")
        m_delegate->scanDevice();
    else if (state == u"selected")
        table()->selectRow(0);
    else if (state == u"no match")
        QTest::keyClicks(control<QLineEdit>("search"), u"zzz"_s);
    QCOMPARE(m_delegate->isBusy(), state == u"scanning");
    QCOMPARE(m_delegate->savedScans().size(), state == u"two scans" ? 2 : int(state != u"empty"));

    const QMenuBar *bar = m_delegate->window()->menuBar();
    QHash<QString, QMenu *> menus;
    QStringList titles;
    for (const QAction *menu : bar->actions()) {
        titles.append(menu->text());
        menus.insert(menu->text(), menu->menu());
    }
    QCOMPARE(titles, (QStringList{u"&Quillet"_s, u"&File"_s, u"&Edit"_s, u"&Help"_s}));
    const QList<QPushButton *> buttons = m_delegate->window()->findChildren<QPushButton *>();
    QHash<QString, QStringList> order;
    for (const MenuItem &expected : menuItems()) {
        // The scan under way is cancelled from where it was started.
        const QString title = expected.title == scanCommand && state == u"scanning"
            ? u"Cancel Scan"_s
            : expected.title;
        order[expected.menu].append(title);
        const QAction *action = item(menus.value(expected.menu), title);
        QVERIFY2(action, qPrintable(title));
        QCOMPARE(action->shortcut(), expected.key);
        QVERIFY2(action->isEnabled() == !disabled.contains(expected.title), qPrintable(title));
        if (!expected.button.isEmpty()) {
            const auto button = std::find_if(buttons.begin(), buttons.end(), [&](auto *b) {
                return b->text() == expected.button ||
                    (expected.title == scanCommand && b->objectName() == u"scan");
            });
            QVERIFY2(button != buttons.end(), qPrintable(expected.button));
            QVERIFY2((*button)->isEnabled() == action->isEnabled(), qPrintable(expected.button));
        }
    }
    // Nothing else, in the table's order.
    for (const QString &menu : titles)
        QCOMPARE(texts(menus.value(menu)), order.value(menu));
}

void TestMainWindow::commandKeysInTheSearchField_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<QString>("opens");
    QTest::newRow("Export CSV") << u"o"_s << QKeySequence(u"Ctrl+E"_s) << u"savePanel"_s;
    QTest::newRow("Export PDF Report") << u"o"_s << QKeySequence(u"Ctrl+P"_s) << u"savePanel"_s;
    QTest::newRow("App Details") << u"o"_s << QKeySequence(u"Ctrl+I"_s) << u"appDetails"_s;
    // With the command off, the key is the field's own again.
    QTest::newRow("Export CSV, nothing to export")
        << u"zzz"_s << QKeySequence(u"Ctrl+E"_s) << QString();
    QTest::newRow("App Details, nothing to show")
        << u"zzz"_s << QKeySequence(u"Ctrl+I"_s) << QString();
}

// A line edit keeps some of the commands' keys for itself (emacs keys on X11): typing in the
// search field, the window's commands still come first.
void TestMainWindow::commandKeysInTheSearchField()
{
    QFETCH(QString, search);
    QFETCH(QKeySequence, key);
    QFETCH(QString, opens);
    downloads();
    library().writeFile(data(u"inventory.json"_s));
    QVERIFY(launch());
    auto *field = control<QLineEdit>("search");
    QTest::keyClicks(field, search);
    table()->selectRow(0);
    field->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(m_delegate->window()));

    QTest::keySequence(field, key);
    if (opens == u"savePanel")
        QTRY_VERIFY(savePanel() && savePanel()->isVisible());
    else if (opens == u"appDetails")
        QTRY_VERIFY(m_delegate->appDetailsWindow() && m_delegate->appDetailsWindow()->isVisible());
    QCOMPARE(m_delegate->hasSheet(), !opens.isEmpty());
    QCOMPARE(field->text(), search);
}

void TestMainWindow::findGoesToTheSearchField()
{
    library().writeFile(data(u"inventory.json"_s));
    QVERIFY(launch());
    table()->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(m_delegate->window()));
    QTest::keySequence(table(), QKeySequence::Find);
    QTRY_VERIFY(control<QLineEdit>("search")->hasFocus());
}

// Downloads in the test's own folder, through the user-dirs file beside the settings.
QString TestMainWindow::downloads()
{
    const QString folder = m_root->filePath(u"Downloads"_s);
    QDir().mkpath(folder);
    writeBytes(m_config.filePath(u"user-dirs.dirs"_s),
               "XDG_DOWNLOAD_DIR=\"" + QFile::encodeName(folder) + "\"\n");
    return folder;
}

// The library searched for "o" (which leaves Atlas out), largest first, with the bundle
// identifier hidden and the size moved to the front: none of which changes the export's columns.
void TestMainWindow::arrangeTable()
{
    library().writeFile(data(u"inventory.json"_s));
    QVERIFY(launch());
    QHeaderView *header = table()->horizontalHeader();
    const int size = int(library().fields.indexOf(Column::totalMB));
    header->moveSection(header->visualIndex(size), 0);
    m_delegate->toggleColumn(Column::bundleIdentifier);
    table()->sortByColumn(size, Qt::DescendingOrder);
    QTest::keyClicks(control<QLineEdit>("search"), u"o"_s);
    QCOMPARE(sections(true),
             (QStringList{Column::totalMB, Column::appName, Column::category, Column::version}));
    QCOMPARE(shown(Column::appName), (QStringList{u"Ledger"_s, u"Notes"_s, u"Maps"_s}));
}

void TestMainWindow::exportCSV()
{
    const QString folder = downloads();
    const QString stem = Inventory::exportStem(u"Old iPhone"_s);
    writeBytes(folder + u'/' + stem + u".csv"_s, "earlier export");
    arrangeTable();

    QTest::mouseClick(control<QPushButton>("export"), Qt::LeftButton);
    QFileDialog *panel = nullptr;
    QTRY_VERIFY((panel = savePanel()) && panel->isVisible());
    QVERIFY(m_delegate->hasSheet());
    QCOMPARE(panel->selectedFiles(), QStringList{folder + u'/' + stem + u"-2.csv"_s});
    const QString path = m_root->filePath(u"visible.csv"_s);
    answer(panel, path);

    QTRY_COMPARE(status(), u"Exported 3 apps to visible.csv."_s);
    QCOMPARE(readBytes(path),
             QByteArray("\xEF\xBB\xBF\"App name\",\"Category\",\"Bundle identifier\",\"Version\","
                        "\"Total MB\"\r\n"
                        "\"Ledger\",\"\",\"org.sample.ledger\",\"1.0\",\"12.50\"\r\n"
                        "\"Notes\",\"Productivity\",\"com.example.notes\",\"2.5\",\"3.23\"\r\n"
                        "\"Maps\",\"Navigation\",\"com.example.maps\",\"10.1\",\"\"\r\n"));
    QCOMPARE(readBytes(folder + u'/' + stem + u".csv"_s), QByteArray("earlier export"));
    QVERIFY(!m_delegate->hasSheet());
}

void TestMainWindow::exportReport()
{
    if (!PdfReader::available())
        QSKIP("poppler's command-line tools are not installed");
    const QString folder = downloads();
    arrangeTable();

    m_delegate->exportReport();
    QFileDialog *panel = nullptr;
    QTRY_VERIFY((panel = savePanel()) && panel->isVisible());
    QCOMPARE(panel->selectedFiles(),
             QStringList{folder + u'/' + Inventory::exportStem(u"Old iPhone"_s) + u".pdf"_s});
    // Without a suffix the panel adds ".pdf".
    answer(panel, m_root->filePath(u"report"_s));

    QTRY_COMPARE(status(), u"Saved report to report.pdf."_s);
    const QString path = m_root->filePath(u"report.pdf"_s);
    QCOMPARE(PdfReader::info(path).value(u"Title"_s), u"App inventory"_s);
    const PdfReader::Page page = PdfReader::words(path).value(0);
    const PdfReader::Word *search = PdfReader::find(page, u"Search:"_s);
    QVERIFY(search);
    QCOMPARE(PdfReader::text(PdfReader::lineOf(page, *search)),
             u"Category: All categories \u00B7 Search: o"_s);
    // The rows as the table shows them.
    double top = 0;
    for (const QString &name : {u"Ledger"_s, u"Notes"_s, u"Maps"_s}) {
        const PdfReader::Word *word = PdfReader::find(page, name);
        QVERIFY2(word && word->box.top() > top, qPrintable(name));
        top = word->box.top();
    }
    QVERIFY(!PdfReader::find(page, u"Atlas"_s));
}

void TestMainWindow::exportIgnored_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("report");
    for (const char *state : {"busy", "no inventory", "nothing matches"}) {
        QTest::addRow("%s, CSV", state) << QString::fromLatin1(state) << false;
        QTest::addRow("%s, report", state) << QString::fromLatin1(state) << true;
    }
}

void TestMainWindow::exportIgnored()
{
    QFETCH(QString, state);
    QFETCH(bool, report);
    downloads();
    if (state == u"busy") {
        prepareScan();
        tool(u"ideviceinstaller"_s, {}, hang);
    } else if (state == u"nothing matches") {
        library().writeFile(data(u"inventory.json"_s));
    }
    QVERIFY(launch());
    if (state == u"busy") {
        m_delegate->scanDevice();
        QVERIFY(m_delegate->isBusy() && !shown(Column::appName).isEmpty());
    } else if (state == u"nothing matches") {
        QTest::keyClicks(control<QLineEdit>("search"), u"zzz"_s);
        QVERIFY(shown(Column::appName).isEmpty());
    }
    const QString before = status();
    report ? m_delegate->exportReport() : m_delegate->exportCSV();
    QTest::qWait(20);
    QVERIFY(!savePanel());
    QVERIFY(!m_delegate->hasSheet());
    // A running scan reports its progress there.
    if (state != u"busy")
        QCOMPARE(status(), before);
}

void TestMainWindow::exportFailure_data()
{
    QTest::addColumn<bool>("report");
    QTest::newRow("CSV") << false;
    QTest::newRow("report") << true;
}

void TestMainWindow::exportFailure()
{
    QFETCH(bool, report);
    downloads();
    library().writeFile(data(u"inventory.json"_s));
    QVERIFY(launch());
    // A file stands where the folder should be: no write gets through, not even as root.
    writeBytes(m_root->filePath(u"plain"_s), "plain");
    const QString path = m_root->filePath(report ? u"plain/out.pdf"_s : u"plain/out.csv"_s);

    report ? m_delegate->exportReport() : m_delegate->exportCSV();
    QFileDialog *panel = nullptr;
    QTRY_VERIFY((panel = savePanel()) && panel->isVisible());
    answer(panel, path);

    QTRY_COMPARE(sheets().size(), 1);
    QString description;
    try {
        DataFile::write(path, "x");
    } catch (const Failure &error) {
        description = error.description();
    }
    QVERIFY(description.startsWith(u"The file \u201Cout."_s));
    QCOMPARE(sheets()[0]->text(), description);
    QCOMPARE(status(), loaded);
    QCOMPARE(readBytes(m_root->filePath(u"plain"_s)), QByteArray("plain"));
}

void TestMainWindow::alertShowsItsWholeText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("informative");
    const QString folder = u"“/home/someone/.local/share/Quillet”"_s;
    const QString unsaved =
        u"The snapshot name and notes could not be saved in the data folder %1: Permission denied"_s
            .arg(folder);
    QTest::newRow("long message") << unsaved << QString();
    QTest::newRow("long explanation") << u"Unable to load inventory"_s << unsaved;
    QTest::newRow("long path") << u"Could not write "_s + u"/folder"_s.repeated(60) << QString();
    QTest::newRow("short") << u"Saved"_s << u"Done."_s;
    // A tool that explains itself at length: the alert shows the start, and copies it all.
    QTest::newRow("a tool's 190 KB message")
        << u"Unable to load inventory"_s
        << u"ERROR: Could not connect to lockdownd. "_s.repeated(5000);
}

// On a desktop-sized screen, every line of an alert shows whole: it wraps rather than ends at
// the box's edge.
void TestMainWindow::alertShowsItsWholeText()
{
    QFETCH(QString, message);
    QFETCH(QString, informative);
    QVERIFY(launch());
    QMessageBox *alert =
        Sheet::alert(m_delegate->window(), QMessageBox::Warning, message, informative);
    alert->open();
    QVERIFY(QTest::qWaitForWindowExposed(alert));
    QVERIFY(alert->width() >= 400);
    for (const QLabel *label : alert->findChildren<QLabel *>()) {
        if (!label->isVisible() || label->text().isEmpty())
            continue;
        const QRect room = label->contentsRect();
        const int flags = label->wordWrap() ? Qt::TextWordWrap | Qt::TextWrapAnywhere : 0;
        const QRect needed = label->fontMetrics().boundingRect(QRect(0, 0, room.width(), 100'000),
                                                               flags, label->text());
        QVERIFY2(needed.width() <= room.width() && needed.height() <= room.height(),
                 qPrintable(u"%1: %2x%3 in %4x%5"_s.arg(label->text().left(30))
                                .arg(needed.width())
                                .arg(needed.height())
                                .arg(room.width())
                                .arg(room.height())));
        QVERIFY(label->geometry().right() < alert->width());
    }
    QPushButton *copy = nullptr;
    for (QPushButton *button : alert->findChildren<QPushButton *>()) {
        if (button->text() == u"Copy Whole Message")
            copy = button;
    }
    const bool isLong = informative.size() > 600;
    QCOMPARE(copy != nullptr, isLong);
    QVERIFY(alert->informativeText().size() <= 601);
    if (isLong) {
        QVERIFY(alert->informativeText().endsWith(u'\u2026'));
        copy->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), message + u"\n\n"_s + informative);
        // The status line takes the same text without measuring all of it.
        m_delegate->window()->findChild<ElidedLabel *>(u"status"_s)->setText(informative);
        QVERIFY(status().size() <= 2001);
    }
    alert->close();
}

void TestMainWindow::copySelectedRows_data()
{
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QString>("copied");
    // arrangeTable's order: Total MB first, the bundle identifier hidden, largest first.
    QTest::newRow("two rows, as shown") << QList<int>{2, 0}
                                        << u"Total MB\tApp name\tCategory\tVersion\n"
                                           "12.50\tLedger\t\t1.0\n"
                                           "\tMaps\tNavigation\t10.1\n"_s;
    QTest::newRow("nothing selected") << QList<int>{} << u"unchanged"_s;
}

void TestMainWindow::copySelectedRows()
{
    QFETCH(QList<int>, selected);
    QFETCH(QString, copied);
    arrangeTable();
    QGuiApplication::clipboard()->setText(u"unchanged"_s);
    table()->clearSelection();
    for (int row : selected)
        table()->selectionModel()->select(table()->model()->index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    table()->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(m_delegate->window()));
    QTest::keySequence(table(), QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
