#pragma once

#include "app/cli/Command.h"
#include "app/cli/Printer.h"

#include <QStringList>
#include <QTextStream>

#include <memory>

// quillet-cli: the inventory, its history, comparisons and exports from a terminal, over the
// same data folder, files and messages as the window. This class chooses the command; each
// command is a class of its own.
class CommandLineTool {
public:
    CommandLineTool(QTextStream &out, QTextStream &err);

    // The exit status: 0 done, 1 the operation failed, 2 the command line was wrong.
    int run(const QStringList &arguments);

    // Every command, in the order the overview lists them. The help, the bash completion and
    // the man page are made from this table.
    static const QList<std::shared_ptr<const Command>> &commands();
    // The commands for people: all but the build's own.
    static QList<std::shared_ptr<const Command>> listedCommands();

private:
    // "Usage: quillet-cli COMMAND [OPTIONS]" and the commands, for --help.
    static QString helpText();

    Printer m_printer;
};
