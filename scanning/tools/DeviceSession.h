#pragma once

#include "scanning/tools/Owned.h"

#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>

#include <optional>
#include <string>

// A device looked up and its lockdown greeted with a handshake, as the libimobiledevice tools
// do it and with their messages when either fails.
class DeviceSession {
public:
    // The device to reach, as -u, -n and -d name it.
    struct Target {
        std::optional<std::string> udid;
        bool network = false;
        bool debug = false;
    };

    // False, after saying so on standard error, when no such device is found.
    bool find(const Target &target);
    // Opens a lockdown session under `label`; false, after saying why on standard error.
    bool handshake(const char *label);
    // Services started in the session outlive it, and the device allows few sessions.
    void endLockdown() { m_lockdown.reset(); }

    idevice_t device() const { return m_device.get(); }
    lockdownd_client_t lockdown() const { return m_lockdown.get(); }

private:
    // The device outlives its lockdown session.
    Owned<idevice_t, idevice_free> m_device;
    Owned<lockdownd_client_t, lockdownd_client_free> m_lockdown;
};
