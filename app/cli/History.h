#pragma once

#include "app/cli/Command.h"

// quillet-cli history: the saved scans, newest first, and how many could not be read.
class History : public Command {
public:
    History();

protected:
    int execute(const QCommandLineParser &parser, Printer &printer) const override;
};
