#include "app/cli/Manual.h"

#include "app/cli/CommandLineTool.h"
#include "app/cli/Printer.h"
#include "common/DataFile.h"
#include "common/Failure.h"
#include "common/LaunchOptions.h"
#include "scanning/Column.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

QString escaped(QString text)
{
    return text.replace(u'\\', QStringLiteral("\\e"));
}

// An option's name, its hyphens as roff's minus signs so that the page can be searched.
QString optionName(const QString &word)
{
    return escaped(word).replace(u'-', QStringLiteral("\\-"));
}

// A line of help text in roff: --options in bold, <values> in italics and, in a usage, the
// arguments' names (SCAN, FILE) in italics too.
QString roff(const QString &text, bool usage)
{
    static const QRegularExpression styled(QStringLiteral(R"(--[a-z][a-z-]*|<[^>]+>|\b[A-Z]+\b)"));
    QString line;
    qsizetype done = 0;
    for (auto matches = styled.globalMatch(text); matches.hasNext();) {
        const QRegularExpressionMatch match = matches.next();
        line += escaped(text.mid(done, match.capturedStart() - done));
        const QString word = match.captured();
        if (word.startsWith(u'-'))
            line += QStringLiteral("\\fB") + optionName(word) + QStringLiteral("\\fR");
        else if (word.startsWith(u'<'))
            line += QStringLiteral("\\fI") + escaped(word.mid(1, word.size() - 2)) +
                QStringLiteral("\\fR");
        else
            line += usage ? QStringLiteral("\\fI") + word + QStringLiteral("\\fR") : word;
        done = match.capturedEnd();
    }
    line += escaped(text.mid(done));
    // A line that begins with a dot or a quote would be read as a request.
    if (line.startsWith(u'.') || line.startsWith(u'\''))
        line.prepend(QStringLiteral("\\&"));
    return line;
}

QString quotedArgument(QString text)
{
    return u'"' + escaped(text).replace(u'"', QStringLiteral("\\(dq")) + u'"';
}

QStringList optionEntries(const QList<QCommandLineOption> &options)
{
    QStringList lines;
    for (const QCommandLineOption &option : options) {
        const QString name = optionName(Command::longName(option));
        lines << QStringLiteral(".TP")
              << (option.valueName().isEmpty()
                      ? QStringLiteral(".B ") + name
                      : QStringLiteral(".BI %1 %2")
                            .arg(name, quotedArgument(u' ' + option.valueName())))
              << roff(option.description(), false);
    }
    return lines;
}

QStringList commands()
{
    QStringList lines;
    for (const auto &command : CommandLineTool::listedCommands()) {
        const QString arguments = command->usage().mid(command->name().size());
        lines << QStringLiteral(".TP")
              << QStringLiteral("\\fB%1\\fR%2").arg(command->name(), roff(arguments, true))
              << roff(command->summary() + u'.', false);
    }
    return lines;
}

QStringList launchOptions()
{
    return optionEntries(LaunchOptions::options());
}

QStringList commandOptions()
{
    QStringList lines;
    for (const auto &command : CommandLineTool::listedCommands()) {
        if (!command->options().isEmpty())
            lines << QStringLiteral(".SS ") + command->name() << optionEntries(command->options());
    }
    return lines;
}

// The columns of a new scan in a sentence: "A, B and C."
QStringList columns()
{
    const QStringList names = Column::scanFields();
    QStringList lines;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString name = quotedArgument(names[i]);
        if (i == names.size() - 1)
            lines << QStringLiteral(".BR %1 .").arg(name);
        else if (i == names.size() - 2)
            lines << QStringLiteral(".B ") + name << QStringLiteral("and");
        else
            lines << QStringLiteral(".BR %1 ,").arg(name);
    }
    return lines;
}

} // namespace

Manual::Manual()
    : Command({
          .name = QStringLiteral("manual"),
          .usage = QStringLiteral("manual TEMPLATE"),
          .summary = QStringLiteral("Write the man page from its template"),
          .positionalMin = 1,
          .positionalMax = 1,
          .hidden = true,
          .dataFolder = DataFolder::Unused,
      })
{}

int Manual::execute(const QCommandLineParser &parser, Printer &printer) const
{
    const QByteArray text = DataFile::read(parser.positionalArguments().constFirst());
    printer.out() << page(QString::fromUtf8(text));
    return 0;
}

QString Manual::page(const QString &templateText)
{
    static const QList<std::pair<QString, QStringList (*)()>> fragments = {
        {QStringLiteral("@COMMANDS@"), commands},
        {QStringLiteral("@LAUNCH_OPTIONS@"), launchOptions},
        {QStringLiteral("@COMMAND_OPTIONS@"), commandOptions},
        {QStringLiteral("@COLUMNS@"), columns},
    };
    QStringList lines;
    for (const QString &line : templateText.split(u'\n')) {
        if (line.size() < 3 || !line.startsWith(u'@') || !line.endsWith(u'@')) {
            lines.append(line);
            continue;
        }
        const auto fragment = std::find_if(fragments.begin(), fragments.end(),
                                           [&](const auto &entry) { return entry.first == line; });
        if (fragment == fragments.end())
            throw Failure(QStringLiteral("The man page template has a line \u201C%1\u201D that "
                                         "quillet-cli cannot fill in.")
                              .arg(line));
        lines.append(fragment->second());
    }
    return lines.join(u'\n');
}
