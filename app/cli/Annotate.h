#pragma once

#include "app/cli/Command.h"

// quillet-cli annotate: names a saved scan and adds notes to it.
class Annotate : public Command {
public:
    Annotate();

protected:
    int execute(const QCommandLineParser &parser, Printer &printer) const override;
};
