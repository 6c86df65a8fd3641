#include "app/cli/CommandLineTool.h"

#include "app/cli/Annotate.h"
#include "app/cli/Compare.h"
#include "app/cli/Completion.h"
#include "app/cli/Device.h"
#include "app/cli/Devices.h"
#include "app/cli/History.h"
#include "app/cli/Manual.h"
#include "app/cli/Report.h"
#include "app/cli/Scan.h"
#include "app/cli/Show.h"
#include "app/cli/Watch.h"
#include "common/Failure.h"

#include <QCoreApplication>

CommandLineTool::CommandLineTool(QTextStream &out, QTextStream &err) : m_printer(out, err) {}

const QList<std::shared_ptr<const Command>> &CommandLineTool::commands()
{
    // clang-format off
    static const QList<std::shared_ptr<const Command>> table = {
        std::make_shared<Scan>(),
        std::make_shared<Devices>(),
        std::make_shared<Watch>(),
        std::make_shared<History>(),
        std::make_shared<Show>(),
        std::make_shared<Device>(),
        std::make_shared<Compare>(),
        std::make_shared<Report>(),
        std::make_shared<Annotate>(),
        std::make_shared<Completion>(),
        std::make_shared<Manual>(),
    };
    // clang-format on
    return table;
}

QList<std::shared_ptr<const Command>> CommandLineTool::listedCommands()
{
    QList<std::shared_ptr<const Command>> listed;
    for (const auto &command : commands()) {
        if (!command->isHidden())
            listed.append(command);
    }
    return listed;
}

QString CommandLineTool::helpText()
{
    QString text = QStringLiteral("Usage: quillet-cli COMMAND [OPTIONS]\n\nCommands:\n");
    for (const auto &command : listedCommands())
        text += QStringLiteral("  ") + command->synopsis().leftJustified(24) +
            QStringLiteral("  ") + command->summary() + u'\n';
    return text +
        QStringLiteral("\n"
                       "A SCAN is a saved scan's identifier or a unique beginning of it.\n"
                       "Every command takes --data-dir DIR, --resources DIR and --lookup-url URL,\n"
                       "or --demo for a made-up device with a data folder of its own;\n"
                       "\"quillet-cli COMMAND --help\" lists a command's options.\n");
}

int CommandLineTool::run(const QStringList &arguments)
{
    const QString first = arguments.value(1);
    if (first.isEmpty() || first == u"--help" || first == u"-h" || first == u"help") {
        (first.isEmpty() ? m_printer.err() : m_printer.out()) << helpText();
        return first.isEmpty() ? 2 : 0;
    }
    if (first == u"--version" || first == u"-v") {
        m_printer.out() << "quillet-cli " << QCoreApplication::applicationVersion() << "\n";
        return 0;
    }
    for (const auto &command : commands()) {
        if (command->name() != first)
            continue;
        // The command word itself stays out of the positional arguments.
        QStringList rest = arguments;
        rest.removeAt(1);
        try {
            return command->run(rest, m_printer);
        } catch (const Failure &failure) {
            return m_printer.failure(failure.description());
        }
    }
    return m_printer.usageError(
        QStringLiteral("unknown command \u201C%1\u201D; see quillet-cli --help").arg(first));
}
