#pragma once

#include "scanning/tools/ServiceChannel.h"

#include <libimobiledevice/lockdown.h>
#include <plist/plist.h>

#include <cstddef>
#include <string>
#include <vector>

// Reads whole lockdown domains in a session already open, as ideviceinfo -q DOMAIN does, and
// keeps of each only a dictionary small and shallow enough to pass on.
//
// libimobiledevice reads lockdown's answer and builds it with libplist itself; its public calls
// give no bytes to look over first. It reads at most 16 MiB of an answer, the same code serves
// ideviceinfo, and the helper runs under the memory limit and watchdog of any device tool, so
// a hostile answer can at worst end the helper. What it built is bounded here before anything
// of it is printed.
class LockdownDomains {
public:
    // [{Domain, Values}] in the order asked, each domain once ("" is the default domain). One
    // that is refused, missing, no dictionary or past the bounds below is left out.
    static Plist read(lockdownd_client_t lockdown, const std::vector<std::string> &domains);

    // A device's largest domain, the default one, is about 10 KB as XML.
    static constexpr size_t largestValues = 1024 * 1024;
    static constexpr int deepestValues = 32;
    static constexpr size_t mostValues = 50'000;

    // Whether `values` is a dictionary within the bounds above.
    static bool isAcceptable(plist_t values);

    LockdownDomains() = delete;
};
