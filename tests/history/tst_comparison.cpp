#include "common/DecimalText.h"
#include "history/ScanComparison.h"
#include "scanning/Column.h"
#include "scanning/device/DeviceFacts.h"

#include <QTest>

#include <clocale>
#include <cstdio>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

// A reference: the texts are made when their own file initialises.
const QString &noChange = ScanDifference::noMeasuredChange;

// A null text leaves the cell out; an empty one is a blank cell.
Row app(const QString &name, const QString &bundle, const QString &version = QString(),
        const QString &totalMB = QString(), const QString &category = QString())
{
    Row row;
    const std::pair<QString, QString> cells[] = {{Column::appName, name},
                                                 {Column::bundleIdentifier, bundle},
                                                 {Column::version, version},
                                                 {Column::totalMB, totalMB},
                                                 {Column::category, category}};
    for (const auto &[key, value] : cells) {
        if (!value.isNull())
            row.insert(key, value);
    }
    return row;
}

Inventory scan(const QList<Row> &rows, const QString &deviceID = QString())
{
    Inventory inventory;
    inventory.rows = rows;
    if (!deviceID.isNull())
        inventory.deviceID = deviceID;
    return inventory;
}

QStringList bundles(const ScanComparison &comparison)
{
    QStringList result;
    for (const ScanDifference &difference : comparison.differences)
        result.append(difference.bundle);
    return result;
}

} // namespace

char *toString(const ScanDifference &d)
{
    return QTest::toString(
        QStringList{d.name, d.bundle, d.category, d.status, d.versionA, d.versionB, d.sizeDelta}
            .join(u" | "_s));
}

class TestComparison : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void appInBoth_data();
    void appInBoth();
    void offloadAndSource_data();
    void offloadAndSource();
    void appInOne_data();
    void appInOne();
    void selfComparison();
    void rowsThatTakeNoPart_data();
    void rowsThatTakeNoPart();
    void repeatedIdentifier();
    void nameAndCategoryComeFromTheShownScan();
    void order_data();
    void order();
    void equalNamesKeepScanOrder();
    void rescan();
    void decimalsAsTheCLibraryWritesThem_data();
    void decimalsAsTheCLibraryWritesThem();
    void warningChanges_data();
    void warningChanges();
};

void TestComparison::initTestCase()
{
    // The tables below tell a blank cell from a missing one by this.
    QVERIFY(!u""_s.isNull());
}

void TestComparison::appInBoth_data()
{
    QTest::addColumn<QString>("versionA");
    QTest::addColumn<QString>("sizeA");
    QTest::addColumn<QString>("versionB");
    QTest::addColumn<QString>("sizeB");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("delta");
    const QString none;
    const QString storage = ScanDifference::storageChanged;
    const QString version = ScanDifference::versionChanged;

    QTest::newRow("unchanged") << u"1.0"_s << u"10.0"_s << u"1.0"_s << u"10.0"_s << noChange
                               << u"+0.00"_s;
    QTest::newRow("grew a hundredth")
        << u"1.0"_s << u"10.0"_s << u"1.0"_s << u"10.01"_s << storage << u"+0.01"_s;
    QTest::newRow("grew under half a hundredth")
        << u"1.0"_s << u"10.0"_s << u"1.0"_s << u"10.004"_s << noChange << u"+0.00"_s;
    QTest::newRow("shrank under half a hundredth")
        << u"1.0"_s << u"10.004"_s << u"1.0"_s << u"10.0"_s << noChange << u"-0.00"_s;
    QTest::newRow("grew by a tie, rounded as C rounds it")
        << u"1.0"_s << u"1.0"_s << u"1.0"_s << u"1.125"_s << storage << u"+0.12"_s;
    QTest::newRow("shrank") << u"1.0"_s << u"12.5"_s << u"1.0"_s << u"10.25"_s << storage
                            << u"-2.25"_s;
    QTest::newRow("upgraded and grew")
        << u"1.0"_s << u"10"_s << u"1.1"_s << u"13"_s << version << u"+3.00"_s;
    QTest::newRow("downgraded") << u"2.0"_s << u"10"_s << u"1.9"_s << u"10"_s << version
                                << u"+0.00"_s;
    QTest::newRow("longer version text")
        << u"1.0"_s << u"5"_s << u"1.0.0"_s << u"5"_s << version << u"+0.00"_s;
    QTest::newRow("version letter case")
        << u"1.0b"_s << u"5"_s << u"1.0B"_s << u"5"_s << version << u"+0.00"_s;
    QTest::newRow("version blank in B")
        << u"2.0"_s << u"5"_s << u""_s << u"5"_s << noChange << u"+0.00"_s;
    QTest::newRow("version missing in A")
        << none << u"5"_s << u"2.0"_s << u"6"_s << storage << u"+1.00"_s;
    QTest::newRow("version changed, sizes unknown")
        << u"1.0"_s << u""_s << u"1.1"_s << none << version << u""_s;
    QTest::newRow("size blank in B")
        << u"1.0"_s << u"12.5"_s << u"1.0"_s << u""_s << noChange << u""_s;
    QTest::newRow("size missing in A")
        << u"1.0"_s << none << u"1.0"_s << u"12.5"_s << noChange << u""_s;
    // Sizes are read as C reads a number, whole and without padding.
    for (const char *odd : {" 12.5", "12.5 ", "12,5", "12.5 MB", "inf", "nan", "1e400", "+-5"}) {
        QTest::addRow("size \"%s\"", odd)
            << u"1.0"_s << QString::fromLatin1(odd) << u"1.0"_s << u"14"_s << noChange << u""_s;
    }
    QTest::newRow("size in exponent form")
        << u"1.0"_s << u"1.25e1"_s << u"1.0"_s << u"12.5"_s << noChange << u"+0.00"_s;
    QTest::newRow("size with a plus sign")
        << u"1.0"_s << u"+10"_s << u"1.0"_s << u"10.5"_s << storage << u"+0.50"_s;
}

void TestComparison::appInBoth()
{
    QFETCH(QString, versionA);
    QFETCH(QString, sizeA);
    QFETCH(QString, versionB);
    QFETCH(QString, sizeB);
    QFETCH(QString, status);
    QFETCH(QString, delta);
    const Inventory a = scan({app(u"Notes"_s, u"com.example.notes"_s, versionA, sizeA)});
    const Inventory b = scan({app(u"Notes"_s, u"com.example.notes"_s, versionB, sizeB)});

    const ScanComparison comparison = ScanComparison::compare(a, b);
    QCOMPARE(comparison.differences.size(), 1);
    const ScanDifference &difference = comparison.differences.first();
    QCOMPARE(difference.versionA, versionA);
    QCOMPARE(difference.versionB, versionB);
    QCOMPARE(difference.sizeDelta, delta);
    QCOMPARE(difference.status, status);
}

// A null text is a scan from before the column: it says nothing either way.
void TestComparison::offloadAndSource_data()
{
    QTest::addColumn<QString>("offloadedA");
    QTest::addColumn<QString>("offloadedB");
    QTest::addColumn<QString>("sourceA");
    QTest::addColumn<QString>("sourceB");
    QTest::addColumn<QString>("presenceA");
    QTest::addColumn<QString>("presenceB");
    QTest::addColumn<QString>("status");
    const QString none;
    const QString store = u"App Store"_s;
    const QString in = Column::inStore, out = Column::notInStore, unchecked = Column::notChecked;
    QTest::newRow("offloaded") << u""_s << u"Yes"_s << store << store << none << none
                               << ScanDifference::offloaded;
    QTest::newRow("restored") << u"Yes"_s << u""_s << store << store << none << none
                              << ScanDifference::restored;
    // A TestFlight build replaced by the store's, a new version too: the source says more.
    QTest::newRow("source changed") << u""_s << u""_s << u"TestFlight"_s << store << none << none
                                    << ScanDifference::sourceChanged;
    QTest::newRow("older scan without the columns")
        << none << u"Yes"_s << none << store << none << none << ScanDifference::versionChanged;
    QTest::newRow("source unknown in A")
        << u""_s << u""_s << u""_s << store << none << none << ScanDifference::versionChanged;
    QTest::newRow("left the store")
        << u""_s << u""_s << store << store << in << out << ScanDifference::leftStore;
    // Gone from the store says more than offloaded: together, the app cannot come back.
    QTest::newRow("left the store, offloaded")
        << u""_s << u"Yes"_s << store << store << in << out << ScanDifference::leftStore;
    QTest::newRow("not checked in A")
        << u""_s << u""_s << store << store << unchecked << out << ScanDifference::versionChanged;
    QTest::newRow("not checked in B")
        << u""_s << u""_s << store << store << in << unchecked << ScanDifference::versionChanged;
    QTest::newRow("back in the store")
        << u""_s << u""_s << store << store << out << in << ScanDifference::versionChanged;
}

void TestComparison::offloadAndSource()
{
    QFETCH(QString, offloadedA);
    QFETCH(QString, offloadedB);
    QFETCH(QString, sourceA);
    QFETCH(QString, sourceB);
    QFETCH(QString, presenceA);
    QFETCH(QString, presenceB);
    QFETCH(QString, status);
    Row a = app(u"Notes"_s, u"com.example.notes"_s, u"1.0"_s, u"10"_s);
    Row b = app(u"Notes"_s, u"com.example.notes"_s, u"1.1"_s, u"4"_s);
    for (const auto &[row, offloaded, source, presence] :
         {std::tuple(&a, offloadedA, sourceA, presenceA),
          std::tuple(&b, offloadedB, sourceB, presenceB)}) {
        if (!presence.isNull())
            row->insert(Column::storePresence, presence);
        if (!offloaded.isNull())
            row->insert(Column::offloaded, offloaded);
        if (!source.isNull())
            row->insert(Column::appSource, source);
    }
    const ScanComparison comparison = ScanComparison::compare(scan({a}), scan({b}));
    QCOMPARE(comparison.differences.value(0).status, status);
    QCOMPARE(comparison.changedCount(), 1);
    QCOMPARE(comparison.countLine().endsWith(u"(1 left the store)"_s),
             status == ScanDifference::leftStore);
}

void TestComparison::appInOne_data()
{
    // Device identifiers: of the inventory (null: none), and of B's two rows.
    QTest::addColumn<QString>("deviceA");
    QTest::addColumn<QString>("deviceB");
    QTest::addColumn<QStringList>("rowDevicesB");
    QTest::addColumn<bool>("sameDevice");
    const QString none;
    const QString phone = u"00008110-001A2B3C4D5E801E"_s;

    QTest::newRow("one device") << phone << phone << QStringList() << true;
    QTest::newRow("two devices") << phone << u"00008030-000E1D2C3B4A5968"_s << QStringList()
                                 << false;
    QTest::newRow("neither identified") << none << none << QStringList() << false;
    QTest::newRow("only A identified") << phone << none << QStringList() << false;
    QTest::newRow("identifiers differ in case")
        << phone << phone.toLower() << QStringList() << false;
    QTest::newRow("blank identifiers") << u""_s << u""_s << QStringList() << false;
    QTest::newRow("B identified by its rows") << phone << none << QStringList{phone, phone} << true;
    QTest::newRow("B identified by one row") << phone << none << QStringList{u""_s, phone} << true;
    QTest::newRow("B's rows disagree") << phone << none << QStringList{phone, u"other"_s} << false;
    QTest::newRow("B's own identifier over its rows")
        << phone << phone << QStringList{u"other"_s, u"other"_s} << true;
}

void TestComparison::appInOne()
{
    QFETCH(QString, deviceA);
    QFETCH(QString, deviceB);
    QFETCH(QStringList, rowDevicesB);
    QFETCH(bool, sameDevice);
    const Inventory a = scan({app(u"Maps"_s, u"com.example.maps"_s, u"1.0"_s, u"4"_s),
                              app(u"Ledger"_s, u"org.sample.ledger"_s, u"2.0"_s, u"9"_s)},
                             deviceA);
    Inventory b = scan({app(u"Maps"_s, u"com.example.maps"_s, u"1.0"_s, u"4"_s),
                        app(u"Widgets"_s, u"com.example.widgets"_s, u"3.0"_s, u"7"_s)},
                       deviceB);
    for (qsizetype i = 0; i < rowDevicesB.size(); ++i)
        b.rows[i].insert(Column::deviceIdentifier, rowDevicesB[i]);

    const ScanComparison comparison = ScanComparison::compare(a, b);
    QCOMPARE(comparison.sameDevice, sameDevice);
    QCOMPARE(
        bundles(comparison),
        (QStringList{u"org.sample.ledger"_s, u"com.example.maps"_s, u"com.example.widgets"_s}));
    const QList<ScanDifference> &found = comparison.differences;
    QCOMPARE(found[0].status, sameDevice ? ScanDifference::removed : ScanDifference::onlyInA);
    QCOMPARE(found[1].status, noChange);
    QCOMPARE(found[2].status, sameDevice ? ScanDifference::added : ScanDifference::onlyInB);
    // Nothing to measure against on the other side.
    QCOMPARE(found[0].versionB, QString());
    QCOMPARE(found[0].sizeDelta, QString());
    QCOMPARE(found[2].versionA, QString());
    QCOMPARE(found[2].sizeDelta, QString());
}

void TestComparison::selfComparison()
{
    const Inventory inventory =
        scan({app(u"Notes"_s, u"com.example.notes"_s, u"2.5"_s, u"3.23"_s, u"Productivity"_s),
              app(u"Maps"_s, u"com.example.maps"_s, u"10.1"_s),
              app(u"Ledger"_s, u"org.sample.ledger"_s, u""_s, u"12.50"_s),
              app(u"Atlas"_s, u"net.atlas.app"_s, u"3.1"_s, u"unknown"_s)},
             u"00008110-001A2B3C4D5E801E"_s);

    const ScanComparison comparison = ScanComparison::compare(inventory, inventory);
    QVERIFY(comparison.sameDevice);
    QStringList deltas;
    for (const ScanDifference &difference : comparison.differences) {
        QCOMPARE(difference.status, noChange);
        QCOMPARE(difference.versionA, difference.versionB);
        deltas.append(difference.sizeDelta);
    }
    // Atlas, Ledger, Maps, Notes.
    QCOMPARE(deltas, (QStringList{u""_s, u"+0.00"_s, u""_s, u"+0.00"_s}));
}

void TestComparison::rowsThatTakeNoPart_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("bundle");
    QTest::newRow("blank bundle identifier") << u"Notes"_s << u""_s;
    QTest::newRow("no bundle identifier") << u"Notes"_s << QString();
    QTest::newRow("name of spaces") << u"   "_s << u"com.example.notes"_s;
    QTest::newRow("name of invisible characters") << u" \u200B\n"_s << u"com.example.notes"_s;
    QTest::newRow("no name") << QString() << u"com.example.notes"_s;
}

void TestComparison::rowsThatTakeNoPart()
{
    QFETCH(QString, name);
    QFETCH(QString, bundle);
    const Inventory odd = scan({app(name, bundle, u"1.0"_s, u"3"_s)});
    const Inventory empty;
    QVERIFY(ScanComparison::compare(odd, odd).differences.isEmpty());
    QVERIFY(ScanComparison::compare(odd, empty).differences.isEmpty());
    QVERIFY(ScanComparison::compare(empty, odd).differences.isEmpty());
}

void TestComparison::repeatedIdentifier()
{
    const QString notes = u"com.example.notes"_s;
    const Inventory once = scan({app(u"Notes"_s, notes, u"1.0"_s, u"10"_s)});
    const Inventory twice = scan({app(u"Notes"_s, notes, u"1.0"_s, u"10"_s),
                                  app(u"Notes Copy"_s, notes, u"2.0"_s, u"30"_s)});
    // A row nobody can see does not take its identifier from the visible one after it.
    const Inventory hiddenFirst =
        scan({app(u" "_s, notes, u"9.0"_s, u"90"_s), app(u"Notes"_s, notes, u"1.0"_s, u"10"_s)});

    for (const auto &[a, b] : {std::pair(twice, once), std::pair(once, twice),
                               std::pair(hiddenFirst, once), std::pair(once, hiddenFirst)}) {
        const ScanComparison comparison = ScanComparison::compare(a, b);
        QCOMPARE(comparison.differences.size(), 1);
        const ScanDifference &difference = comparison.differences.first();
        QCOMPARE(difference.name, u"Notes"_s);
        QCOMPARE(difference.status, noChange);
        QCOMPARE(difference.versionA, u"1.0"_s);
        QCOMPARE(difference.versionB, u"1.0"_s);
        QCOMPARE(difference.sizeDelta, u"+0.00"_s);
    }
}

void TestComparison::nameAndCategoryComeFromTheShownScan()
{
    const Inventory a =
        scan({app(u"Notes"_s, u"com.example.notes"_s, u"1"_s, {}, u"Productivity"_s),
              app(u"Solitaire"_s, u"com.example.cards"_s, u"1"_s, {}, u"Games"_s)});
    const Inventory b = scan({app(u"Notes Pro"_s, u"com.example.notes"_s, u"1"_s),
                              app(u"Atlas"_s, u"net.atlas.app"_s, u"1"_s, {}, u"Travel"_s)});

    QStringList shown;
    for (const ScanDifference &difference : ScanComparison::compare(a, b).differences)
        shown.append(difference.name + u'/' + difference.category);
    // B's row stands for an app in both, even where it has no category.
    QCOMPARE(shown, (QStringList{u"Atlas/Travel"_s, u"Notes Pro/"_s, u"Solitaire/Games"_s}));
}

void TestComparison::order_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("order");
    QTest::newRow("digits by value")
        << QStringList{u"App 10"_s, u"app 2"_s, u"App 1"_s} << QList<int>{2, 1, 0};
    QTest::newRow("letter case ignored")
        << QStringList{u"Banana"_s, u"apple"_s, u"Cherry"_s} << QList<int>{1, 0, 2};
    QTest::newRow("accented letters")
        << QStringList{u"Zoom"_s, u"\u00C9clair"_s, u"Eclipse"_s} << QList<int>{1, 2, 0};
    QTest::newRow("same name in other cases")
        << QStringList{u"Mail"_s, u"mail"_s, u"MAIL"_s} << QList<int>{0, 1, 2};
}

void TestComparison::order()
{
    QFETCH(QStringList, names);
    QFETCH(QList<int>, order);
    QList<Row> rows;
    for (qsizetype i = 0; i < names.size(); ++i)
        rows.append(app(names[i], u"app.%1"_s.arg(i)));
    const Inventory inventory = scan(rows);

    QStringList expected;
    for (int i : order)
        expected.append(u"app.%1"_s.arg(i));
    QCOMPARE(bundles(ScanComparison::compare(inventory, inventory)), expected);
    QCOMPARE(bundles(ScanComparison::compare(inventory, Inventory())), expected);
}

void TestComparison::equalNamesKeepScanOrder()
{
    // A's apps in A's order, then those only B has; never by identifier.
    const Inventory a = scan({app(u"Mail"_s, u"z.mail"_s), app(u"Mail"_s, u"m.mail"_s)});
    const Inventory b = scan({app(u"Mail"_s, u"a.mail"_s), app(u"mail"_s, u"z.mail"_s)});
    QCOMPARE(bundles(ScanComparison::compare(a, b)),
             (QStringList{u"z.mail"_s, u"m.mail"_s, u"a.mail"_s}));
}

// Two scans of one phone a month apart, field by field.
void TestComparison::rescan()
{
    const QString phone = u"00008110-001A2B3C4D5E801E"_s;
    const Inventory march =
        scan({app(u"Notes"_s, u"com.example.notes"_s, u"2.5"_s, u"3.23"_s, u"Productivity"_s),
              app(u"Maps"_s, u"com.example.maps"_s, u"10.1"_s, u""_s, u"Navigation"_s),
              app(u"Ledger"_s, u"org.sample.ledger"_s, u"1.0"_s, u"12.50"_s, u""_s),
              app(u"Atlas"_s, u"net.atlas.app"_s, u"3.1"_s, u"0.90"_s)},
             phone);
    const Inventory april =
        scan({app(u"Widgets"_s, u"com.example.widgets"_s, u"2.1"_s, u""_s),
              app(u"Atlas"_s, u"net.atlas.app"_s, u"3.1"_s, u"1.40"_s),
              app(u"Notes"_s, u"com.example.notes"_s, u"2.6"_s, u"4.23"_s, u"Productivity"_s),
              app(u"Maps"_s, u"com.example.maps"_s, u"10.1"_s, u""_s, u"Navigation"_s)},
             phone);

    const QList<ScanDifference> expected{
        {u"Atlas"_s,
         u"net.atlas.app"_s,
         {},
         ScanDifference::storageChanged,
         u"3.1"_s,
         u"3.1"_s,
         u"+0.50"_s},
        {u"Ledger"_s, u"org.sample.ledger"_s, u""_s, ScanDifference::removed, u"1.0"_s, {}, {}},
        {u"Maps"_s, u"com.example.maps"_s, u"Navigation"_s, noChange, u"10.1"_s, u"10.1"_s, {}},
        {u"Notes"_s, u"com.example.notes"_s, u"Productivity"_s, ScanDifference::versionChanged,
         u"2.5"_s, u"2.6"_s, u"+1.00"_s},
        {u"Widgets"_s, u"com.example.widgets"_s, {}, ScanDifference::added, {}, u"2.1"_s, {}},
    };
    QCOMPARE(ScanComparison::compare(march, april).differences, expected);
}

void TestComparison::decimalsAsTheCLibraryWritesThem_data()
{
    QTest::addColumn<double>("value");
    const double values[] = {0.0,
                             -0.0,
                             0.125,
                             0.005,
                             2.675,
                             -0.001,
                             -2.25,
                             123456789.125,
                             1e20,
                             -1e300,
                             std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
    for (double value : values)
        QTest::addRow("%.17g", value) << value;
}

void TestComparison::decimalsAsTheCLibraryWritesThem()
{
    QFETCH(double, value);
    std::setlocale(LC_NUMERIC, "C");
    char expected[400];
    std::snprintf(expected, sizeof expected, "%.2f", value);
    QCOMPARE(DecimalText::twoPlaces(value), QLatin1StringView(expected));
    std::snprintf(expected, sizeof expected, "%.1f", value);
    QCOMPARE(DecimalText::onePlace(value), QLatin1StringView(expected));
    std::snprintf(expected, sizeof expected, "%+.2f", value);
    QCOMPARE(DecimalText::signedTwoPlaces(value), QLatin1StringView(expected));
}

// The device's warnings that appeared or went away from A to B, after its facts' changes.
void TestComparison::warningChanges_data()
{
    QTest::addColumn<std::optional<bool>>("passcodeA");
    QTest::addColumn<std::optional<bool>>("passcodeB");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("removed") << std::optional(true) << std::optional(false)
                             << QStringList{u"passcode set \u2192 not set"_s,
                                            u"new warning: No passcode is set"_s};
    QTest::newRow("set again") << std::optional(false) << std::optional(true)
                               << QStringList{u"passcode not set \u2192 set"_s,
                                              u"warning gone: No passcode is set"_s};
    QTest::newRow("still none") << std::optional(false) << std::optional(false) << QStringList();
    // Unknown in A: the warning is new, though the fact cannot be said to have changed.
    QTest::newRow("not known before") << std::optional<bool>() << std::optional(false)
                                      << QStringList{u"new warning: No passcode is set"_s};
}

void TestComparison::warningChanges()
{
    QFETCH(std::optional<bool>, passcodeA);
    QFETCH(std::optional<bool>, passcodeB);
    QFETCH(QStringList, expected);
    Inventory a, b;
    DeviceFacts facts;
    facts.passcodeSet = passcodeA;
    a.setDeviceFacts(facts);
    facts.passcodeSet = passcodeB;
    b.setDeviceFacts(facts);
    QCOMPARE(ScanComparison::compare(a, b).deviceChanges, expected);
}

QTEST_GUILESS_MAIN(TestComparison)
#include "tests/InventoryPrinting.h"
#include "tst_comparison.moc"
