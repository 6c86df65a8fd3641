#pragma once

#include "scanning/tools/DeviceSession.h"

#include <optional>
#include <string>
#include <string_view>

// A helper's command line, read argument by argument as getopt_long reads options: "--name=value"
// and "--name value" alike. The options every helper takes (-h, -u, -n, -d) are read here.
class ToolArguments {
public:
    using HelpPrinter = void (*)(const std::string &programName);

    // `synopsis` follows the program's name in a usage error's usage line; `printHelp` answers
    // -h. `defaultName` stands in for an empty argv[0].
    ToolArguments(int argc, char **argv, const char *defaultName, const char *synopsis,
                  HelpPrinter printHelp);

    // Moves to the next argument; false past the last.
    bool next();
    std::string_view argument() const { return m_argument; }
    // The argument without the "=value" of a long option.
    std::string_view name() const { return m_name; }
    // The option's value: what follows its '=', or else the next argument.
    std::string value();
    void noValue() const;
    // Reads -h, -u, -n or -d into `target`; false for any other argument.
    bool readCommon(DeviceSession::Target &target);

    [[noreturn]] void usageError(const std::string &message) const;

    // The help's lines for the options readCommon reads.
    static constexpr const char *udidHelp =
        "  -u, --udid UDID       Target specific device by UDID\n";
    static constexpr const char *connectionHelp =
        "  -n, --network         Connect to network device\n"
        "  -d, --debug           Enable communication debugging\n"
        "  -h, --help            Print usage information\n";

private:
    int m_argc;
    char **m_argv;
    int m_index = 0;
    std::string m_programName;
    const char *m_synopsis;
    HelpPrinter m_printHelp;
    std::string_view m_argument;
    std::string_view m_name;
    std::optional<std::string> m_inlineValue;
};
