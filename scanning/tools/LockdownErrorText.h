#pragma once

#include <libimobiledevice/lockdown.h>

#include <string>

// libimobiledevice 1.3.0 has no lockdownd_strerror; these names stand in for it, so that a
// locked or untrusted device reads as such rather than as a bare number. The helpers print
// them in the words the libimobiledevice tools use, which Quillet's messages build on.
class LockdownErrorText {
public:
    static std::string of(lockdownd_error_t error);

    LockdownErrorText() = delete;
};
