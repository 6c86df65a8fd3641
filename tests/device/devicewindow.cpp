// The window's scans with the real device tools, run by tst_device_emulator.py under the
// emulator, one test function per emulator configuration. QUILLET_RESOURCES names the build's
// resources and QUILLET_LOOKUP_URL a lookup service that answers nothing. scanDevice expects
// QUILLET_EXPECTED, the status line the scan must end on, and QUILLET_EXPECTED_APPS, the names
// the table must then show, sorted, one a line.
#include "app/AppDelegate.h"
#include "app/ElidedLabel.h"
#include "common/Locations.h"
#include "scanning/Column.h"

#include <QAction>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString ann = u"00008030-00011A2B3C4D5E6F"_s;
const QString ben = u"00008030-00021A2B3C4D5E6F"_s;

QString status(const AppDelegate &delegate)
{
    return delegate.window()->findChild<ElidedLabel *>(u"status"_s)->text();
}

QStringList scannedDevices(const AppDelegate &delegate)
{
    QStringList devices;
    for (const SavedScan &scan : delegate.savedScans())
        devices.append(scan.inventory.deviceID.value_or(QString()));
    devices.sort();
    return devices;
}

QPushButton *button(QWidget *sheet, const QString &text)
{
    for (QPushButton *button : sheet->findChildren<QPushButton *>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

} // namespace

class DeviceWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void scanDevice();
    void chooseDevices_data();
    void chooseDevices();
    void scanWhenConnected();
    void scanWhileAnotherHangs();

private:
    // A window over a data folder and settings of its own, its saved inventory loaded.
    void launch();
    QAction *scanWhenConnectedAction() const;

    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<AppDelegate> m_delegate;
};

void DeviceWindow::init()
{
    m_config = std::make_unique<QTemporaryDir>();
    m_data = std::make_unique<QTemporaryDir>();
    QVERIFY(m_config->isValid() && m_data->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config->path()));
    QCoreApplication::setOrganizationName(u"Marrowby"_s);
    QCoreApplication::setApplicationName(u"Quillet"_s);
    QSettings().setValue(u"completedWelcome"_s, true);
    Locations::setStorage(m_data->path());
    Locations::setResources(qEnvironmentVariable("QUILLET_RESOURCES"));
    Locations::setLookupURL(QUrl(qEnvironmentVariable("QUILLET_LOOKUP_URL")));
}

void DeviceWindow::cleanup()
{
    m_delegate.reset();
}

void DeviceWindow::launch()
{
    m_delegate.reset();
    m_delegate = std::make_unique<AppDelegate>();
    m_delegate->launch();
    QVERIFY(QTest::qWaitForWindowExposed(m_delegate->window()));
    QTRY_VERIFY(!m_delegate->isBusy());
}

void DeviceWindow::scanDevice()
{
    launch();
    AppDelegate &delegate = *m_delegate;
    delegate.scanDevice();
    QTRY_VERIFY_WITH_TIMEOUT(!delegate.isBusy(), 60'000);

    const QString expected = qEnvironmentVariable("QUILLET_EXPECTED");
    QCOMPARE(status(delegate), expected);
    QStringList names;
    for (const Row &row : delegate.visibleRows())
        names.append(row.value(Column::appName));
    names.sort();
    QCOMPARE(names.join(u'\n'), qEnvironmentVariable("QUILLET_EXPECTED_APPS"));
    // A failed scan says the same in its alert.
    if (names.isEmpty()) {
        const QList<QMessageBox *> alerts = delegate.window()->findChildren<QMessageBox *>();
        QCOMPARE(alerts.size(), 1);
        QCOMPARE(alerts[0]->informativeText(), expected);
    }
}

// Two devices: Ann's iPad, quick to list, and Ben's iPhone, whose listing takes seconds.
void DeviceWindow::chooseDevices_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QStringList>("scanned");
    QTest::addColumn<QString>("ending");
    QTest::newRow("scan one") << u"Scan"_s << QStringList{ben}
                              << u"Scan complete. 40 apps; 0 categories available. Saved on "
                                 "this computer."_s;
    QTest::newRow("scan all") << u"Scan All"_s << QStringList{ann, ben}
                              << u"Scanned 2 of 2 devices; each scan is saved in the history: "
                                 "Ann's iPad and Ben's iPhone."_s;
    QTest::newRow("cancel midway")
        << u"Cancel midway"_s << QStringList{ann}
        << u"Scan cancelled after 1 of 2 devices. The finished scans are saved: Ann's iPad."_s;
    QTest::newRow("cancel the choice") << u"Cancel"_s << QStringList()
                                       << u"Scan cancelled. Your previous inventory is "
                                          "preserved."_s;
}

void DeviceWindow::chooseDevices()
{
    QFETCH(QString, choice);
    QFETCH(QStringList, scanned);
    QFETCH(QString, ending);
    launch();
    AppDelegate &delegate = *m_delegate;
    delegate.scanDevice();
    QDialog *chooser = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT(
        (chooser = delegate.window()->findChild<QDialog *>(u"deviceChooser"_s)), 20'000);
    auto *list = chooser->findChild<QTreeWidget *>(u"devices"_s);
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(0)->text(0), u"Ann's iPad"_s);
    QCOMPARE(list->topLevelItem(1)->text(3), u"\u2026"_s + ben.right(13));
    QCOMPARE(list->currentItem(), list->topLevelItem(0));

    if (choice == u"Scan")
        list->setCurrentItem(list->topLevelItem(1));
    button(chooser, choice.startsWith(u"Cancel "_s) ? u"Scan All"_s : choice)->click();
    if (choice == u"Cancel midway") {
        QTRY_VERIFY_WITH_TIMEOUT(status(delegate).contains(u"Ben's iPhone (2 of 2)"_s), 20'000);
        QVERIFY(delegate.isBusy());
        delegate.scanDevice();
    }
    QTRY_VERIFY_WITH_TIMEOUT(!delegate.isBusy(), 60'000);
    QCOMPARE(status(delegate), ending);
    QCOMPARE(scannedDevices(delegate), scanned);

    // The device scanned last comes first next time.
    if (!scanned.isEmpty()) {
        delegate.scanDevice();
        QTRY_VERIFY_WITH_TIMEOUT(
            (chooser = delegate.window()->findChild<QDialog *>(u"deviceChooser"_s)), 20'000);
        list = chooser->findChild<QTreeWidget *>(u"devices"_s);
        QCOMPARE(list->currentItem()->text(0),
                 scanned.last() == ann ? u"Ann's iPad"_s : u"Ben's iPhone"_s);
    }
}

// Ann's iPad is connected from the start; Ben's iPhone is plugged in later, locked.
void DeviceWindow::scanWhenConnected()
{
    launch();
    AppDelegate &delegate = *m_delegate;
    QAction *toggle = scanWhenConnectedAction();
    QVERIFY(toggle && toggle->isCheckable() && !toggle->isChecked());
    toggle->trigger();
    QVERIFY(delegate.isWatchingDevices());
    QVERIFY(QSettings().value(u"scanDevicesWhenConnected"_s).toBool());

    QTRY_COMPARE_WITH_TIMEOUT(scannedDevices(delegate), QStringList{ann}, 20'000);
    // At the end of its run, whether or not Ann's iPad was still being scanned when it came.
    QTRY_VERIFY_WITH_TIMEOUT(
        status(delegate).contains(u"The device is locked"_s) &&
            status(delegate).endsWith(u"It is scanned as soon as it lets this computer in."_s),
        20'000);
    QTRY_COMPARE_WITH_TIMEOUT(scannedDevices(delegate), (QStringList{ann, ben}), 30'000);
    QTRY_VERIFY(!delegate.isBusy());
    QCOMPARE(status(delegate),
             u"Ben's iPhone was connected. Scan complete. 2 apps; 0 categories available. Saved "
             "on this computer."_s);
    // Both stay connected: neither is scanned again.
    QTest::qWait(4'500);
    QCOMPARE(delegate.savedScans().size(), 2);

    // The next window starts watching, and its menu says so.
    launch();
    QVERIFY(m_delegate->isWatchingDevices());
    QVERIFY(scanWhenConnectedAction()->isChecked());
}

// Ann's iPad never finishes listing its apps; Ben's iPhone, plugged in later, is scanned all the
// same, and Cancel Scan stops the scan that hangs.
void DeviceWindow::scanWhileAnotherHangs()
{
    launch();
    AppDelegate &delegate = *m_delegate;
    scanWhenConnectedAction()->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(scannedDevices(delegate), QStringList{ben}, 30'000);
    QTRY_COMPARE(status(delegate),
                 u"Ben's iPhone was connected. Scan complete. 2 apps; 0 categories available. "
                 "Saved on this computer. Still scanning 1 other device\u2026"_s);
    QVERIFY(delegate.isBusy());
    delegate.scanDevice();
    QTRY_VERIFY_WITH_TIMEOUT(!delegate.isBusy(), 10'000);
    QCOMPARE(status(delegate),
             u"Scan cancelled after 1 of 2 devices. The finished scans are saved: Ben's iPhone."_s);
}

QAction *DeviceWindow::scanWhenConnectedAction() const
{
    for (QAction *action : m_delegate->window()->findChildren<QAction *>()) {
        if (action->text() == u"Scan Devices When Connected")
            return action;
    }
    return nullptr;
}

QTEST_MAIN(DeviceWindow)
#include "devicewindow.moc"
