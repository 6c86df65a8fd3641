#include "scanning/Column.h"
#include "scanning/DeviceIcons.h"
#include "tests/TestFiles.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace Qt::StringLiterals;

namespace {

QByteArray pngOf(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A small PNG whose header claims other dimensions.
QByteArray claiming(quint32 width, quint32 height)
{
    QByteArray bytes = pngOf(4, 4);
    qToBigEndian(width, bytes.data() + 16);
    qToBigEndian(height, bytes.data() + 20);
    return bytes;
}

Row app(const QString &bundle, const QString &version, const QString &artwork = {})
{
    return Row{{Column::bundleIdentifier, bundle},
               {Column::version, version},
               {Column::artworkURL, artwork}};
}

} // namespace

class TestDeviceIcons : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void acceptable_data();
    void acceptable();
    void cacheKey_data();
    void cacheKey();
    void askedOnce();
};

void TestDeviceIcons::acceptable_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("accepted");
    const QByteArray valid = pngOf(120, 120);
    QTest::newRow("valid") << valid << true;
    QTest::newRow("largest") << pngOf(DeviceIcons::largestSide, 1) << true;
    QTest::newRow("one pixel too wide") << pngOf(DeviceIcons::largestSide + 1, 1) << false;
    QTest::newRow("vast header") << claiming(100'000, 100'000) << false;
    QTest::newRow("header past 2^31") << claiming(0x80000000u, 16) << false;
    QTest::newRow("no pixels") << claiming(0, 16) << false;
    QTest::newRow("truncated") << valid.chopped(5) << false;
    QTest::newRow("signature only") << valid.first(8) << false;
    QTest::newRow("not a PNG") << QByteArray("GIF89a\x10\0\x10\0", 10) + valid.sliced(8) << false;
    QTest::newRow("empty") << QByteArray() << false;
    // Whole and well formed, with a chunk that takes it past the limit.
    QByteArray padded = valid;
    padded.insert(33, QByteArray(DeviceIcons::sizeLimit - valid.size() + 1, '\0'));
    QTest::newRow("too many bytes") << padded << false;
}

void TestDeviceIcons::acceptable()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, accepted);
    QCOMPARE(DeviceIcons::isAcceptable(bytes), accepted);
}

void TestDeviceIcons::cacheKey_data()
{
    QTest::addColumn<QString>("bundle");
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("same");
    QTest::newRow("same app and version") << u"com.example.a"_s << u"1.0"_s << true;
    QTest::newRow("an update") << u"com.example.a"_s << u"1.1"_s << false;
    QTest::newRow("another app") << u"com.example.b"_s << u"1.0"_s << false;
    QTest::newRow("version moved into the name") << u"com.example.a1"_s << u".0"_s << false;
    QTest::newRow("no version") << u"com.example.a"_s << QString() << false;
}

void TestDeviceIcons::cacheKey()
{
    QFETCH(QString, bundle);
    QFETCH(QString, version);
    QFETCH(bool, same);
    const QString path = DeviceIcons::cachePath(u"/data"_s, bundle, version);
    QVERIFY(path.startsWith(u"/data/Icons/"_s));
    QCOMPARE(path.size(), u"/data/Icons/"_s.size() + 64);
    QCOMPARE(path == DeviceIcons::cachePath(u"/data"_s, u"com.example.a"_s, u"1.0"_s), same);
}

// What the helper answered is kept once; only apps without store artwork, not answered yet, or
// updated since are asked for again.
void TestDeviceIcons::askedOnce()
{
    QTemporaryDir storage;
    QVERIFY(storage.isValid());
    const QString folder = storage.path();
    QList<Row> rows{app(u"com.example.good"_s, u"1.0"_s),
                    app(u"com.example.bad"_s, u"1.0"_s),
                    app(u"com.example.gone"_s, u"2.0"_s),
                    app(u"com.example.late"_s, u"1.0"_s),
                    app(u"com.example.store"_s, u"1.0"_s, u"https://example.com/i.png"_s),
                    app(u"--largest=1"_s, u"1.0"_s)};
    const QStringList asked = DeviceIcons::wanted(folder, rows);
    QCOMPARE(asked,
             QStringList({u"com.example.good"_s, u"com.example.bad"_s, u"com.example.gone"_s,
                          u"com.example.late"_s}));

    const QByteArray good = pngOf(60, 60);
    QVariantMap icons{{u"com.example.good"_s, good},
                      {u"com.example.bad"_s, claiming(9000, 9000)},
                      {u"com.example.store"_s, good}};
    QVariantMap answer{{u"Icons"_s, icons}, {u"Missing"_s, QVariantList{u"com.example.gone"_s, 7}}};
    DeviceIcons::keep(folder, rows, asked, answer);

    QCOMPARE(DeviceIcons::cached(folder, u"com.example.good"_s, u"1.0"_s).size(), QSize(60, 60));
    QVERIFY(DeviceIcons::cached(folder, u"com.example.bad"_s, u"1.0"_s).isNull());
    QCOMPARE(TestFiles::readBytes(DeviceIcons::cachePath(folder, u"com.example.bad"_s, u"1.0"_s)),
             QByteArray());
    QVERIFY(!QFile::exists(DeviceIcons::cachePath(folder, u"com.example.store"_s, u"1.0"_s)));
    QCOMPARE(
        QFileInfo(DeviceIcons::cachePath(folder, u"com.example.good"_s, u"1.0"_s)).permissions() &
            (QFile::ReadGroup | QFile::ReadOther),
        QFileDevice::Permissions());

    // Unanswered, updated or damaged on disk: asked again.
    rows[0] = app(u"com.example.good"_s, u"1.1"_s);
    TestFiles::writeBytes(DeviceIcons::cachePath(folder, u"com.example.bad"_s, u"1.0"_s),
                          good.chopped(1));
    QCOMPARE(DeviceIcons::wanted(folder, rows),
             QStringList({u"com.example.good"_s, u"com.example.bad"_s, u"com.example.late"_s}));
}

QTEST_GUILESS_MAIN(TestDeviceIcons)
#include "tst_deviceicons.moc"
