#include "common/PersonalIdentifiers.h"
#include "scanning/Inventory.h"
#include "scanning/PropertyList.h"
#include "scanning/device/DeviceDescription.h"
#include "scanning/device/DeviceFacts.h"
#include "scanning/device/DeviceWarnings.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

QVariantMap plist(const QByteArray &entries)
{
    return PropertyList::parse("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">"
                               "<dict>" +
                                   entries + "</dict></plist>",
                               u"test"_s)
        .toMap();
}

QDateTime utc(int year, int month, int day)
{
    return QDateTime(QDate(year, month, day), QTime(12, 0), QTimeZone::utc());
}

// A healthy, managed iPhone: nothing to warn of.
DeviceFacts healthy()
{
    DeviceFacts facts;
    facts.productVersion = u"18.1"_s;
    facts.totalDataCapacity = 100'000'000'000;
    facts.totalDataAvailable = 40'000'000'000;
    facts.batteryDesignCapacity = 3000;
    facts.batteryFullChargeCapacity = 2850;
    facts.batteryCycles = 120;
    facts.passcodeSet = true;
    facts.backupsEncrypted = true;
    facts.cloudBackup = true;
    facts.lastCloudBackup = utc(2026, 12, 1);
    facts.findMy = true;
    facts.developerMode = false;
    return facts;
}

QStringList keys(const QList<DeviceWarnings::Warning> &warnings)
{
    QStringList result;
    for (const DeviceWarnings::Warning &warning : warnings)
        result.append(warning.key);
    return result;
}

} // namespace

class TestDeviceFacts : public QObject {
    Q_OBJECT

    QTemporaryDir m_config;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        QCoreApplication::setOrganizationName(u"Marrowby"_s);
        QCoreApplication::setApplicationName(u"Quillet"_s);
    }

    // What identifies a person's phone is kept and shown only once the user asks for it.
    void personalIdentifiers()
    {
        DeviceFacts facts;
        facts.take(QString(),
                   plist("<key>ProductType</key><string>iPhone14,2</string>"
                         "<key>InternationalMobileEquipmentIdentity</key>"
                         "<string>356938035643809</string>"
                         "<key>PhoneNumber</key><string>+49 170 1234567</string>"
                         "<key>WiFiAddress</key><string>3c:22:fb:de:30:1e</string>"));
        QCOMPARE(facts.imei, std::optional(u"356938035643809"_s));
        DeviceFacts without = facts;
        without.imei.reset();
        without.phoneNumber.reset();
        without.wifiAddress.reset();
        QCOMPARE(facts.shareable(), without);
        PersonalIdentifiers::save(true);
        QCOMPARE(facts.shareable(), facts);
        PersonalIdentifiers::save(false);
        QCOMPARE(facts.shareable(), without);
        // For one run, whatever the setting says.
        PersonalIdentifiers::recordForThisRun();
        QCOMPARE(facts.shareable(), facts);
    }

    // What the health helper prints, taken as facts: the measured capacity before the nominal,
    // nonsense left out, the profiles by name, and why a part is missing.
    void healthAnswer_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<DeviceFacts>("expected");
        DeviceFacts worn;
        worn.batteryCycles = 402;
        worn.batteryDesignCapacity = 3227;
        worn.batteryFullChargeCapacity = 2581;
        QTest::newRow("worn battery")
            << QByteArray("<key>Battery</key><dict><key>CycleCount</key><integer>402</integer>"
                          "<key>DesignCapacity</key><integer>3227</integer>"
                          "<key>NominalChargeCapacity</key><integer>2600</integer>"
                          "<key>AppleRawMaxCapacity</key><integer>2581</integer></dict>")
            << worn;
        DeviceFacts nominal;
        nominal.batteryFullChargeCapacity = 2600;
        QTest::newRow("only the nominal capacity")
            << QByteArray("<key>Battery</key><dict>"
                          "<key>NominalChargeCapacity</key><integer>2600</integer></dict>")
            << nominal;
        DeviceFacts managed;
        managed.supervised = true;
        managed.supervisingOrganization = u"Acme Schools"_s;
        managed.profiles = QStringList{u"Wi-Fi (Acme Schools)"_s, u"com.example.vpn"_s};
        QTest::newRow("supervised with two profiles")
            << QByteArray("<key>CloudConfiguration</key><dict><key>IsSupervised</key><true/>"
                          "<key>OrganizationName</key><string>Acme Schools</string></dict>"
                          "<key>Profiles</key><array>"
                          "<dict><key>Identifier</key><string>com.example.wifi</string>"
                          "<key>DisplayName</key><string>Wi-Fi</string>"
                          "<key>Organization</key><string>Acme Schools</string></dict>"
                          "<dict><key>Identifier</key><string>com.example.vpn</string></dict>"
                          "</array>")
            << managed;
        DeviceFacts refused;
        refused.batteryProblem = u"the device refused the diagnostics service"_s;
        refused.profiles = QStringList();
        QTest::newRow("refused, no profiles")
            << QByteArray("<key>Problems</key><dict><key>Battery</key>"
                          "<string>the device refused the diagnostics service</string></dict>"
                          "<key>Profiles</key><array/>")
            << refused;
        QTest::newRow("nonsense")
            << QByteArray("<key>Battery</key><dict><key>CycleCount</key><integer>-3</integer>"
                          "<key>DesignCapacity</key><string>3000</string>"
                          "<key>AppleRawMaxCapacity</key><integer>99999999</integer></dict>"
                          "<key>CloudConfiguration</key><dict><key>IsSupervised</key>"
                          "<string>yes</string><key>OrganizationName</key>"
                          "<string>Evil\u202Eorg</string></dict>"
                          "<key>Profiles</key><string>not a list</string>")
            << DeviceFacts();
    }
    void healthAnswer()
    {
        QFETCH(QByteArray, answer);
        QFETCH(DeviceFacts, expected);
        DeviceFacts facts;
        facts.take(DeviceFacts::healthDomain, plist(answer));
        QCOMPARE(facts, expected);
        // Kept with a scan, every kind of fact reads back as it was.
        Inventory inventory;
        inventory.setDeviceFacts(facts);
        QCOMPARE(Inventory::fromJson(inventory.toJson(), u"x.json"_s).deviceFacts(), expected);
    }

    void lockdownDomains()
    {
        DeviceFacts facts;
        facts.take(u"com.apple.mobile.backup"_s,
                   plist("<key>WillEncrypt</key><false/><key>CloudBackupEnabled</key><true/>"
                         "<key>LastCloudBackupDate</key><date>2026-11-30T08:00:00Z</date>"
                         "<key>LastiTunesBackupDate</key><date>1990-01-01T00:00:00Z</date>"));
        facts.take(u"com.apple.fmip"_s, plist("<key>IsAssociated</key><true/>"));
        // Free space is what is free now, not the larger total iOS 17 reports beside it.
        facts.take(u"com.apple.disk_usage"_s,
                   plist("<key>TotalDataAvailable</key><integer>69700000000</integer>"
                         "<key>AmountDataAvailable</key><integer>30700000000</integer>"));
        QCOMPARE(facts.totalDataAvailable, std::optional(qint64(30'700'000'000)));
        facts.take(QString(),
                   plist("<key>PasswordProtected</key><false/>"
                         "<key>ModelNumber</key><string>MLTT3</string>"));
        QCOMPARE(facts.backupsEncrypted, std::optional(false));
        QCOMPARE(facts.cloudBackup, std::optional(true));
        QCOMPARE(facts.lastCloudBackup, std::optional(utc(2026, 11, 30).addSecs(-4 * 3600)));
        // Before there were iPhones: damage, not a backup.
        QCOMPARE(facts.lastComputerBackup, std::nullopt);
        QCOMPARE(facts.findMy, std::optional(true));
        QCOMPARE(facts.passcodeSet, std::optional(false));
        QCOMPARE(facts.modelNumber, std::optional(u"MLTT3"_s));
        QVERIFY(DeviceFacts::domains().contains(u"com.apple.security.mac.amfi"_s));
        QVERIFY(!DeviceFacts::domains().contains(DeviceFacts::healthDomain));
    }

    void warnings_data()
    {
        QTest::addColumn<DeviceFacts>("facts");
        QTest::addColumn<QString>("newestSystem");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("healthy") << healthy() << u"18.1"_s << QStringList();
        DeviceFacts worn = healthy();
        worn.batteryFullChargeCapacity = 2370; // 79%
        QTest::newRow("worn battery") << worn << u""_s << QStringList{u"batteryWorn"_s};
        DeviceFacts exactly = healthy();
        exactly.batteryFullChargeCapacity = 2400; // 80%
        QTest::newRow("80% is not worn") << exactly << u""_s << QStringList();
        DeviceFacts open = healthy();
        open.passcodeSet = false;
        open.backupsEncrypted = false;
        open.findMy = false;
        open.developerMode = true;
        QTest::newRow("unsafe") << open << u""_s
                                << QStringList{u"noPasscode"_s, u"backupsNotEncrypted"_s,
                                               u"findMyOff"_s, u"developerModeOn"_s};
        DeviceFacts stale = healthy();
        stale.lastCloudBackup = utc(2026, 10, 1);
        stale.lastComputerBackup = utc(2026, 9, 1);
        QTest::newRow("last backup 70 days before")
            << stale << u""_s << QStringList{u"noRecentBackup"_s};
        DeviceFacts never = healthy();
        never.lastCloudBackup.reset();
        QTest::newRow("no backup known") << never << u""_s << QStringList{u"noRecentBackup"_s};
        DeviceFacts full = healthy();
        full.totalDataAvailable = 9'000'000'000;
        QTest::newRow("91% full") << full << u"18.1"_s << QStringList{u"storageAlmostFull"_s};
        QTest::newRow("behind the newest")
            << healthy() << u"18.10"_s << QStringList{u"systemOutdated"_s};
        // A scan from before these facts has nothing to warn of.
        QTest::newRow("old scan") << DeviceFacts() << u"18.1"_s << QStringList();
    }
    void warnings()
    {
        QFETCH(DeviceFacts, facts);
        QFETCH(QString, newestSystem);
        QFETCH(QStringList, expected);
        const DeviceWarnings::Context context{
            utc(2026, 12, 10), newestSystem.isEmpty() ? std::nullopt : std::optional(newestSystem)};
        QCOMPARE(keys(DeviceWarnings::of(facts, context)), expected);
    }

    void newestSystem()
    {
        DeviceFacts a, b, c;
        a.productVersion = u"17.10"_s;
        b.productVersion = u"17.9.1"_s;
        c.productVersion = u"garbage"_s;
        QCOMPARE(DeviceWarnings::newestSystem({b, c, a, DeviceFacts()}), std::optional(u"17.10"_s));
        QCOMPARE(DeviceWarnings::newestSystem({}), std::nullopt);
    }

    void changes_data()
    {
        QTest::addColumn<DeviceFacts>("b");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("nothing") << healthy() << QStringList();
        DeviceFacts worn = healthy();
        worn.batteryFullChargeCapacity = 2610;
        worn.batteryCycles = 402;
        QTest::newRow("battery wear")
            << worn
            << QStringList{u"battery health 95% \u2192 87%"_s, u"battery cycles 120 \u2192 402"_s};
        DeviceFacts unsafe = healthy();
        unsafe.backupsEncrypted = false;
        unsafe.passcodeSet = false;
        QTest::newRow("encryption off, passcode removed")
            << unsafe
            << QStringList{u"passcode set \u2192 not set"_s,
                           u"computer backups encrypted \u2192 not encrypted"_s};
        DeviceFacts managed = healthy();
        managed.supervised = true;
        QTest::newRow("unknown before: no change line") << managed << QStringList();
    }
    void changes()
    {
        QFETCH(DeviceFacts, b);
        QFETCH(QStringList, expected);
        QCOMPARE(DeviceFacts::changes(healthy(), b), expected);
    }

    void profileChanges()
    {
        DeviceFacts a, b;
        a.profiles = QStringList{u"Wi-Fi (Acme)"_s, u"VPN (Acme)"_s};
        b.profiles = QStringList{u"Wi-Fi (Acme)"_s, u"Mail (Acme)"_s};
        QCOMPARE(DeviceDescription::changes(a, b),
                 (QStringList{u"profile added: Mail (Acme)"_s, u"profile removed: VPN (Acme)"_s}));
    }

    // The sheet: groups in order, the used storage split by the apps, and never an "other"
    // below zero when the apps claim more than is used.
    void sheet()
    {
        const DeviceFacts facts = healthy();
        const QList<DeviceDescription::Section> sections =
            DeviceDescription::sheet(facts, 70'000'000'000);
        QStringList titles;
        for (const DeviceDescription::Section &section : sections)
            titles.append(section.title);
        QCOMPARE(
            titles,
            (QStringList{u"Device"_s, u"Storage"_s, u"Battery"_s, u"Security & management"_s}));
        QCOMPARE(DeviceDescription::storageBreakdown(facts, 70'000'000'000),
                 u"Apps 60.0 GB \u00B7 Other 0.0 GB \u00B7 Free 40.0 GB"_s);
        QCOMPARE(sections[2].lines.value(0), (std::pair(u"Health"_s, u"95% (estimate)"_s)));
    }
};

QTEST_MAIN(TestDeviceFacts)
#include "tst_devicefacts.moc"
