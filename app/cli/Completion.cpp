#include "app/cli/Completion.h"

#include "app/cli/CommandLineTool.h"
#include "app/cli/Printer.h"
#include "scanning/AppList.h"
#include "scanning/Column.h"

#include <QMap>

#include <algorithm>

namespace {

// The store's categories, offered for --category whatever the inventory holds.
const QStringList storeCategories = {
    QStringLiteral("Books"),
    QStringLiteral("Business"),
    QStringLiteral("Developer Tools"),
    QStringLiteral("Education"),
    QStringLiteral("Entertainment"),
    QStringLiteral("Finance"),
    QStringLiteral("Food & Drink"),
    QStringLiteral("Games"),
    QStringLiteral("Graphics & Design"),
    QStringLiteral("Health & Fitness"),
    QStringLiteral("Lifestyle"),
    QStringLiteral("Medical"),
    QStringLiteral("Music"),
    QStringLiteral("Navigation"),
    QStringLiteral("News"),
    QStringLiteral("Photo & Video"),
    QStringLiteral("Productivity"),
    QStringLiteral("Reference"),
    QStringLiteral("Shopping"),
    QStringLiteral("Social Networking"),
    QStringLiteral("Sports"),
    QStringLiteral("Travel"),
    QStringLiteral("Utilities"),
    QStringLiteral("Weather"),
};

const QString skeleton = QStringLiteral(
    R"bash(# bash completion for quillet-cli, written by "quillet-cli completion bash" from the program's
# own commands, options and columns. Self-contained: it needs nothing from the bash-completion
# package, so that it also works when sourced by hand.

_quillet_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=""
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands="@COMMANDS@"
    local common="@COMMON@"

    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi

    local values=""
    case $prev in
@VALUES@    esac
    if [[ -n $values ]]; then
        # Column and category names hold spaces and '&': one per line, quoted for the shell.
        local IFS=$'\n' word
        COMPREPLY=()
        for word in $(compgen -W "$values" -- "${cur#[\"\']}"); do
            COMPREPLY+=("$(printf '%q' "$word")")
        done
        return
    fi

    local options
    case ${COMP_WORDS[1]} in
@OPTIONS@        *) return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options $common" -- "$cur"))
    fi
}
complete -F _quillet_cli quillet-cli
)bash");

// Single quotes keep every character but the quote itself, which is closed, escaped, reopened.
QString quoted(const QStringList &lines)
{
    QString text = lines.join(u'\n');
    return u'\'' + text.replace(u'\'', QStringLiteral("'\\''")) + u'\'';
}

// The sort keys: every column of a new scan, and the numbers largest first.
QStringList sortKeys()
{
    QStringList keys = Column::scanFields();
    for (const QString &name : Column::scanFields()) {
        if (Column::described(name).isNumeric())
            keys.append(name + QStringLiteral(":desc"));
    }
    return keys;
}

// What the shell does after an option, by the name of its value in --help. Other values
// (text, an address, a device's identifier) are the user's to type.
QString valueReply(const QString &valueName)
{
    const QString then = QStringLiteral("\n            return ;;");
    if (valueName == u"folder")
        return QStringLiteral(R"(COMPREPLY=($(compgen -d -- "$cur")))") + then;
    if (valueName == u"file")
        return QStringLiteral(R"(COMPREPLY=($(compgen -f -- "$cur")))") + then;
    if (valueName == u"column")
        return QStringLiteral("values=") + quoted(sortKeys()) + QStringLiteral(" ;;");
    if (valueName == u"category")
        return QStringLiteral("values=") +
            quoted(QStringList{AppList::uncategorized} + storeCategories) + QStringLiteral(" ;;");
    return QStringLiteral("return ;;");
}

} // namespace

Completion::Completion()
    : Command({
          .name = QStringLiteral("completion"),
          .usage = QStringLiteral("completion bash"),
          .summary = QStringLiteral("Write the bash completion script"),
          .positionalMin = 1,
          .positionalMax = 1,
          .hidden = true,
          .dataFolder = DataFolder::Unused,
      })
{}

int Completion::execute(const QCommandLineParser &parser, Printer &printer) const
{
    if (parser.positionalArguments().constFirst() != u"bash")
        return printer.usageError(QStringLiteral("usage: quillet-cli %1").arg(usage()));
    printer.out() << bashScript();
    return 0;
}

QString Completion::bashScript()
{
    QStringList commands;
    QString optionCases;
    // The options taking a value, by the value's name; QMap keeps the script the same each time.
    QMap<QString, QStringList> byValue;
    auto names = [&byValue](const QList<QCommandLineOption> &options) {
        QStringList list;
        for (const QCommandLineOption &option : options) {
            list.append(Command::longName(option));
            QStringList &taking = byValue[option.valueName()];
            if (!taking.contains(list.last()))
                taking.append(list.last());
        }
        return list.join(u' ');
    };
    for (const auto &command : CommandLineTool::listedCommands()) {
        commands.append(command->name());
        optionCases += QStringLiteral("        %1) options=\"%2\" ;;\n")
                           .arg(command->name(), names(command->options()));
    }
    const QString common = names(Command::commonOptions());
    byValue.remove(QString());
    // One case for the options whose values are answered alike.
    QList<std::pair<QString, QStringList>> replies;
    for (auto i = byValue.cbegin(); i != byValue.cend(); ++i) {
        const QString reply = valueReply(i.key());
        const auto same = std::find_if(replies.begin(), replies.end(),
                                       [&](const auto &entry) { return entry.first == reply; });
        if (same == replies.end())
            replies.append({reply, i.value()});
        else
            same->second += i.value();
    }
    QString valueCases;
    for (const auto &[reply, options] : std::as_const(replies))
        valueCases +=
            QStringLiteral("        %1)\n            %2\n").arg(options.join(u'|'), reply);

    return QString(skeleton)
        .replace(QStringLiteral("@COMMANDS@"), commands.join(u' '))
        .replace(QStringLiteral("@COMMON@"), common)
        .replace(QStringLiteral("@VALUES@"), valueCases)
        .replace(QStringLiteral("@OPTIONS@"), optionCases);
}
