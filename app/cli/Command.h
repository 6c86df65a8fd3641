#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

class Printer;

// One command of quillet-cli: its name, how it is used, its own options and what it does. The
// options every command takes (LaunchOptions and --help) are added when it runs.
class Command {
public:
    // What the command does with the data folder: reads it, so it must exist; makes it when
    // it is missing (a scan saves there); or never looks at it.
    enum class DataFolder { Needed, MadeIfMissing, Unused };

    struct Definition {
        QString name = {};
        // The arguments; those in "[--…]" are left out of the overview.
        QString usage = {};
        QString summary = {};
        int positionalMin = 0;
        int positionalMax = 0;
        QList<QCommandLineOption> options = {};
        // Left out of the overview, the completion and the man page: tools for the build.
        bool hidden = false;
        // Reading a data folder that is not there would pass for an empty history.
        DataFolder dataFolder = DataFolder::Needed;
    };

    explicit Command(Definition definition);
    virtual ~Command();
    Command(const Command &) = delete;
    Command &operator=(const Command &) = delete;

    const QString &name() const { return m_definition.name; }
    const QString &usage() const { return m_definition.usage; }
    // The usage without its options, as the overview shows it: "show [SCAN]".
    QString synopsis() const;
    const QString &summary() const { return m_definition.summary; }
    const QList<QCommandLineOption> &options() const { return m_definition.options; }
    bool isHidden() const { return m_definition.hidden; }

    // The options every command takes besides its own: LaunchOptions, then --help.
    static QList<QCommandLineOption> commonOptions();
    // "--help" for -h, --help.
    static QString longName(const QCommandLineOption &option);

    // Parses `arguments` (the program, then what follows the command word), then runs the
    // command. The exit status: 0 done, 1 the operation failed, 2 the command line was wrong.
    int run(const QStringList &arguments, Printer &printer) const;

protected:
    // Runs the command once its arguments are known to fit its usage.
    virtual int execute(const QCommandLineParser &parser, Printer &printer) const = 0;

private:
    Definition m_definition;
};
