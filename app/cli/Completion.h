#pragma once

#include "app/cli/Command.h"

// quillet-cli completion bash: the bash completion script, made from the command table, each
// command's options and the column table, so that it offers exactly what the program takes.
// The build installs its output.
class Completion : public Command {
public:
    Completion();

    static QString bashScript();

protected:
    int execute(const QCommandLineParser &parser, Printer &printer) const override;
};
