#include "app/AppDelegate.h"
#include "common/Failure.h"
#include "common/LaunchOptions.h"
#include "scanning/DemoDevice.h"

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
    QApplication::setDesktopFileName(QStringLiteral("com.marrowby.quillet"));
    QIcon icon;
    for (int size : {64, 128, 256, 512})
        icon.addFile(QStringLiteral(":/icons/quillet-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Quillet: an inventory of the apps on your iPhone or iPad."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions(LaunchOptions::options());
    parser.process(application);
    try {
        if (const std::optional<QString> error = LaunchOptions::apply(parser)) {
            std::fprintf(stderr, "quillet: %s\n", qPrintable(*error));
            return 2;
        }
        if (LaunchOptions::isDemo(parser))
            DemoDevice::prepare();
    } catch (const Failure &failure) {
        std::fprintf(stderr, "quillet: %s\n", qPrintable(failure.description()));
        return 1;
    }

    AppDelegate delegate;
    delegate.setDemo(LaunchOptions::isDemo(parser));
    delegate.launch();
    return application.exec();
}
