#pragma once

#include "app/cli/Command.h"

// quillet-cli manual TEMPLATE: the man page, from a hand-written template whose lines
// @COMMANDS@, @LAUNCH_OPTIONS@, @COMMAND_OPTIONS@ and @COLUMNS@ are filled in from the
// command table, the options and the column table. The build installs its output.
class Manual : public Command {
public:
    Manual();

    // Throws on a line of the form @NAME@ that names nothing above.
    static QString page(const QString &templateText);

protected:
    int execute(const QCommandLineParser &parser, Printer &printer) const override;
};
