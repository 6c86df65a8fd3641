#include "app/AppDelegate.h"
#include "scanning/DemoDevice.h"
#include "scanning/Failure.h"
#include "scanning/Locations.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Marrowby"));
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLET_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quillet"));
    QIcon icon;
    for (int size : {64, 128, 256, 512})
        icon.addFile(QStringLiteral(":/icons/quillet-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Quillet: an inventory of the apps on your iPhone or iPad."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption dataDir(QStringLiteral("data-dir"),
                                     QStringLiteral("Keep inventories and history in <folder>."),
                                     QStringLiteral("folder"));
    const QCommandLineOption resources(QStringLiteral("resources"),
                                       QStringLiteral("Use the device tools and help in <folder>."),
                                       QStringLiteral("folder"));
    const QCommandLineOption lookupURL(
        QStringLiteral("lookup-url"),
        QStringLiteral("Ask the store lookup service at <url> (HTTPS, or HTTP on this machine)."),
        QStringLiteral("url"));
    const QCommandLineOption demo(
        QStringLiteral("demo"),
        QStringLiteral("Scan a made-up demo device instead of a real one; its data stays apart."));
    parser.addOptions({dataDir, resources, lookupURL, demo});
    parser.process(application);

    if (parser.isSet(dataDir))
        Locations::setStorage(parser.value(dataDir));
    if (parser.isSet(resources))
        Locations::setResources(parser.value(resources));
    if (parser.isSet(lookupURL)) {
        const QUrl url(parser.value(lookupURL));
        if (!Locations::isAcceptableLookupURL(url)) {
            std::fprintf(stderr,
                         "quillet: the lookup URL must use HTTPS, or HTTP on 127.0.0.1, ::1 or "
                         "localhost: %s\n",
                         qPrintable(parser.value(lookupURL)));
            return 2;
        }
        Locations::setLookupURL(url);
    }

    if (parser.isSet(demo)) {
        if (parser.isSet(dataDir) || parser.isSet(lookupURL)) {
            std::fprintf(stderr,
                         "quillet: --demo keeps its own data folder and lookup; it takes "
                         "neither --data-dir nor --lookup-url\n");
            return 2;
        }
        try {
            DemoDevice::prepare();
        } catch (const Failure &failure) {
            std::fprintf(stderr, "quillet: %s\n", qPrintable(failure.description()));
            return 1;
        }
    }

    AppDelegate delegate;
    delegate.setDemo(parser.isSet(demo));
    delegate.launch();
    return application.exec();
}
