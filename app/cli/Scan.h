#pragma once

#include "app/cli/Command.h"
#include "scanning/Inventory.h"

// quillet-cli scan: scans the connected device, one chosen device or each in turn, and saves
// the inventory. Ctrl-C cancels and keeps the previous inventory.
class Scan : public Command {
public:
    Scan();

    // One line on a finished scan; `naming` puts the device's name and identifier first.
    static QString resultLine(const Inventory &inventory, bool naming);

protected:
    int execute(const QCommandLineParser &parser, Printer &printer) const override;
};
