#include "app/cli/Command.h"

#include "app/cli/Printer.h"
#include "common/DataFile.h"
#include "common/LaunchOptions.h"
#include "common/Locations.h"
#include "scanning/DemoDevice.h"
#include "scanning/Scanner.h"

#include <QDir>

Command::Command(Definition definition) : m_definition(std::move(definition)) {}

Command::~Command() = default;

QString Command::synopsis() const
{
    return usage().left(usage().indexOf(u" [--"));
}

QList<QCommandLineOption> Command::commonOptions()
{
    return LaunchOptions::options() +
        QList<QCommandLineOption>{{{QStringLiteral("h"), QStringLiteral("help")},
                                   QStringLiteral("Show this command's options.")}};
}

QString Command::longName(const QCommandLineOption &option)
{
    return QStringLiteral("--") + option.names().constLast();
}

int Command::run(const QStringList &arguments, Printer &printer) const
{
    QCommandLineParser parser;
    parser.addOptions(options());
    parser.addOptions(commonOptions());
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("The command."),
                                 usage());
    if (!parser.parse(arguments))
        return printer.usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        // Qt's help names the program by its path and lists the command word as an argument.
        QString text = parser.helpText();
        text = text.mid(text.indexOf(QStringLiteral("Options:")));
        text.truncate(text.indexOf(QStringLiteral("\nArguments:")));
        printer.out() << "Usage: quillet-cli " << usage() << "\n\n" << text << "\n";
        return 0;
    }
    const int count = int(parser.positionalArguments().size());
    if (count < m_definition.positionalMin || count > m_definition.positionalMax)
        return printer.usageError(QStringLiteral("usage: quillet-cli %1").arg(usage()));
    if (const std::optional<QString> error = LaunchOptions::apply(parser))
        return printer.usageError(*error);
    // An empty file name would be taken for the folder a script runs in.
    for (const QCommandLineOption &option : options()) {
        if (option.valueName() == u"file" && parser.isSet(option) && parser.value(option).isEmpty())
            return printer.usageError(QStringLiteral("%1 needs a file name").arg(longName(option)));
    }
    if (LaunchOptions::isDemo(parser)) {
        DemoDevice::prepare();
        // On standard error, so that a script reading the output gets only the output.
        printer.err() << DemoDevice::description << "\n";
        printer.err().flush();
    }
    if (m_definition.dataFolder == DataFolder::Needed && DataFile::isMissing(Locations::storage()))
        return printer.failure(
            QStringLiteral("No data folder at %1: nothing has been scanned there; check "
                           "--data-dir.")
                .arg(QDir::toNativeSeparators(Locations::storage())));
    if (m_definition.dataFolder == DataFolder::MadeIfMissing)
        Scanner::removeLeftovers(Locations::storage());
    return execute(parser, printer);
}
