#pragma once

#include "app/cli/Command.h"

// quillet-cli devices: the connected devices' identifiers and names.
class Devices : public Command {
public:
    Devices();

protected:
    int execute(const QCommandLineParser &parser, Printer &printer) const override;
};
