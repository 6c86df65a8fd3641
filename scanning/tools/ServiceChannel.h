#pragma once

#include "scanning/tools/Owned.h"

#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <libimobiledevice/service.h>
#include <plist/plist.h>

#include <chrono>
#include <cstdint>

using Plist = Owned<plist_t, plist_free>;

// A started device service that speaks in property lists, each framed by a 4-byte big-endian
// length. Every answer is read as bytes and looked over by PropertyListCheck before libplist
// builds any of it, and no wait outlasts the time it is given.
class ServiceChannel {
public:
    enum class Outcome {
        Answered,
        Silent, // nothing, or not all of it, within the time given
        Closed, // the device hung up or the connection failed
        TooLarge, // longer than the limit; the rest of it was not read
        Unsafe, // refused by PropertyListCheck
        NotPlist, // read whole, but no property list
    };
    struct Reply {
        Outcome outcome = Outcome::Closed;
        Plist message;
        // What the answer's header announced; 0 when no header was read or it announced none.
        uint32_t length = 0;
        // libimobiledevice's error for a Silent or Closed outcome.
        service_error_t error = SERVICE_E_SUCCESS;
    };
    // What a receive's limit bounds: the whole answer, or each silence while it arrives.
    enum class Bound { WholeAnswer, EachSilence };

    // Connects to a service lockdown started; false when the device does not take it.
    bool open(idevice_t device, lockdownd_service_descriptor_t service);

    // Springboard's services are spoken to in binary, as libimobiledevice does.
    enum class Format { Xml, Binary };
    bool send(plist_t message, Format format = Format::Xml);
    // An answer longer than `largest` is TooLarge.
    Reply receive(std::chrono::milliseconds limit, Bound bound = Bound::WholeAnswer,
                  uint32_t largest = messageLimit);
    // Reads and drops the rest of a TooLarge answer, at most `largest` bytes of it, so that the
    // next answer can be read; false when it could not be read within `limit` or is longer.
    bool skip(const Reply &tooLarge, std::chrono::milliseconds limit, uint32_t largest);
    // A request and its answer, with `limit` for the answer.
    Reply ask(plist_t request, std::chrono::milliseconds limit);

    // After these the next answer cannot be told from the rest of this one.
    static bool lostStep(Outcome outcome)
    {
        return outcome == Outcome::Silent || outcome == Outcome::Closed ||
            outcome == Outcome::TooLarge;
    }

    // A few hundred kilobytes at most for what these services answer; this leaves ample room.
    static constexpr uint32_t messageLimit = 8 * 1024 * 1024;

private:
    struct Wait {
        std::chrono::milliseconds limit;
        Bound bound;
        std::chrono::steady_clock::time_point until;
    };
    bool receiveExactly(char *data, uint32_t size, const Wait &wait, Reply &reply);

    Owned<service_client_t, service_client_free> m_client;
};
