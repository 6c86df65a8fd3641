#pragma once

#include "app/cli/Command.h"

// quillet-cli report: the inventory report of the current inventory or a saved scan, filtered
// and sorted as the table would be, as a PDF.
class Report : public Command {
public:
    Report();

protected:
    int execute(const QCommandLineParser &parser, Printer &printer) const override;
};
