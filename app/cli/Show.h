#pragma once

#include "app/cli/Command.h"

// quillet-cli show: the current inventory or a saved scan, filtered and sorted, as a table,
// the window's CSV export or JSON.
class Show : public Command {
public:
    Show();

protected:
    int execute(const QCommandLineParser &parser, Printer &printer) const override;
};
