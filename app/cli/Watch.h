#pragma once

#include "app/cli/Command.h"

// quillet-cli watch: waits for devices and scans each one once when it is connected, until
// Ctrl-C or a number of scans. A locked device is scanned as soon as it is unlocked; a device
// that stays connected is not scanned again until it is unplugged.
class Watch : public Command {
public:
    Watch();

protected:
    int execute(const QCommandLineParser &parser, Printer &printer) const override;
};
