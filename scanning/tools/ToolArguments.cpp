#include "scanning/tools/ToolArguments.h"

#include <cstdio>
#include <cstdlib>

ToolArguments::ToolArguments(int argc, char **argv, const char *defaultName, const char *synopsis,
                             HelpPrinter printHelp)
    : m_argc(argc),
      m_argv(argv),
      m_programName(defaultName),
      m_synopsis(synopsis),
      m_printHelp(printHelp)
{
    // The name this program was started by, for its usage text.
    if (argc > 0 && *argv[0]) {
        const std::string_view path = argv[0];
        m_programName = std::string(path.substr(path.rfind('/') + 1));
    }
}

bool ToolArguments::next()
{
    if (++m_index >= m_argc)
        return false;
    m_argument = m_argv[m_index];
    m_name = m_argument;
    m_inlineValue.reset();
    if (m_argument.starts_with("--")) {
        if (const auto equals = m_argument.find('='); equals != std::string_view::npos) {
            m_name = m_argument.substr(0, equals);
            m_inlineValue = std::string(m_argument.substr(equals + 1));
        }
    }
    return true;
}

std::string ToolArguments::value()
{
    if (m_inlineValue)
        return *m_inlineValue;
    if (m_index + 1 >= m_argc)
        usageError("option " + std::string(m_name) + " needs a value.");
    return m_argv[++m_index];
}

void ToolArguments::noValue() const
{
    if (m_inlineValue)
        usageError("option " + std::string(m_name) + " takes no value.");
}

bool ToolArguments::readCommon(DeviceSession::Target &target)
{
    if (m_name == "-h" || m_name == "--help") {
        m_printHelp(m_programName);
        std::exit(EXIT_SUCCESS);
    } else if (m_name == "-u" || m_name == "--udid") {
        target.udid = value();
        if (target.udid->empty())
            usageError("UDID must not be empty!");
    } else if (m_name == "-n" || m_name == "--network") {
        noValue();
        target.network = true;
    } else if (m_name == "-d" || m_name == "--debug") {
        noValue();
        target.debug = true;
    } else {
        return false;
    }
    return true;
}

void ToolArguments::usageError(const std::string &message) const
{
    std::fprintf(stderr, "ERROR: %s\nUsage: %s %s", message.c_str(), m_programName.c_str(),
                 m_synopsis);
    std::exit(EXIT_FAILURE);
}
