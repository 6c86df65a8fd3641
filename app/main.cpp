#include "app/AppDelegate.h"
#include "common/Failure.h"
#include "common/LaunchOptions.h"
#include "scanning/DemoDevice.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <cstdio>
#include <optional>

namespace {

void nameApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Marrowby"));
    QCoreApplication::setApplicationName(QStringLiteral("Quillet"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLET_VERSION));
}

void addOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Quillet: an inventory of the apps on your iPhone or iPad."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions(LaunchOptions::options());
}

// --help and --version are answered before the window system is reached, so that they work
// without a display, and name the program, not its path. Any other command line waits for
// QApplication, which takes out its own options (-style, -platform…) first.
std::optional<int> answerFromTerminal(int argc, char *argv[])
{
    QStringList arguments{QStringLiteral("quillet")};
    bool asked = false;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        arguments.append(argument);
        for (const char *option : {"-h", "--help", "-?", "--help-all", "-v", "--version"})
            asked = asked || argument == QLatin1StringView(option);
    }
    if (!asked)
        return std::nullopt;
    QCommandLineParser parser;
    addOptions(parser);
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "quillet: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    // The help text names the program by the application's first argument.
    char name[] = "quillet";
    char *plainArguments[] = {name, nullptr};
    int count = 1;
    QCoreApplication application(count, plainArguments);
    nameApplication();
    if (parser.isSet(QStringLiteral("help")))
        std::fputs(qPrintable(parser.helpText()), stdout);
    else
        std::printf("quillet %s\n", QUILLET_VERSION);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = answerFromTerminal(argc, argv))
        return *status;

    QApplication application(argc, argv);
    nameApplication();
    QApplication::setDesktopFileName(QStringLiteral("com.marrowby.quillet"));
    QIcon icon;
    for (int size : {64, 128, 256, 512})
        icon.addFile(QStringLiteral(":/icons/quillet-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    QCommandLineParser parser;
    addOptions(parser);
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
