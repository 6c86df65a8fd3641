#pragma once

#include "app/cli/Command.h"

// quillet-cli compare: what changed from one saved scan to another, as a table, JSON or the
// comparison report.
class Compare : public Command {
public:
    Compare();

protected:
    int execute(const QCommandLineParser &parser, Printer &printer) const override;
};
