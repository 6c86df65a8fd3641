#pragma once

#include "app/cli/Command.h"

// quillet-cli device: the device sheet of the current inventory or a saved scan, with its
// warnings, as text or JSON.
class Device : public Command {
public:
    Device();

protected:
    int execute(const QCommandLineParser &parser, Printer &printer) const override;
};
