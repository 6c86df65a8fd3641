#pragma once

#include "app/cli/Command.h"

#include <QJsonObject>

struct Inventory;

// quillet-cli history: the saved scans, newest first, and how many could not be read.
class History : public Command {
public:
    History();

    // A saved scan as history --json and watch --json write it: its identity, device, date, app
    // count and, when known, device facts.
    static QJsonObject scanJson(const QString &id, const Inventory &inventory, qsizetype appCount);

protected:
    int execute(const QCommandLineParser &parser, Printer &printer) const override;
};
