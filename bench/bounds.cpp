// Inputs within every limit that once cost far more time or memory than what they show. Each runs
// in a process of its own and is reported with its wall time, peak resident memory and how it
// ended. Not run by CI: run it by hand on a quiet machine (build/quillet_bounds).

#include "app/AppDelegate.h"
#include "bench/Measure.h"
#include "common/DataFile.h"
#include "common/Locations.h"
#include "common/NetworkRequest.h"
#include "features/StoreArtwork.h"
#include "history/HistoryStore.h"
#include "scanning/CategoryEntry.h"
#include "scanning/Scanner.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

QString cli()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/app/quillet-cli");
}

// Only the cases whose description holds this text run, when it is given.
QString only;

// One line: what ran, its time, its peak memory and how it ended.
void report(const char *what, const QStringList &arguments)
{
    int status = 0;
    const auto [ms, mb] = runMeasured(arguments, false, &status);
    const QByteArray ending = WIFSIGNALED(status)
        ? "killed by signal " + QByteArray::number(WTERMSIG(status))
        : "exit " + QByteArray::number(WEXITSTATUS(status));
    std::printf("%-58s %8.0f ms %7.0f MB  %s\n", what, ms, mb, ending.constData());
    std::fflush(stdout);
}

QString folder(const QTemporaryDir &root, const QString &name)
{
    QDir(root.path()).mkpath(name);
    return root.filePath(name);
}

void writeInventory(const QString &folder, const QByteArray &json)
{
    DataFile::write(folder + QStringLiteral("/inventory.json"), json);
}

// Launches the window over `data` and waits until its saved inventory is loaded.
void launchOver(AppDelegate &delegate, const QString &data)
{
    Locations::setStorage(data);
    delegate.launch();
    while (delegate.isBusy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

// A window over the data folder, until its inventory is on screen.
int windowStart(const QString &data)
{
    QTemporaryDir settings;
    useOwnSettings(settings);
    AppDelegate delegate;
    launchOver(delegate, data);
    QCoreApplication::processEvents();
    return 0;
}

// Scan Device with device tools that fail at length, until the alert is up.
int toolError(const QString &resources, const QString &data)
{
    Locations::setResources(resources);
    QTemporaryDir settings;
    useOwnSettings(settings);
    AppDelegate delegate;
    launchOver(delegate, data);
    QElapsedTimer timer;
    timer.start();
    delegate.scanDevice();
    while (delegate.isBusy() || !delegate.window()->findChild<QMessageBox *>())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    QCoreApplication::processEvents();
    std::printf("    Scan Device to its alert: %.0f ms\n", double(timer.nsecsElapsed()) / 1e6);
    return 0;
}

int lookup(const QString &url)
{
    NetworkRequest request((QUrl(url)), std::chrono::seconds(60));
    while (!request.waitFor(std::chrono::milliseconds(50))) {}
    std::printf("    answer: %lld bytes, error \"%s\"\n",
                qint64(request.response().body.value_or(QByteArray()).size()),
                qPrintable(request.response().error));
    return 0;
}

int categories(const QString &data)
{
    Scanner scanner(data, data);
    scanner.storeLookup().setURL(QUrl(QStringLiteral("http://127.0.0.1:9/lookup")));
    scanner.storeLookup().categories({QStringLiteral("com.example.app1")});
    return 0;
}

int icon(const QString &data, const QString &url)
{
    Locations::setStorage(data);
    const QImage image = StoreArtwork::cached(url);
    std::printf("    decoded %dx%d\n", image.width(), image.height());
    return 0;
}

QByteArray repeated(const QByteArray &item, qsizetype times, const QByteArray &separator = ",")
{
    QByteArray out;
    out.reserve((item.size() + separator.size()) * times);
    for (qsizetype i = 0; i < times; ++i) {
        if (i)
            out += separator;
        out += item;
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QString mode = arguments.value(1);
    if (mode == u"--window")
        return windowStart(arguments.value(2));
    if (mode == u"--tool-error")
        return toolError(arguments.value(2), arguments.value(3));
    if (mode == u"--lookup")
        return lookup(arguments.value(2));
    if (mode == u"--categories")
        return categories(arguments.value(2));
    if (mode == u"--icon")
        return icon(arguments.value(2), arguments.value(3));

    // quillet_bounds [TEXT]: the cases whose description holds TEXT; each is set up only then.
    only = mode;
    const auto wanted = [](const char *what) { return QString::fromUtf8(what).contains(only); };
    const QString self = QCoreApplication::applicationFilePath();
    QTemporaryDir root;

    if (wanted("duplicate fields")) {
        // "fields" names one column a million times; 2,000 rows.
        const QString duplicated = folder(root, QStringLiteral("duplicated"));
        QByteArray rows;
        for (int i = 0; i < 2000; ++i)
            rows += (i ? ",{\"App name\":\"App " : "{\"App name\":\"App ") + QByteArray::number(i) +
                "\"}";
        writeInventory(duplicated,
                       "{\"fields\":[" + repeated("\"App name\"", 1'000'000) + "],\"rows\":[" +
                           rows + "]}");
        report("duplicate fields (12 MB): show --csv",
               {cli(), QStringLiteral("show"), QStringLiteral("--csv"),
                QStringLiteral("--data-dir"), duplicated});
        report("duplicate fields (12 MB): show",
               {cli(), QStringLiteral("show"), QStringLiteral("--data-dir"), duplicated});
    }

    if (wanted("one row of 100,000 columns")) {
        const QString wide = folder(root, QStringLiteral("wide"));
        QByteArray names, cells;
        for (int i = 0; i < 100'000; ++i) {
            // Named, so that every command shows the row.
            const QByteArray name =
                i ? "\"c" + QByteArray::number(i) + "\"" : QByteArray("\"App name\"");
            names += (i ? "," : "") + name;
            cells += (i ? "," : "") + name + ":\"v\"";
        }
        writeInventory(wide, "{\"fields\":[" + names + "],\"rows\":[{" + cells + "}]}");
        report("one row of 100,000 columns: show",
               {cli(), QStringLiteral("show"), QStringLiteral("--data-dir"), wide});
        report("one row of 100,000 columns: show --csv",
               {cli(), QStringLiteral("show"), QStringLiteral("--csv"),
                QStringLiteral("--data-dir"), wide});
        report("one row of 100,000 columns: window start",
               {self, QStringLiteral("--window"), wide});
    }

    if (wanted("16 million empty rows")) {
        const QString empty = folder(root, QStringLiteral("empty"));
        writeInventory(empty,
                       "{\"fields\":[\"App name\"],\"rows\":[" + repeated("{}", 16'000'000) + "]}");
        report("16 million empty rows (48 MB): show",
               {cli(), QStringLiteral("show"), QStringLiteral("--data-dir"), empty});
    }

    if (wanted("100,000 saved scans")) {
        // Each with a 1 KB device name: their index is larger than it may be, so it keeps what
        // fits and the listing reads the rest from the archives. Written plainly, not one by one
        // through the history, which would take minutes.
        const QString many = folder(root, QStringLiteral("many"));
        const QString archives = HistoryStore(many).directory();
        QDir().mkpath(archives);
        const QByteArray name = QByteArray(1000, 'D');
        for (int i = 0; i < 100'000; ++i) {
            const QString id = HistoryStore::newIdentity();
            QFile file(archives + u'/' + id + QStringLiteral(".json"));
            if (!file.open(QIODevice::WriteOnly))
                return 1;
            file.write("{\"fields\":[\"App name\"],\"rows\":[{\"App name\":\"Notes\"}],"
                       "\"deviceName\":\"" +
                       name + QByteArray::number(i) + "\",\"scanID\":\"" + id.toLatin1() +
                       "\",\"scannedAt\":" + QByteArray::number(700000000 + i) + "}");
        }
        const QStringList listing{cli(), QStringLiteral("history"), QStringLiteral("--data-dir"),
                                  many};
        report("100,000 saved scans, 1 KB names: first history", listing);
        report("100,000 saved scans, 1 KB names: next history", listing);
        std::printf("    index: %lld MB\n",
                    QFileInfo(HistoryStore(many).indexPath()).size() / 1'000'000);
    }

    if (wanted("a 20 MB device name")) {
        const QString named = folder(root, QStringLiteral("named"));
        writeInventory(named,
                       "{\"fields\":[\"App name\"],\"deviceName\":\"" +
                           QByteArray(20'000'000, 'N') + "\",\"rows\":[{\"App name\":\"Notes\"}]}");
        report("a 20 MB device name: report --pdf",
               {cli(), QStringLiteral("report"), QStringLiteral("--pdf"),
                root.filePath(QStringLiteral("named.pdf")), QStringLiteral("--data-dir"), named});
    }

    if (wanted("a 4 MB tool error")) {
        // Device tools that fail with 4 MB of explanation.
        const QString resources = folder(root, QStringLiteral("resources"));
        QDir(resources).mkpath(QStringLiteral("Tools"));
        const QString tool = resources + QStringLiteral("/Tools/idevice_id");
        DataFile::writeExport(tool,
                              "#!/bin/sh\nhead -c 4000000 /dev/zero | tr '\\000' 'x' >&2\n"
                              "exit 1\n");
        QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        report("a 4 MB tool error: window, Scan Device to its alert",
               {self, QStringLiteral("--tool-error"), resources,
                folder(root, QStringLiteral("tool-error"))});
    }

    if (wanted("a 60 MB lookup answer")) {
        // Served by a local Python.
        const QString served = folder(root, QStringLiteral("served"));
        DataFile::writeExport(served + QStringLiteral("/answer.json"),
                              "{\"results\":[" + repeated("{}", 20'000'000) + "]}");
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        const quint16 port = probe.serverPort();
        probe.close();
        QProcess server;
        server.setWorkingDirectory(served);
        server.start(QStringLiteral("python3"),
                     {QStringLiteral("-m"), QStringLiteral("http.server"), QString::number(port),
                      QStringLiteral("--bind"), QStringLiteral("127.0.0.1")});
        server.waitForStarted();
        QThread::sleep(1);
        report("a 60 MB lookup answer (cap 32 MiB)",
               {self, QStringLiteral("--lookup"),
                QStringLiteral("http://127.0.0.1:%1/answer.json").arg(port)});
        server.kill();
        server.waitForFinished();
    }

    if (wanted("category cache")) {
        const QString cached = folder(root, QStringLiteral("cached"));
        CategoryEntry::Map map;
        for (int i = 0; i < 250'000; ++i)
            map.insert(
                QStringLiteral("com.example.company.application%1").arg(i),
                {QStringLiteral("Productivity"), 1.7e9, QStringLiteral("1.2.3"),
                 QStringLiteral("https://is1-ssl.mzstatic.com/image/%1/512x512bb.jpg").arg(i), 1});
        const QByteArray cache = CategoryEntry::encodeMap(map);
        DataFile::write(cached + QStringLiteral("/categories.json"), cache);
        report(qPrintable(QStringLiteral("a %1 MB category cache: one app's lookup")
                              .arg(cache.size() / 1'000'000)),
               {self, QStringLiteral("--categories"), cached});
    }

    if (wanted("an icon")) {
        const QString icons = folder(root, QStringLiteral("icons"));
        const QString url = QStringLiteral("https://is1-ssl.mzstatic.com/image/large.png");
        QDir(icons).mkpath(QStringLiteral("Icons"));
        Locations::setStorage(icons);
        QImage large(5600, 5600, QImage::Format_RGB32);
        large.fill(Qt::white);
        large.save(StoreArtwork::cachePath(url), "PNG");
        report(qPrintable(QStringLiteral("an icon of 5,600 x 5,600 pixels (%1 KB)")
                              .arg(QFileInfo(StoreArtwork::cachePath(url)).size() / 1000)),
               {self, QStringLiteral("--icon"), icons, url});
    }
    return 0;
}
