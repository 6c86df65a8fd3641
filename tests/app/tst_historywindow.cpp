#include "app/AppDelegate.h"
#include "app/DeviceChooser.h"
#include "app/ElidedLabel.h"
#include "common/HostWording.h"
#include "common/Locations.h"
#include "features/DeviceSheetWindow.h"
#include "history/ComparisonWindow.h"
#include "history/HistoryStore.h"
#include "history/SnapshotAnnotation.h"
#include "scanning/Column.h"
#include "scanning/device/DeviceFacts.h"
#include "tests/InventoryPrinting.h"
#include "tests/PdfReader.h"
#include "tests/TestFiles.h"
#include "tests/WindowTesting.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace TestFiles;
using namespace WindowTesting;

namespace {

const QString phone = u"00008110-001A2B3C4D5E801E"_s;
const QString otherPhone = u"00008030-000E1D2C3B4A5968"_s;
const QString olderID = u"AAAAAAAA-0000-4000-8000-000000000001"_s;
const QString newerID = u"BBBBBBBB-0000-4000-8000-000000000002"_s;
const QString newestID = u"CCCCCCCC-0000-4000-8000-000000000003"_s;
const QString current = u"Current inventory"_s;
const QString sameDevice = u"Same device \u00B7 Changes from A to B"_s;
const QString newerFirst = u" \u00B7 A is newer than B"_s;
const QString twoDevices =
    u"Device comparison \u00B7 Only in A/B refers to the selected inventories"_s;
const QString threeOfFour = u"\n3 differences across 4 apps. Blank sizes cannot be compared. "
                            "Version changes may be upgrades or downgrades."_s;

Row app(const QString &name, const QString &bundle, const QString &version, const QString &size,
        const QString &category = QString())
{
    Row row{{Column::appName, name},
            {Column::bundleIdentifier, bundle},
            {Column::version, version},
            {Column::totalMB, size}};
    if (!category.isNull())
        row.insert(Column::category, category);
    return row;
}

// From March to April Notes is upgraded, Widgets arrives, Ledger goes and Maps stays; the blank
// row is never an app. May has March's apps again.
Inventory scanOf(int month)
{
    Inventory inventory;
    inventory.fields = Column::scanFields();
    const Row notes = app(u"Notes"_s, u"com.example.notes"_s, month == 4 ? u"2.6"_s : u"2.5"_s,
                          month == 4 ? u"4.23"_s : u"3.23"_s, u"Productivity"_s);
    const Row maps = app(u"Maps"_s, u"com.example.maps"_s, u"10.1"_s, u""_s, u"Navigation"_s);
    if (month == 4)
        inventory.rows = {app(u"Widgets"_s, u"com.example.widgets"_s, u"2.1"_s, u""_s), notes,
                          maps};
    else
        inventory.rows = {notes, maps,
                          app(u"Ledger"_s, u"org.sample.ledger"_s, u"1.0"_s, u"12.50"_s, u""_s),
                          app(u" "_s, u"com.example.blank"_s, u"1.0"_s, u"1"_s)};
    inventory.deviceName = u"Old iPhone"_s;
    inventory.deviceID = phone;
    inventory.scannedAt = QDateTime(QDate(2024, month, 1), QTime(10, 0), QTimeZone::utc());
    inventory.scanID = QStringList{olderID, newerID, newestID}.value(month - 3);
    return inventory;
}
const Inventory march = scanOf(3);
const Inventory april = scanOf(4);
const Inventory may = scanOf(5);

SavedScan entry(const Inventory &inventory)
{
    return {*inventory.scanID, inventory};
}

template<typename T> T *child(const QObject *parent, const QString &name)
{
    return parent->findChild<T *>(name);
}

// The table's rows, cells joined by "|", or the App column's tool tips.
QStringList rows(const QWidget *window, int role = Qt::DisplayRole)
{
    const QAbstractItemModel *model = child<QTableView>(window, u"differences"_s)->model();
    QStringList texts;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < (role == Qt::DisplayRole ? model->columnCount() : 1); ++c)
            cells.append(role == Qt::ToolTipRole
                             ? shownToolTip(model->index(r, c).data(role).toString())
                             : model->index(r, c).data(role).toString());
        texts.append(cells.join(u'|'));
    }
    return texts;
}

// The line `word` is on, left to right. The arrow comes from a fallback font and sits a little
// lower than its neighbours, so a word is on the line its middle falls within.
QString lineWith(const PdfReader::Page &page, const QString &word)
{
    const PdfReader::Word *found = PdfReader::find(page, word);
    if (!found)
        return QString();
    PdfReader::Page line;
    for (const PdfReader::Word &other : page) {
        const double middle = other.box.center().y();
        if (middle >= found->box.top() && middle <= found->box.bottom())
            line.append(other);
    }
    std::sort(line.begin(), line.end(),
              [](const auto &a, const auto &b) { return a.box.left() < b.box.left(); });
    return PdfReader::text(line);
}

// pdftotext gives plain spaces where a locale's time format may have no-break ones.
QString plain(QString text)
{
    return text.replace(u'\u202F', u' ').replace(u'\u00A0', u' ');
}

} // namespace

class TestHistoryWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_config;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<AppDelegate> m_delegate;

    // `latest` as the saved inventory, `archived` in the history, then the window.
    bool launch(const std::optional<Inventory> &latest, const QList<Inventory> &archived)
    {
        if (latest)
            latest->writeFile(m_root->filePath(u"data/inventory.json"_s));
        for (const Inventory &scan : archived)
            HistoryStore().archive(scan);
        m_delegate = std::make_unique<AppDelegate>();
        m_delegate->launch();
        return QTest::qWaitForWindowExposed(m_delegate->window()) &&
            QTest::qWaitFor([this] { return !m_delegate->isBusy(); });
    }
    template<typename T> T *control(const QString &name) const
    {
        return child<T>(m_delegate->window(), name);
    }
    QComboBox *picker() const { return control<QComboBox>(u"historyPicker"_s); }
    QDialog *editor() const { return control<QDialog>(u"snapshotEditor"_s); }
    QString status() const { return control<ElidedLabel>(u"status"_s)->text(); }
    // Makes the saved scan's file unreadable, as damage after the listing would.
    static void damage(const Inventory &scan)
    {
        for (const SavedScan &saved : HistoryStore().list().scans) {
            if (saved.id == scan.scanID)
                writeBytes(HistoryStore().directory() + u'/' + saved.file, "{\"rows\": [");
        }
    }
    QMessageBox *alert() const
    {
        for (QMessageBox *box : m_delegate->window()->findChildren<QMessageBox *>()) {
            if (box->isVisible())
                return box;
        }
        return nullptr;
    }
    static QStringList historyTitles()
    {
        QStringList titles{current};
        for (const SavedScan &scan : HistoryStore().list().scans)
            titles.append(scan.title());
        return titles;
    }
    // Fills in the open editor and presses `button`.
    void answerEditor(const QString &name, const QString &notes, const QString &button)
    {
        QPointer<QDialog> dialog = editor();
        QVERIFY(dialog && dialog->isVisible());
        child<QLineEdit>(dialog, u"snapshotName"_s)->setText(name);
        child<QPlainTextEdit>(dialog, u"snapshotNotes"_s)->setPlainText(notes);
        for (QPushButton *candidate : dialog->findChildren<QPushButton *>()) {
            if (candidate->text() == button)
                candidate->click();
        }
        QTRY_VERIFY(!dialog);
    }

    // April's scan of a worn, unencrypted iPhone.
    static Inventory wornScan()
    {
        Inventory worn = april;
        DeviceFacts facts;
        facts.productType = u"iPhone14,2"_s;
        facts.batteryDesignCapacity = 3000;
        facts.batteryFullChargeCapacity = 2100;
        facts.backupsEncrypted = false;
        facts.lastComputerBackup = worn.scannedAt->addDays(-2);
        worn.setDeviceFacts(facts);
        return worn;
    }
    // A key where the focus is, as a person at the keyboard presses it: once a window has the
    // focus again after one closed, which the window manager gives in its own time.
    static void press(const QKeySequence &key)
    {
        QVERIFY(QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }));
        QTest::keySequence(QApplication::focusWidget(), key);
    }
    // After a window closed, a window manager gives `next` the focus; the offscreen platform
    // has none, and the test stands in for it.
    static void focusReturnsTo(QWidget *next)
    {
        if (!QTest::qWaitFor([] { return QApplication::activeWindow() != nullptr; }, 500))
            next->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), next);
    }
    // Tab until the control named `name` has the focus; false after a whole round.
    static bool tabTo(const QString &name)
    {
        for (int step = 0; step < 60; ++step) {
            if (QApplication::focusWidget() && QApplication::focusWidget()->objectName() == name)
                return true;
            press(Qt::Key_Tab);
        }
        return false;
    }
    // Types `path` into the save panel that has the focus and presses Return.
    static void typeInSavePanel(const QString &path)
    {
        QFileDialog *panel = nullptr;
        QTRY_VERIFY((panel = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())));
        QTRY_VERIFY(QApplication::focusWidget() &&
                    panel->isAncestorOf(QApplication::focusWidget()));
        press(QKeySequence::SelectAll);
        QTest::keyClicks(QApplication::focusWidget(), path);
        press(Qt::Key_Return);
        QTRY_VERIFY(!QApplication::activeModalWidget());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        QCoreApplication::setOrganizationName(u"Marrowby"_s);
        QCoreApplication::setApplicationName(u"Quillet"_s);
        QVERIFY2(QSettings().fileName().startsWith(m_config.path()),
                 qPrintable(QSettings().fileName()));
        // Nothing here scans; should anything look up a store, nobody is listening.
        Locations::setLookupURL(QUrl(u"http://127.0.0.1:9/lookup"_s));
    }

    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid() && QDir().mkpath(m_root->filePath(u"data"_s)));
        Locations::setStorage(m_root->filePath(u"data"_s));
        Locations::setResources(m_root->path());
        QSettings().clear();
        QSettings().setValue(u"completedWelcome"_s, true);
        const QString downloads = m_root->filePath(u"Downloads"_s);
        QVERIFY(QDir().mkpath(downloads));
        writeBytes(m_config.filePath(u"user-dirs.dirs"_s),
                   "XDG_DOWNLOAD_DIR=\"" + QFile::encodeName(downloads) + "\"\n");
    }

    void cleanup()
    {
        m_delegate.reset();
        m_root.reset();
    }

    // --- The comparison window ---------------------------------------------------------------

    void popUps()
    {
        ComparisonWindow window({entry(may), entry(april), entry(march)});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *a = child<QComboBox>(&window, u"scanA"_s);
        auto *b = child<QComboBox>(&window, u"scanB"_s);
        const QStringList titles{entry(may).title(), entry(april).title(), entry(march).title()};
        QCOMPARE(items(a), titles);
        QCOMPARE(items(b), titles);
        QCOMPARE(a->currentIndex(), 1);
        QCOMPARE(b->currentIndex(), 0);
        QVERIFY(child<QCheckBox>(&window, u"changesOnly"_s)->isChecked());
        QCOMPARE(rows(&window, Qt::ToolTipRole),
                 (QStringList{u"org.sample.ledger"_s, u"com.example.notes"_s,
                              u"com.example.widgets"_s}));

        // March and May hold the same apps.
        choose(a, titles[2]);
        QVERIFY(window.results().isEmpty());
        QVERIFY(window.summaryText().contains(u"\n0 differences across 3 apps."_s));
        choose(b, titles[1]);
        QCOMPARE(window.comparison()->differences,
                 ScanComparison::compare(march, april).differences);
        QCOMPARE(window.summaryText(), sameDevice + threeOfFour);
        QCOMPARE(child<QLabel>(&window, u"summary"_s)->text(), window.summaryText());
    }

    void summary_data()
    {
        QTest::addColumn<QString>("deviceB");
        QTest::addColumn<QDateTime>("dateA");
        QTest::addColumn<QDateTime>("dateB");
        QTest::addColumn<QString>("firstLine");
        const QDateTime early = march.scannedAt.value();
        const QDateTime late = april.scannedAt.value();
        const QDateTime none;
        QTest::newRow("A older") << phone << early << late << sameDevice;
        QTest::newRow("A newer") << phone << late << early << sameDevice + newerFirst;
        QTest::newRow("same date") << phone << early << early << sameDevice;
        QTest::newRow("A undated") << phone << none << late << sameDevice;
        QTest::newRow("B undated") << phone << early << none << sameDevice + newerFirst;
        QTest::newRow("neither dated") << phone << none << none << sameDevice;
        QTest::newRow("two devices") << otherPhone << late << early << twoDevices;
        QTest::newRow("B unidentified") << QString() << early << late << twoDevices;
    }

    void summary()
    {
        QFETCH(QString, deviceB);
        QFETCH(QDateTime, dateA);
        QFETCH(QDateTime, dateB);
        QFETCH(QString, firstLine);
        Inventory a = march;
        Inventory b = april;
        a.scannedAt = dateA.isValid() ? std::optional(dateA) : std::nullopt;
        b.scannedAt = dateB.isValid() ? std::optional(dateB) : std::nullopt;
        b.deviceID = deviceB.isNull() ? std::nullopt : std::optional(deviceB);

        ComparisonWindow window({entry(b), entry(a)});
        QCOMPARE(window.summaryText(), firstLine + threeOfFour);
        // The count is of every difference, shown or not.
        child<QCheckBox>(&window, u"changesOnly"_s)->click();
        QCOMPARE(window.summaryText(), firstLine + threeOfFour);
    }

    void tableAndSwap()
    {
        ComparisonWindow window({entry(april), entry(march)});
        QCOMPARE(rows(&window),
                 (QStringList{u"Ledger|\u2014|Removed|1.0|\u2014|\u2014"_s,
                              u"Notes|Productivity|Version changed|2.5|2.6|+1.00"_s,
                              u"Widgets|\u2014|Added|\u2014|2.1|\u2014"_s}));
        child<QCheckBox>(&window, u"changesOnly"_s)->click();
        QCOMPARE(window.results().size(), 4);
        QCOMPARE(rows(&window).value(1), u"Maps|Navigation|No measured change|10.1|10.1|\u2014"_s);
        child<QCheckBox>(&window, u"changesOnly"_s)->click();

        child<QPushButton>(&window, u"swap"_s)->click();
        QCOMPARE(child<QComboBox>(&window, u"scanA"_s)->currentIndex(), 0);
        QCOMPARE(child<QComboBox>(&window, u"scanB"_s)->currentIndex(), 1);
        QCOMPARE(window.summaryText(), sameDevice + newerFirst + threeOfFour);
        QCOMPARE(rows(&window),
                 (QStringList{u"Ledger|\u2014|Added|\u2014|1.0|\u2014"_s,
                              u"Notes|Productivity|Version changed|2.6|2.5|-1.00"_s,
                              u"Widgets|\u2014|Removed|2.1|\u2014|\u2014"_s}));
    }

    void updateKeepsTheChosenScans()
    {
        ComparisonWindow window({entry(april), entry(march)});
        const QStringList before = rows(&window);
        Inventory renamed = april;
        renamed.snapshotName = u"Before update"_s;

        window.updateScans({entry(may), entry(renamed), entry(march)});
        auto *a = child<QComboBox>(&window, u"scanA"_s);
        auto *b = child<QComboBox>(&window, u"scanB"_s);
        QCOMPARE(items(a),
                 (QStringList{entry(may).title(), entry(renamed).title(), entry(march).title()}));
        QCOMPARE(a->currentIndex(), 2);
        QCOMPARE(b->currentIndex(), 1);
        QVERIFY(b->currentText().startsWith(u"Before update \u00B7 "_s));
        QCOMPARE(rows(&window), before);
    }

    void exportPDF_data()
    {
        QTest::addColumn<bool>("changesOnly");
        QTest::addColumn<QString>("deviceB");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("changes on one device")
            << true << phone
            << QStringList{u"3 apps shown \u00B7 Same device"_s,
                           u"Apps with no measured change are hidden"_s,
                           u"Ledger Removed 1.0 \u2192 \u2014 \u2014"_s,
                           u"Notes Version changed 2.5 \u2192 2.6 +1.00"_s,
                           u"Widgets Added \u2014 \u2192 2.1 \u2014"_s};
        QTest::newRow("everything on two devices")
            << false << otherPhone
            << QStringList{u"4 apps shown \u00B7 Different or unidentified devices"_s,
                           u"All matched apps included"_s,
                           u"Ledger Only in A 1.0 \u2192 \u2014 \u2014"_s,
                           u"Maps No measured change 10.1 \u2192 10.1 \u2014"_s,
                           u"Notes Version changed 2.5 \u2192 2.6 +1.00"_s,
                           u"Widgets Only in B \u2014 \u2192 2.1 \u2014"_s};
    }

    void exportPDF()
    {
        QFETCH(bool, changesOnly);
        QFETCH(QString, deviceB);
        QFETCH(QStringList, lines);
        if (!PdfReader::available())
            QSKIP("poppler's pdfinfo and pdftotext are not installed");
        Inventory b = april;
        b.deviceID = deviceB;
        ComparisonWindow window({entry(b), entry(march)});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        if (!changesOnly)
            child<QCheckBox>(&window, u"changesOnly"_s)->click();

        child<QPushButton>(&window, u"exportPDF"_s)->click();
        QFileDialog *panel = nullptr;
        QTRY_VERIFY((panel = child<QFileDialog>(&window, u"savePanel"_s)) && panel->isVisible());
        QCOMPARE(panel->windowModality(), Qt::WindowModal);
        QCOMPARE(panel->parentWidget(), static_cast<QWidget *>(&window));
        QCOMPARE(panel->selectedFiles(),
                 QStringList{m_root->filePath(u"Downloads/Quillet Comparison.pdf"_s)});
        const QString path = m_root->filePath(u"comparison.pdf"_s);
        answer(panel, path);
        QTRY_VERIFY(QFileInfo::exists(path));

        const QList<PdfReader::Page> pages = PdfReader::words(path);
        QCOMPARE(pages.size(), 1);
        const PdfReader::Page &page = pages.first();
        QCOMPARE(lineWith(page, u"comparison"_s), u"App comparison"_s);
        QCOMPARE(plain(lineWith(page, u"A:"_s)), plain(u"A: "_s + entry(march).title()));
        QCOMPARE(plain(lineWith(page, u"B:"_s)), plain(u"B: "_s + entry(b).title()));
        QCOMPARE(lineWith(page, u"Difference"_s), u"App Difference Version A \u2192 B MB change"_s);
        // Top to bottom: the summary, then the rows in the window's order.
        double top = 0;
        for (const QString &line : lines) {
            const QString start = line.section(u' ', 0, 0);
            const PdfReader::Word *first = PdfReader::find(page, start);
            QVERIFY2(first && first->box.top() > top, qPrintable(line));
            QCOMPARE(lineWith(page, start), line);
            top = first->box.top();
        }
        QCOMPARE(PdfReader::find(page, u"Maps"_s) != nullptr, !changesOnly);
    }

    // A scan damaged since the listing: nothing to compare, nothing to export.
    void exportNeedsAComparison()
    {
        QVERIFY(launch(april, {april, march}));
        m_delegate->compareScans();
        ComparisonWindow *window = m_delegate->comparisonWindow();
        QVERIFY(window && window->comparison());
        damage(march);
        window->updateScans(m_delegate->savedScans());
        QVERIFY(!window->comparison());
        QVERIFY2(window->summaryText().contains(u"could not be read"_s),
                 qPrintable(window->summaryText()));
        auto *exportButton = child<QPushButton>(window, u"exportPDF"_s);
        QVERIFY(!exportButton->isEnabled());
        window->exportPDF();
        QTest::qWait(50);
        QVERIFY(!child<QFileDialog>(window, u"savePanel"_s));
    }

    // Quit, Close Window and Help work from the comparison and details windows as from the
    // main one, as the Mac's single menu bar makes them.
    void shortcutsOfEveryWindow_data()
    {
        QTest::addColumn<bool>("details");
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("outcome");
        for (bool details : {false, true}) {
            const char *window = details ? "details" : "comparison";
            QTest::addRow("%s, Close Window", window)
                << details << QKeySequence(u"Ctrl+W"_s) << u"closes"_s;
            // F1 on Linux and Windows, Cmd+? on the Mac.
            QTest::addRow("%s, Help", window)
                << details << QKeySequence(QKeySequence::HelpContents) << u"help"_s;
            QTest::addRow("%s, Quit", window) << details << QKeySequence(u"Ctrl+Q"_s) << u"quits"_s;
        }
    }

    void shortcutsOfEveryWindow()
    {
        QFETCH(bool, details);
        QFETCH(QKeySequence, key);
        QFETCH(QString, outcome);
        QVERIFY(launch(april, {april, march}));
        QWidget *window = nullptr;
        if (details) {
            child<QTableView>(m_delegate->window(), u"inventory"_s)->selectRow(0);
            m_delegate->showSelectedAppDetails();
            window = m_delegate->appDetailsWindow();
        } else {
            m_delegate->compareScans();
            window = m_delegate->comparisonWindow();
        }
        QVERIFY(window);
        window->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), window);
        QPointer<QWidget> watched = window;
        if (outcome == u"quits") {
            QTimer guard;
            guard.setSingleShot(true);
            connect(&guard, &QTimer::timeout, &guard, [] { QCoreApplication::exit(1); });
            guard.start(10'000);
            QTimer::singleShot(0, window, [window, key] { QTest::keySequence(window, key); });
            QCOMPARE(QCoreApplication::exec(), 0);
        } else if (outcome == u"closes") {
            QTest::keySequence(window, key);
            QTRY_VERIFY(!watched || !watched->isVisible());
            QVERIFY(m_delegate->window()->isVisible());
        } else {
            // No help is installed here; the alert saying so is the window's own.
            QTest::keySequence(window, key);
            QMessageBox *missing = nullptr;
            QTRY_VERIFY((missing = window->findChild<QMessageBox *>()) && missing->isVisible());
            QCOMPARE(missing->text(), u"Quillet Help is not available"_s);
        }
    }

    // --- The history row of the main window --------------------------------------------------

    void historyRow_data()
    {
        QTest::addColumn<int>("archived");
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("canEdit");
        QTest::addColumn<bool>("canCompare");
        QTest::newRow("no history") << 0 << 0 << false << false;
        QTest::newRow("the latest scan saved") << 1 << 1 << true << false;
        QTest::newRow("two scans saved") << 2 << 1 << true << true;
    }

    void historyRow()
    {
        QFETCH(int, archived);
        QFETCH(int, selected);
        QFETCH(bool, canEdit);
        QFETCH(bool, canCompare);
        QVERIFY(launch(april, QList<Inventory>{april, march}.first(archived)));
        QCOMPARE(items(picker()), historyTitles());
        QCOMPARE(picker()->count(), archived + 1);
        QCOMPARE(picker()->currentIndex(), selected);
        QCOMPARE(picker()->isEnabled(), archived > 0);
        QCOMPARE(control<QPushButton>(u"editSnapshot"_s)->isEnabled(), canEdit);
        QCOMPARE(control<QPushButton>(u"compare"_s)->isEnabled(), canCompare);
        // Looking at an absent history creates nothing.
        QCOMPARE(QFileInfo::exists(HistoryStore().directory()), archived > 0);
    }

    void viewSavedScan_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QString>("shown");
        const QDateTime date = QDateTime(QDate(2024, 3, 1), QTime(23, 30), QTimeZone::utc());
        QTest::newRow("named and dated") << u"Old iPhone"_s << date << u"Old iPhone"_s;
        QTest::newRow("no device name") << QString() << date << u"unnamed device"_s;
        // The name is shown as stored, blank included; only an absent one is replaced.
        QTest::newRow("blank device name") << u"  "_s << date << u"  "_s;
        QTest::newRow("undated") << u"Old iPhone"_s << QDateTime() << u"Old iPhone"_s;
        QTest::newRow("a placeholder in the name")
            << u"Lab %1 Phone"_s << date << u"Lab %1 Phone"_s;
    }

    void viewSavedScan()
    {
        QFETCH(QString, device);
        QFETCH(QDateTime, date);
        QFETCH(QString, shown);
        Inventory older = march;
        older.deviceName = device.isNull() ? std::nullopt : std::optional(device);
        older.scannedAt = date.isValid() ? std::optional(date) : std::nullopt;
        QVERIFY(launch(april, {april, older}));

        choose(picker(), entry(older).title());
        const QString day = date.isValid()
            ? QLocale::system().toString(date.toLocalTime().date(), QLocale::ShortFormat)
            : u"scan date unknown"_s;
        QCOMPARE(status(), u"Viewing %1 \u00B7 %2 \u00B7 3 apps"_s.arg(shown, day));
        QStringList names;
        for (const Row &row : m_delegate->visibleRows())
            names.append(row.value(Column::appName));
        QCOMPARE(names, (QStringList{u"Notes"_s, u"Maps"_s, u"Ledger"_s}));
        QVERIFY(control<QPushButton>(u"editSnapshot"_s)->isEnabled());

        choose(picker(), current);
        QCOMPARE(m_delegate->currentInventory(), m_delegate->latestInventory());
        QCOMPARE(m_delegate->currentInventory().scanID.value_or(QString()), newerID);
        QCOMPARE(status(),
                 u"Viewing Old iPhone \u00B7 %1 \u00B7 3 apps"_s.arg(
                     QLocale::system().toString(QDate(2024, 4, 1), QLocale::ShortFormat)));
    }

    // A scan damaged since the listing cannot be shown: the picker goes back to what is.
    void pickerFallsBack()
    {
        QVERIFY(launch(april, {april, march}));
        QCOMPARE(picker()->currentIndex(), 1);
        damage(march);
        QTest::keyClick(picker(), Qt::Key_Down);
        QCOMPARE(picker()->currentIndex(), 1);
        QCOMPARE(m_delegate->currentInventory().scanID, april.scanID);
        QVERIFY2(status().contains(u"could not be read"_s), qPrintable(status()));
    }

    // The device line and the footer's store belong to the scan on screen: a scan without facts
    // shows no device line, one made before the store was kept names none.
    void scanFactsFollowTheShownScan()
    {
        Inventory withFacts = april;
        DeviceFacts facts;
        facts.take(QString(),
                   {{u"ProductType"_s, u"iPhone14,2"_s}, {u"ProductVersion"_s, u"17.5.1"_s}});
        withFacts.setDeviceFacts(facts);
        withFacts.storeCountry = u"fr"_s;
        QVERIFY(launch(withFacts, {withFacts, march}));
        auto *line = control<ElidedLabel>(u"deviceLine"_s);
        QCOMPARE(line->text(), u"iPhone 13 Pro \u00B7 iOS 17.5.1"_s);
        QVERIFY(line->isVisible());
        // So does the store its categories came from, whatever the setting says now.
        auto *footer = control<QLabel>(u"footer"_s);
        QVERIFY2(footer->text().endsWith(u"Categories use the App Store of France"_s),
                 qPrintable(footer->text()));
        choose(picker(), entry(march).title());
        QVERIFY(line->isHidden());
        QVERIFY2(footer->text().endsWith(u"Categories use the App Store"_s),
                 qPrintable(footer->text()));
        choose(picker(), current);
        QVERIFY(line->isVisible());
    }

    void unreadableScans()
    {
        const QString folder = HistoryStore().directory();
        Inventory anonymous = march;
        anonymous.scanID.reset();
        writeBytes(folder + u"/broken.json"_s, "{\"rows\": [");
        writeBytes(folder + u"/anonymous.json"_s, anonymous.toJson());
        writeBytes(folder + u"/notes.txt"_s, "not a scan");
        QVERIFY(launch(april, {april}));

        QCOMPARE(status(),
                 u"2 saved scans could not be read: \u201Canonymous.json\u201D, "
                 "\u201Cbroken.json\u201D. Their files have been preserved."_s);
        QCOMPARE(items(picker()), (QStringList{current, entry(april).title()}));
        QCOMPARE(readBytes(folder + u"/broken.json"_s), QByteArray("{\"rows\": ["));
        QCOMPARE(readBytes(folder + u"/anonymous.json"_s), anonymous.toJson());
    }

    void historyIsAFile()
    {
        writeBytes(HistoryStore().directory(), "not a folder");
        QVERIFY(launch(april, {}));
        QVERIFY2(status().startsWith(u"Unable to read scan history: "_s), qPrintable(status()));
        QVERIFY(!picker()->isEnabled());
        QVERIFY(!control<QPushButton>(u"compare"_s)->isEnabled());
        QCOMPARE(readBytes(HistoryStore().directory()), QByteArray("not a folder"));
    }

    void compareNeedsTwoScans()
    {
        QVERIFY(launch(april, {april}));
        m_delegate->compareScans();
        QTRY_VERIFY(alert());
        QCOMPARE(alert()->text(), u"Save two scans to compare"_s);
        QVERIFY(!m_delegate->comparisonWindow());
    }

    void compareReplacesTheWindow()
    {
        QVERIFY(launch(april, {april, march}));
        control<QPushButton>(u"compare"_s)->click();
        QPointer<ComparisonWindow> first = m_delegate->comparisonWindow();
        QVERIFY(first && first->isVisible());
        QCOMPARE(child<QComboBox>(first, u"scanA"_s)->currentText(), entry(march).title());
        QCOMPARE(child<QComboBox>(first, u"scanB"_s)->currentText(), entry(april).title());

        m_delegate->compareScans();
        QVERIFY(!first);
        QVERIFY(m_delegate->comparisonWindow() && m_delegate->comparisonWindow()->isVisible());
    }

    void sortSurvivesOtherColumns()
    {
        Inventory older = march;
        older.fields.removeAll(Column::version);
        QVERIFY(launch(april, {april, older}));
        auto *table = control<QTableView>(u"inventory"_s);
        auto column = [table](const QString &name) {
            for (int c = 0; c < table->model()->columnCount(); ++c) {
                if (table->model()->headerData(c, Qt::Horizontal).toString() == name)
                    return c;
            }
            return -1;
        };
        auto names = [this] {
            QStringList shown;
            for (const Row &row : m_delegate->visibleRows())
                shown.append(row.value(Column::appName));
            return shown;
        };
        table->sortByColumn(column(Column::version), Qt::DescendingOrder);
        const QStringList byVersion{u"Maps"_s, u"Notes"_s, u"Widgets"_s};
        QCOMPARE(names(), byVersion);

        choose(picker(), entry(older).title());
        QCOMPARE(column(Column::version), -1);
        choose(picker(), current);
        QCOMPARE(names(), byVersion);
        QCOMPARE(table->horizontalHeader()->sortIndicatorSection(), column(Column::version));
        QCOMPARE(table->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    }

    void quitWithTheComparisonOpen()
    {
        QVERIFY(launch(april, {april, march}));
        m_delegate->compareScans();
        QVERIFY(m_delegate->comparisonWindow() && m_delegate->comparisonWindow()->isVisible());
        const QList<QAction *> actions = m_delegate->window()->findChildren<QAction *>();
        const auto quit = std::find_if(actions.begin(), actions.end(), [](const QAction *action) {
            return action->menuRole() == QAction::QuitRole;
        });
        QVERIFY(quit != actions.end());
        // Quit ends the event loop. Should a window keep it running, the guard ends it instead.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, &guard, [] { QCoreApplication::exit(1); });
        guard.start(10'000);
        QTimer::singleShot(0, *quit, &QAction::trigger);
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    // --- The snapshot editor -----------------------------------------------------------------

    void editorOpens_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("notes");
        QTest::newRow("latest scan") << u"latest"_s << true << u"Trip"_s << u"Packed\nlight"_s;
        QTest::newRow("earlier scan") << u"earlier"_s << true << u""_s << u""_s;
        QTest::newRow("inventory not saved") << u"no inventory"_s << false << u""_s << u""_s;
        QTest::newRow("behind another sheet") << u"sheet"_s << false << u""_s << u""_s;
    }

    void editorOpens()
    {
        QFETCH(QString, situation);
        QFETCH(bool, opens);
        QFETCH(QString, name);
        QFETCH(QString, notes);
        HistoryStore().archive(april);
        HistoryStore().saveAnnotation(newerID, u"Trip"_s, u"Packed\nlight"_s);
        QVERIFY(
            launch(situation == u"no inventory" ? std::nullopt : std::optional(april), {march}));
        if (situation == u"earlier") {
            choose(picker(), entry(march).title());
        } else if (situation == u"sheet") {
            m_delegate->showAbout();
            QTRY_VERIFY(m_delegate->hasSheet());
        }

        m_delegate->editSnapshot();
        QCOMPARE(editor() != nullptr, opens);
        if (!opens)
            return;
        QTRY_VERIFY(editor()->isVisible());
        QCOMPARE(editor()->windowModality(), Qt::WindowModal);
        auto *nameField = child<QLineEdit>(editor(), u"snapshotName"_s);
        QCOMPARE(nameField->text(), name);
        QCOMPARE(child<QPlainTextEdit>(editor(), u"snapshotNotes"_s)->toPlainText(), notes);
        QTRY_VERIFY(nameField->hasFocus());
    }

    void editorSaves()
    {
        QVERIFY(launch(april, {april, march}));
        m_delegate->compareScans();
        ComparisonWindow *comparison = m_delegate->comparisonWindow();
        QVERIFY(comparison);
        // April as A, so that keeping the choice differs from starting afresh.
        comparison->swapScans();

        m_delegate->editSnapshot();
        const QString notes = u"  Line one\n\nLine three  \n"_s;
        answerEditor(u"  Before\nupdate  "_s, notes, u"Save"_s);
        const SnapshotAnnotation::Map expected{{newerID, {u"Before update"_s, notes}}};
        QCOMPARE(SnapshotAnnotation::readMap(HistoryStore().notesPath()), expected);
        QCOMPARE(status(),
                 u"Snapshot name and notes saved on "_s + HostWording::thisComputer() + u'.');
        QCOMPARE(items(picker()), historyTitles());
        QCOMPARE(picker()->currentIndex(), 1);
        QVERIFY(picker()->itemText(1).startsWith(u"Before update \u00B7 "_s));
        QCOMPARE(m_delegate->currentInventory().snapshotNotes.value_or(QString()), notes);

        auto *a = child<QComboBox>(comparison, u"scanA"_s);
        QCOMPARE(a->currentIndex(), 0);
        QCOMPARE(a->currentText(), picker()->itemText(1));
        QCOMPARE(child<QComboBox>(comparison, u"scanB"_s)->currentIndex(), 1);

        // Opened again, the editor shows what was saved.
        m_delegate->editSnapshot();
        QVERIFY(editor());
        QCOMPARE(child<QLineEdit>(editor(), u"snapshotName"_s)->text(), u"Before update"_s);
    }

    void editorKeepsOtherWriters_data()
    {
        // Another writer (quillet-cli) saves notes "Theirs" before or after the editor opens;
        // the user then types a name, or notes of their own, and answers any conflict.
        QTest::addColumn<bool>("beforeOpening");
        QTest::addColumn<QString>("typedNotes");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("savedNotes");
        QTest::newRow("opens with what is saved now") << true << QString() << u""_s << u"Theirs"_s;
        QTest::newRow("a name beside their notes") << false << QString() << u""_s << u"Theirs"_s;
        QTest::newRow("both wrote notes: replace")
            << false << u"Mine"_s << u"Replace"_s << u"Mine"_s;
        QTest::newRow("both wrote notes: edit again")
            << false << u"Mine"_s << u"Edit Again"_s << u"Mine"_s;
        QTest::newRow("both wrote notes: cancel")
            << false << u"Mine"_s << u"Cancel"_s << u"Theirs"_s;
    }

    void editorKeepsOtherWriters()
    {
        QFETCH(bool, beforeOpening);
        QFETCH(QString, typedNotes);
        QFETCH(QString, answer);
        QFETCH(QString, savedNotes);
        QVERIFY(launch(april, {april, march}));
        const auto theirs = [] {
            HistoryStore().saveAnnotation(newerID, {std::nullopt, u"Theirs"_s});
        };
        if (beforeOpening)
            theirs();
        m_delegate->editSnapshot();
        QVERIFY(editor());
        const QString shownNotes =
            child<QPlainTextEdit>(editor(), u"snapshotNotes"_s)->toPlainText();
        QCOMPARE(shownNotes, beforeOpening ? u"Theirs"_s : u""_s);
        if (!beforeOpening)
            theirs();
        answerEditor(u"Mine"_s, typedNotes.isNull() ? shownNotes : typedNotes, u"Save"_s);
        if (!answer.isEmpty()) {
            QTRY_VERIFY(alert());
            QVERIFY2(alert()->informativeText().contains(u"Notes: Theirs"_s),
                     qPrintable(alert()->informativeText()));
            for (QAbstractButton *button : alert()->buttons()) {
                if (button->text() == answer)
                    button->click();
            }
        }
        if (answer == u"Edit Again") {
            // The user's own text is still there, with theirs to combine it with.
            QTRY_VERIFY(editor() && editor()->isVisible());
            QCOMPARE(child<QPlainTextEdit>(editor(), u"snapshotNotes"_s)->toPlainText(),
                     u"Mine\n\nTheirs"_s);
            answerEditor(u"Mine"_s, u"Mine"_s, u"Save"_s);
        }
        const SnapshotAnnotation expected{answer == u"Cancel" ? QString() : u"Mine"_s, savedNotes};
        QTRY_COMPARE(SnapshotAnnotation::readMap(HistoryStore().notesPath()).value(newerID),
                     expected);
        QVERIFY(!alert());
    }

    void editorChangesNothing_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("notesFile");
        QTest::addColumn<bool>("atStart");
        QTest::newRow("cancelled") << u"Cancel"_s << QByteArray() << false;
        QTest::newRow("notes damaged meanwhile") << u"Save"_s << QByteArray("[]") << false;
        QTest::newRow("notes damaged at start") << u"Save"_s << QByteArray("[]") << true;
    }

    void editorChangesNothing()
    {
        QFETCH(QString, button);
        QFETCH(QByteArray, notesFile);
        QFETCH(bool, atStart);
        if (atStart) {
            QDir().mkpath(m_root->filePath(u"data"_s));
            writeBytes(HistoryStore().notesPath(), notesFile);
        }
        QVERIFY(launch(april, {april, march}));
        const QString before = status();
        const QStringList titles = items(picker());
        // Damaged names and notes hide only themselves, and the status line says so.
        if (atStart) {
            QVERIFY2(before.contains(u"\u201Csnapshot-notes.json\u201D could not be read"_s),
                     qPrintable(before));
            QCOMPARE(titles.size(), 3);
            QVERIFY(!m_delegate->visibleRows().isEmpty());
        }
        m_delegate->editSnapshot();
        if (!notesFile.isNull())
            writeBytes(HistoryStore().notesPath(), notesFile);
        answerEditor(u"Before update"_s, u"Notes"_s, button);

        // The save failure follows the editor as the window's next sheet.
        if (!notesFile.isNull()) {
            QTRY_VERIFY(alert());
            QVERIFY2(alert()->text().contains(u"snapshot-notes.json"_s),
                     qPrintable(alert()->text()));
        }
        QCOMPARE(QFileInfo::exists(HistoryStore().notesPath()), !notesFile.isNull());
        QCOMPARE(readBytes(HistoryStore().notesPath()), notesFile);
        QCOMPARE(status(), before);
        QCOMPARE(items(picker()), titles);
        QVERIFY(!m_delegate->currentInventory().snapshotName);
    }

    // Every control of every window a person can reach with Tab has a name a screen reader
    // says. Every window open at the time is walked, so a new one is walked too.
    void accessibleNames_data()
    {
        QTest::addColumn<QString>("window");
        for (const char *window : {"main", "app details", "device details", "comparison",
                                   "snapshot editor", "store country", "welcome", "device chooser"})
            QTest::newRow(window) << QString::fromLatin1(window);
    }

    void accessibleNames()
    {
        QFETCH(QString, window);
        QVERIFY(launch(april, {april, march}));
        if (window == u"device details") {
            QVERIFY(launch(wornScan(), {wornScan(), march}));
            m_delegate->window()->findChild<QPushButton *>(u"deviceDetails"_s)->click();
            QTRY_VERIFY(m_delegate->deviceDetailsWindow());
        } else if (window == u"app details") {
            control<QTableView>(u"inventory"_s)->selectRow(0);
            m_delegate->showSelectedAppDetails();
        } else if (window == u"comparison") {
            m_delegate->compareScans();
        } else if (window == u"snapshot editor") {
            m_delegate->editSnapshot();
        } else if (window == u"store country") {
            m_delegate->chooseStoreCountry();
        } else if (window == u"welcome") {
            m_delegate->showGettingStarted();
        } else if (window == u"device chooser") {
            auto *chooser = new DeviceChooser(
                {{u"00008110-000A"_s, u"Ann\u2019s iPhone"_s, {}}, {u"00008110-000B"_s, {}, {}}},
                QString(), m_delegate->window());
            chooser->open();
        }
        QTest::qWait(50);
        QStringList unnamed;
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (!top->isVisible())
                continue;
            for (QWidget *widget : top->findChildren<QWidget *>()) {
                if (!widget->isVisibleTo(top) || !(widget->focusPolicy() & Qt::TabFocus))
                    continue;
                QAccessibleInterface *face = QAccessible::queryAccessibleInterface(widget);
                if (!face || face->text(QAccessible::Name).trimmed().isEmpty())
                    unnamed.append(QString::fromLatin1(widget->metaObject()->className()) + u' ' +
                                   widget->objectName());
            }
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u", "_s)));
    }

    // The keyboard alone: keys in, where the focus goes or what opens.
    void keyboard_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("Tab leaves the table")
            << u"table"_s << QKeySequence(Qt::Key_Tab) << u"focus left the table"_s;
        QTest::newRow("Shift+Tab leaves the table")
            << u"table"_s << QKeySequence(Qt::SHIFT | Qt::Key_Backtab) << u"focus left the table"_s;
        QTest::newRow("Return opens App Details")
            << u"table"_s << QKeySequence(Qt::Key_Return) << u"app details"_s;
        QTest::newRow("Escape closes the welcome")
            << u"welcome"_s << QKeySequence(Qt::Key_Escape) << u"no alert"_s;
        QTest::newRow("Tab leaves the notes")
            << u"notes"_s << QKeySequence(Qt::Key_Tab) << u"focus left the notes"_s;
    }

    void keyboard()
    {
        QFETCH(QString, start);
        QFETCH(QKeySequence, key);
        QFETCH(QString, outcome);
        QVERIFY(launch(april, {april, march}));
        QWidget *focused = nullptr;
        if (start == u"table") {
            auto *table = control<QTableView>(u"inventory"_s);
            table->setCurrentIndex(table->model()->index(0, 0));
            focused = table;
        } else if (start == u"welcome") {
            m_delegate->showGettingStarted();
            QTRY_VERIFY(alert());
            focused = alert();
        } else {
            m_delegate->editSnapshot();
            QTRY_VERIFY(editor() && editor()->isVisible());
            focused = child<QPlainTextEdit>(editor(), u"snapshotNotes"_s);
        }
        focused->activateWindow();
        focused->setFocus();
        QTRY_VERIFY(focused->hasFocus());
        QTest::keySequence(QApplication::focusWidget(), key);
        if (outcome.startsWith(u"focus left"_s))
            QTRY_VERIFY(!focused->hasFocus() && QApplication::focusWidget());
        else if (outcome == u"app details")
            QTRY_VERIFY(m_delegate->appDetailsWindow() &&
                        m_delegate->appDetailsWindow()->isVisible());
        else
            QTRY_VERIFY(!alert());
    }

    // --- The keyboard alone, through every main flow ----------------------------------------

    // The device line counts the warnings; its button and Ctrl+Shift+I open the sheet, which
    // says them first; a scan without facts offers no sheet.
    void deviceDetails()
    {
        QVERIFY(launch(wornScan(), {wornScan(), march}));
        auto *button = control<QPushButton>(u"deviceDetails"_s);
        QCOMPARE(button->text(), u"2 warnings \u2014 Details\u2026"_s);
        QCOMPARE(button->accessibleName(), u"Device Details, 2 warnings"_s);
        QVERIFY(button->isVisible() && button->isEnabled());
        m_delegate->window()->activateWindow();
        QTest::keySequence(m_delegate->window(), QKeySequence(u"Ctrl+Shift+I"_s));
        QTRY_VERIFY(m_delegate->deviceDetailsWindow() &&
                    m_delegate->deviceDetailsWindow()->isVisible());
        auto *sheet = qobject_cast<DeviceSheetWindow *>(m_delegate->deviceDetailsWindow());
        QVERIFY(sheet);
        const QStringList lines = sheet->detailsText().split(u'\n');
        QCOMPARE(lines.mid(3, 3),
                 (QStringList{u"2 warnings"_s,
                              u"! Battery health is 70% (an estimate): the battery is worn and "
                              "may need replacing."_s,
                              u"! Computer backups are not encrypted."_s}));
        QVERIFY(lines.contains(u"Health: 70% (estimate)"_s));
        sheet->reject();
        QTRY_VERIFY(!m_delegate->deviceDetailsWindow());

        choose(picker(), entry(march).title());
        QVERIFY(button->isHidden());
        QVERIFY(!command(m_delegate->window(), u"Device Details\u2026"_s)->isEnabled());
    }

    void keyboardOnlyRun()
    {
        QVERIFY(launch(april, {april, march}));
        QMainWindow *window = m_delegate->window();
        window->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), window);

        // Filter, then the details of the one app left, and back.
        press(QKeySequence::Find);
        QTRY_COMPARE(QApplication::focusWidget(), control<QLineEdit>(u"search"_s));
        QTest::keyClicks(QApplication::focusWidget(), u"widg"_s);
        QTRY_COMPARE(m_delegate->visibleRows().size(), 1);
        QVERIFY(tabTo(u"inventory"_s));
        press(Qt::Key_Down);
        press(Qt::Key_Return);
        QTRY_VERIFY(m_delegate->appDetailsWindow() && m_delegate->appDetailsWindow()->isVisible());
        QCOMPARE(child<QLabel>(m_delegate->appDetailsWindow(), u"appName"_s)->text(), u"Widgets"_s);
        QTRY_COMPARE(QApplication::activeWindow(), m_delegate->appDetailsWindow());
        press(Qt::Key_Escape);
        QTRY_VERIFY(!m_delegate->appDetailsWindow() ||
                    !m_delegate->appDetailsWindow()->isVisible());
        focusReturnsTo(window);
        press(QKeySequence::Find);
        press(QKeySequence::SelectAll);
        press(Qt::Key_Backspace);
        QTRY_VERIFY(m_delegate->visibleRows().size() > 1);

        // Every export, by its key, typed into the save panel.
        const QList<std::pair<QKeySequence, QString>> exports{
            {QKeySequence(u"Ctrl+E"_s), u"keys.csv"_s},
            {QKeySequence(u"Ctrl+Shift+E"_s), u"keys.xlsx"_s},
            {QKeySequence(u"Ctrl+P"_s), u"keys.pdf"_s}};
        for (const auto &[key, file] : exports) {
            press(key);
            typeInSavePanel(m_root->filePath(file));
            QTRY_VERIFY2(QFileInfo(m_root->filePath(file)).size() > 0, qPrintable(file));
            focusReturnsTo(window);
        }

        // The history: another scan, then its name and notes.
        QVERIFY(tabTo(u"historyPicker"_s));
        press(Qt::Key_Down);
        // The shown scan is April's; the next one down is March.
        QTRY_COMPARE(m_delegate->currentInventory().scanID, march.scanID);
        QVERIFY(tabTo(u"editSnapshot"_s));
        press(Qt::Key_Space);
        QTRY_VERIFY(editor() && editor()->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), child<QLineEdit>(editor(), u"snapshotName"_s));
        QTest::keyClicks(QApplication::focusWidget(), u"Before the update"_s);
        press(Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), u"Typed, never clicked"_s);
        press(Qt::Key_Tab);
        QTRY_COMPARE(qobject_cast<QPushButton *>(QApplication::focusWidget())->text(), u"Save"_s);
        press(Qt::Key_Space);
        QTRY_COMPARE(m_delegate->currentInventory().snapshotName,
                     std::optional(u"Before the update"_s));
        QCOMPARE(m_delegate->currentInventory().snapshotNotes,
                 std::optional(u"Typed, never clicked"_s));
        focusReturnsTo(window);

        // Compare: swap, export, close.
        QVERIFY(tabTo(u"compare"_s));
        press(Qt::Key_Space);
        QTRY_VERIFY(m_delegate->comparisonWindow() &&
                    QApplication::activeWindow() == m_delegate->comparisonWindow());
        QPointer<ComparisonWindow> comparison = m_delegate->comparisonWindow();
        auto *scanA = child<QComboBox>(comparison, u"scanA"_s);
        const int before = scanA->currentIndex();
        press(QKeySequence(u"Ctrl+Shift+S"_s));
        QTRY_VERIFY(scanA->currentIndex() != before);
        press(QKeySequence(u"Ctrl+P"_s));
        typeInSavePanel(m_root->filePath(u"comparison.pdf"_s));
        QTRY_VERIFY(QFileInfo(m_root->filePath(u"comparison.pdf"_s)).size() > 0);
        focusReturnsTo(comparison);
        press(QKeySequence::Close);
        QTRY_VERIFY(!comparison || !comparison->isVisible());
        focusReturnsTo(window);
    }
};

QTEST_MAIN(TestHistoryWindow)
#include "tst_historywindow.moc"
