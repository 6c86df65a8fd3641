#include "scanning/tools/XmlOutput.h"

#include "scanning/tools/Owned.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

bool XmlOutput::print(plist_t plist, const char *what)
{
    char *raw = nullptr;
    uint32_t length = 0;
    plist_to_xml(plist, &raw, &length);
    const Owned<char *, freeMemory> xml(raw);
    if (!xml) {
        std::fprintf(stderr, "ERROR: Failed to convert data to XML format.\n");
        return false;
    }
    // A short write means a truncated answer; it must not pass for a complete one.
    if (std::fwrite(xml.get(), 1, length, stdout) != length || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "ERROR: Could not write %s: %s\n", what, std::strerror(errno));
        return false;
    }
    return true;
}
