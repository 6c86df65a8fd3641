#include "scanning/tools/DeviceSession.h"

#include "scanning/tools/LockdownErrorText.h"

#include <cstdio>

bool DeviceSession::find(const Target &target)
{
    if (target.debug)
        idevice_set_debug_level(1);

    idevice_t device = nullptr;
    const char *udid = target.udid ? target.udid->c_str() : nullptr;
    const auto lookup = target.network ? IDEVICE_LOOKUP_NETWORK : IDEVICE_LOOKUP_USBMUX;
    if (idevice_new_with_options(&device, udid, lookup) != IDEVICE_E_SUCCESS) {
        if (udid)
            std::fprintf(stderr, "No device found with udid %s.\n", udid);
        else
            std::fprintf(stderr, "No device found.\n");
        return false;
    }
    m_device.reset(device);
    return true;
}

bool DeviceSession::handshake(const char *label)
{
    lockdownd_client_t lockdown = nullptr;
    const lockdownd_error_t error =
        lockdownd_client_new_with_handshake(m_device.get(), &lockdown, label);
    if (error != LOCKDOWN_E_SUCCESS) {
        std::fprintf(stderr, "Could not connect to lockdownd: %s. Exiting.\n",
                     LockdownErrorText::of(error).c_str());
        return false;
    }
    m_lockdown.reset(lockdown);
    return true;
}
