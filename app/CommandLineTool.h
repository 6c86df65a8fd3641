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
    int scan();
    int history();
    int show();
    int compare();
    int report();
    int annotate();

    // Parses this command's options; false after a usage error or --help.
    bool parse(const QStringList &arguments, const QString &usage, int positionalMin,
               int positionalMax);
    void addFilterOptions();
    // The inventory to show: a saved scan by id or unique id prefix, or the current one.
    Inventory chosenInventory(const QString &scan);
    SavedScan savedScan(const QString &idOrPrefix);
    // The filtered, sorted rows of an inventory as the table would show them.
    QList<Row> visibleRows(const Inventory &shown);
    QString filterText() const;
    void printTable(const QStringList &headings, const QList<QStringList> &rows);
    int usageError(const QString &message);

    QTextStream &m_out;
    QTextStream &m_err;
    QStringList m_arguments;
    QString m_command;
    QCommandLineParser m_parser;
    int m_exitStatus = 0;
};
