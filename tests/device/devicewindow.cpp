// The window's Scan Device with the real device tools, run by tst_device_emulator.py under the
// emulator. QUILLET_RESOURCES names the build's resources, QUILLET_LOOKUP_URL a lookup service
// that answers nothing, QUILLET_EXPECTED the status line the scan must end on and
// QUILLET_EXPECTED_APPS the names the table must then show, sorted, one a line.
#include "app/AppDelegate.h"
#include "app/ElidedLabel.h"
#include "common/Locations.h"
#include "scanning/Column.h"

#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class DeviceWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void scanDevice();
};

void DeviceWindow::scanDevice()
{
    QTemporaryDir config;
    QTemporaryDir data;
    QVERIFY(config.isValid() && data.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QCoreApplication::setOrganizationName(u"Marrowby"_s);
    QCoreApplication::setApplicationName(u"Quillet"_s);
    QSettings().setValue(u"completedWelcome"_s, true);
    Locations::setStorage(data.path());
    Locations::setResources(qEnvironmentVariable("QUILLET_RESOURCES"));
    Locations::setLookupURL(QUrl(qEnvironmentVariable("QUILLET_LOOKUP_URL")));

    AppDelegate delegate;
    delegate.launch();
    QVERIFY(QTest::qWaitForWindowExposed(delegate.window()));
    QTRY_VERIFY(!delegate.isBusy());
    delegate.scanDevice();
    QTRY_VERIFY_WITH_TIMEOUT(!delegate.isBusy(), 60'000);

    const QString expected = qEnvironmentVariable("QUILLET_EXPECTED");
    QCOMPARE(delegate.window()->findChild<ElidedLabel *>(u"status"_s)->text(), expected);
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

QTEST_MAIN(DeviceWindow)
#include "devicewindow.moc"
