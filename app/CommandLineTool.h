#pragma once

#include "history/SavedScan.h"
#include "scanning/AppList.h"

#include <QCommandLineParser>
#include <QStringList>
#include <QTextStream>

// quillet-cli: the inventory, its history, comparisons and exports from a terminal, over the
// same data folder, files and messages as the window.
class CommandLineTool {
public:
    CommandLineTool(QTextStream &out, QTextStream &err);

    // The exit status: 0 done, 1 the operation failed, 2 the command line was wrong.
    int run(const QStringList &arguments);

private:
    // One command: what it is called, how it is used, what it does and the method that runs it.
    struct Command {
        QString name;
        // The arguments; those in "[--…]" are left out of the overview.
        QString usage;
        QString summary;
        int positionalMin;
        int positionalMax;
        int (CommandLineTool::*run)();
    };
    static const QList<Command> &commands();
    // "Usage: quillet-cli COMMAND [OPTIONS]" and the commands, for --help.
    static QString helpText();

    int scan();
    // One line on a finished scan; `naming` puts the device's name and identifier first.
    static QString scanSummary(const Inventory &inventory, bool naming);
    int devices();
    int history();
    int show();
    int compare();
    int report();
    int annotate();

    // Parses the running command's options; false after a usage error or --help.
    bool parse();
    void addFilterOptions();
    // The inventory to show: a saved scan by id or unique id prefix, or the current one.
    Inventory chosenInventory(const QString &scan);
    SavedScan savedScan(const QString &idOrPrefix);
    // The filtered, sorted rows of an inventory as the table would show them.
    QList<Row> visibleRows(const Inventory &shown);
    QString filterText() const;
    void printTable(const QStringList &headings, const QList<QStringList> &rows);
    // The output of --json: one compact document and a line feed, exactly these bytes.
    void printJson(const QByteArray &json);
    int usageError(const QString &message);

    QTextStream &m_out;
    QTextStream &m_err;
    QStringList m_arguments;
    const Command *m_command = nullptr;
    QCommandLineParser m_parser;
    int m_exitStatus = 0;
};
