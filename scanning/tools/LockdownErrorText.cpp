#include "scanning/tools/LockdownErrorText.h"

std::string LockdownErrorText::of(lockdownd_error_t error)
{
    switch (error) {
    case LOCKDOWN_E_INVALID_ARG:
        return "Invalid argument";
    case LOCKDOWN_E_INVALID_CONF:
        return "Invalid configuration";
    case LOCKDOWN_E_PLIST_ERROR:
        return "PropertyList error";
    case LOCKDOWN_E_PAIRING_FAILED:
        return "Pairing failed";
    case LOCKDOWN_E_SSL_ERROR:
        return "SSL error";
    case LOCKDOWN_E_DICT_ERROR:
        return "Invalid dictionary";
    case LOCKDOWN_E_RECEIVE_TIMEOUT:
        return "Receive timeout";
    case LOCKDOWN_E_MUX_ERROR:
        return "Mux error";
    case LOCKDOWN_E_NO_RUNNING_SESSION:
        return "No running session";
    case LOCKDOWN_E_INVALID_RESPONSE:
        return "Invalid response";
    case LOCKDOWN_E_MISSING_KEY:
        return "Missing key";
    case LOCKDOWN_E_MISSING_VALUE:
        return "Missing value";
    case LOCKDOWN_E_GET_PROHIBITED:
        return "Get value prohibited";
    case LOCKDOWN_E_SET_PROHIBITED:
        return "Set value prohibited";
    case LOCKDOWN_E_REMOVE_PROHIBITED:
        return "Remove value prohibited";
    case LOCKDOWN_E_IMMUTABLE_VALUE:
        return "Immutable value";
    case LOCKDOWN_E_PASSWORD_PROTECTED:
        return "Password protected";
    case LOCKDOWN_E_USER_DENIED_PAIRING:
        return "User denied pairing";
    case LOCKDOWN_E_PAIRING_DIALOG_RESPONSE_PENDING:
        return "Pairing dialog response pending";
    case LOCKDOWN_E_MISSING_HOST_ID:
        return "Missing HostID";
    case LOCKDOWN_E_INVALID_HOST_ID:
        return "Invalid HostID";
    case LOCKDOWN_E_SESSION_ACTIVE:
        return "Session active";
    case LOCKDOWN_E_SESSION_INACTIVE:
        return "Session inactive";
    case LOCKDOWN_E_MISSING_SESSION_ID:
        return "Missing session ID";
    case LOCKDOWN_E_INVALID_SESSION_ID:
        return "Invalid session ID";
    case LOCKDOWN_E_MISSING_SERVICE:
        return "Missing service";
    case LOCKDOWN_E_INVALID_SERVICE:
        return "Invalid service";
    case LOCKDOWN_E_SERVICE_LIMIT:
        return "Service limit reached";
    case LOCKDOWN_E_MISSING_PAIR_RECORD:
        return "Missing pair record";
    case LOCKDOWN_E_SAVE_PAIR_RECORD_FAILED:
        return "Saving pair record failed";
    case LOCKDOWN_E_INVALID_PAIR_RECORD:
        return "Invalid pair record";
    case LOCKDOWN_E_INVALID_ACTIVATION_RECORD:
        return "Invalid activation record";
    case LOCKDOWN_E_MISSING_ACTIVATION_RECORD:
        return "Missing activation record";
    case LOCKDOWN_E_SERVICE_PROHIBITED:
        return "Service prohibited";
    case LOCKDOWN_E_ESCROW_LOCKED:
        return "Escrow lock";
    case LOCKDOWN_E_PAIRING_PROHIBITED_OVER_THIS_CONNECTION:
        return "Pairing prohibited over this connection";
    case LOCKDOWN_E_FMIP_PROTECTED:
        return "Find My iPhone/iPod/iPad protected";
    case LOCKDOWN_E_MC_PROTECTED:
        return "MC protected";
    case LOCKDOWN_E_MC_CHALLENGE_REQUIRED:
        return "MC challenge required";
    default:
        break;
    }
    // Keeps codes this table does not know readable as numbers.
    return "Unknown Error (" + std::to_string(static_cast<int>(error)) + ")";
}
