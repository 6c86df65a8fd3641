// quillet-devicehealth: the battery's wear and the configuration profiles of a device, which no
// libimobiledevice tool prints in a form a program can read. It asks the diagnostics relay for
// the battery's registry entry and the profile service for its cloud configuration and profile
// list, and prints what it could read as one XML property list:
//   Battery            CycleCount, DesignCapacity, AppleRawMaxCapacity, NominalChargeCapacity
//   CloudConfiguration IsSupervised, OrganizationName
//   Profiles           [{Identifier, DisplayName, Organization}]
//   Problems           Battery, Profiles: why that part could not be read, in one sentence
//   Lockdown           [{Domain, Values}]: with --domain, each domain's values as ideviceinfo -q
//                      prints them, read in the same lockdown session ("" is the default domain)
// Each part stands alone: one the device refuses or garbles is left out and named in Problems
// (a domain is just left out of Lockdown), and the tool still succeeds. It fails only when the
// device cannot be reached at all, with the messages the libimobiledevice tools give. Every
// service's answer is looked over by PropertyListCheck before libplist builds it, and only plain
// values in sensible ranges are passed on; lockdown's, which libimobiledevice builds itself, are
// bounded after (LockdownDomains).

#include "scanning/tools/DeviceSession.h"
#include "scanning/tools/LockdownDomains.h"
#include "scanning/tools/Owned.h"
#include "scanning/tools/ServiceChannel.h"
#include "scanning/tools/ToolArguments.h"
#include "scanning/tools/XmlOutput.h"

#include <libimobiledevice/lockdown.h>
#include <plist/plist.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char *label = "quillet-devicehealth";
constexpr const char *diagnosticsService = "com.apple.mobile.diagnostics_relay";
constexpr const char *profileService = "com.apple.mobile.MCInstall";

// Each answer gets this long; a service that stays silent that long is taken to be wedged.
constexpr std::chrono::milliseconds answerLimit = 10s;
// Goodbye is a courtesy; its answer is not worth waiting for.
constexpr std::chrono::milliseconds goodbyeLimit = 2s;
// The whole run, services and all, stays well inside the three minutes a scan gives a tool.
constexpr std::chrono::milliseconds runLimit = 40s;
// libimobiledevice's own waits on lockdown are long; a device answers it in well under a second,
// so one silent this long is wedged. Past the services' time, a wedged connection ends the run.
constexpr unsigned int lockdownSeconds = 15;
constexpr unsigned int watchdogSeconds = 60;

// Above this no battery has counted cycles or milliampere-hours.
constexpr uint64_t largestValue = 1'000'000;
constexpr size_t longestText = 200;
constexpr size_t mostProfiles = 100;

void printHelp(const std::string &programName)
{
    std::printf("Usage: %s [OPTIONS]\n"
                "\n"
                "Prints the battery's wear and the configuration profiles of an iOS device\n"
                "as one XML property list.\n"
                "\n"
                "OPTIONS:\n"
                "%s"
                "  --domain NAME         Also print the values of this lockdown domain\n"
                "                        (\"\" for the default one; can be passed multiple times)\n"
                "%s",
                programName.c_str(), ToolArguments::udidHelp, ToolArguments::connectionHelp);
}

struct Options {
    DeviceSession::Target target;
    // Read only when given, so that the output stays as it was without them.
    std::optional<std::vector<std::string>> domains;
};

Options parseArguments(int argc, char **argv)
{
    Options options;
    ToolArguments arguments(argc, argv, label, "[-u UDID] [-n] [--domain NAME]...\n", printHelp);
    while (arguments.next()) {
        const std::string_view name = arguments.name();
        if (arguments.readCommon(options.target)) {
            continue;
        } else if (name == "--domain") {
            std::string domain = arguments.value();
            if (!options.domains)
                options.domains.emplace();
            options.domains->push_back(std::move(domain));
        } else if (name.starts_with("-")) {
            arguments.usageError("unknown option '" + std::string(arguments.argument()) + "'.");
        } else {
            arguments.usageError("unexpected argument '" + std::string(arguments.argument()) +
                                 "'.");
        }
    }
    return options;
}

// A text of the device's, when it is one worth showing: valid UTF-8 of at most longestText
// characters once control and direction-changing characters are dropped, and not blank.
std::optional<std::string> sensibleText(std::string_view text)
{
    std::string kept;
    size_t characters = 0;
    bool blank = true;
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const size_t length = byte < 0x80 ? 1
            : byte >> 5 == 0x6            ? 2
            : byte >> 4 == 0xE            ? 3
            : byte >> 3 == 0x1E           ? 4
                                          : 0;
        if (length == 0 || i + length > text.size())
            return std::nullopt;
        uint32_t point = length == 1 ? byte : byte & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if (next >> 6 != 0x2)
                return std::nullopt;
            point = point << 6 | (next & 0x3F);
        }
        // Overlong forms, surrogates and points past Unicode's end are not text.
        static constexpr uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < smallest[length] || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF)
            return std::nullopt;
        const bool control = point < 0x20 || (point >= 0x7F && point <= 0x9F) ||
            (point >= 0x202A && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069) ||
            point == 0x200E || point == 0x200F;
        if (!control) {
            if (++characters > longestText)
                return std::nullopt;
            blank = blank && point == ' ';
            kept.append(text.substr(i, length));
        }
        i += length;
    }
    if (blank)
        return std::nullopt;
    return kept;
}

std::optional<std::string> sensibleText(plist_t node)
{
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return std::nullopt;
    char *raw = nullptr;
    plist_get_string_val(node, &raw);
    const Owned<char *, freeMemory> owned(raw);
    if (!raw)
        return std::nullopt;
    return sensibleText(std::string_view(raw));
}

// A count or capacity when it is an integer from `least` to largestValue.
std::optional<uint64_t> sensibleNumber(plist_t node, uint64_t least)
{
    if (!node || plist_get_node_type(node) != PLIST_UINT)
        return std::nullopt;
    uint64_t value = 0;
    plist_get_uint_val(node, &value);
    // A negative number reads as one above 2^63.
    if (value < least || value > largestValue)
        return std::nullopt;
    return value;
}

plist_t dictItem(plist_t dict, const char *key, plist_type type)
{
    if (!dict || plist_get_node_type(dict) != PLIST_DICT)
        return nullptr;
    const plist_t node = plist_dict_get_item(dict, key);
    return node && plist_get_node_type(node) == type ? node : nullptr;
}

bool hasText(plist_t dict, const char *key, std::string_view expected)
{
    const plist_t node = dictItem(dict, key, PLIST_STRING);
    if (!node)
        return false;
    char *raw = nullptr;
    plist_get_string_val(node, &raw);
    const Owned<char *, freeMemory> owned(raw);
    return raw && expected == raw;
}

// The run's clock: no answer is waited for past the run's end.
struct Deadline {
    Clock::time_point end = Clock::now() + runLimit;

    std::chrono::milliseconds limit(std::chrono::milliseconds wanted) const
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        return std::max(std::chrono::milliseconds(0), std::min(wanted, left));
    }
};

// Why an answer could not be used, as Problems says it.
std::string sentenceFor(ServiceChannel::Outcome outcome, std::chrono::milliseconds waited)
{
    using Outcome = ServiceChannel::Outcome;
    switch (outcome) {
    case Outcome::Silent:
        return waited == answerLimit ? "the device did not answer within " +
                std::to_string(answerLimit.count() / 1000) + " seconds"
                                     : "the device took too long to answer";
    case Outcome::Closed:
        return "the device closed the connection before it answered";
    case Outcome::TooLarge:
        return "the answer was too large to be read safely";
    case Outcome::Unsafe:
        return "the answer was malformed, too large or too deeply nested to be read safely";
    case Outcome::NotPlist:
        return "the answer was not a property list";
    case Outcome::Answered:
        break;
    }
    return "the answer could not be used";
}

Plist request(const char *key, const char *value)
{
    Plist message(plist_new_dict());
    plist_dict_set_item(message.get(), key, plist_new_string(value));
    return message;
}

// The registry entry the diagnostics relay answers with, or null when it answered none.
plist_t ioRegistry(plist_t answer)
{
    if (!hasText(answer, "Status", "Success"))
        return nullptr;
    const plist_t entry =
        dictItem(dictItem(answer, "Diagnostics", PLIST_DICT), "IORegistry", PLIST_DICT);
    return entry && plist_dict_get_size(entry) > 0 ? entry : nullptr;
}

// Asks the diagnostics relay for the battery's registry entry: by class first, then by name,
// as devices differ in which they answer. Sets Battery or Problems' Battery.
void readBattery(ServiceChannel &relay, const Deadline &deadline, plist_t output, plist_t problems)
{
    Plist lookup(plist_new_dict());
    plist_dict_set_item(lookup.get(), "Request", plist_new_string("IORegistry"));
    plist_dict_set_item(lookup.get(), "EntryClass", plist_new_string("IOPMPowerSource"));
    const auto firstWait = deadline.limit(answerLimit);
    ServiceChannel::Reply reply = relay.ask(lookup.get(), firstWait);
    std::optional<std::string> problem;
    if (reply.outcome != ServiceChannel::Outcome::Answered)
        problem = sentenceFor(reply.outcome, firstWait);

    plist_t entry = ioRegistry(reply.message.get());
    if (!entry && !ServiceChannel::lostStep(reply.outcome)) {
        lookup.reset(plist_new_dict());
        plist_dict_set_item(lookup.get(), "Request", plist_new_string("IORegistry"));
        plist_dict_set_item(lookup.get(), "EntryName", plist_new_string("AppleSmartBattery"));
        const auto wait = deadline.limit(answerLimit);
        reply = relay.ask(lookup.get(), wait);
        if (reply.outcome != ServiceChannel::Outcome::Answered)
            problem = sentenceFor(reply.outcome, wait);
        entry = ioRegistry(reply.message.get());
    }
    if (!ServiceChannel::lostStep(reply.outcome)) {
        const Plist goodbye = request("Request", "Goodbye");
        relay.ask(goodbye.get(), deadline.limit(goodbyeLimit));
    }

    if (!entry) {
        plist_dict_set_item(
            problems, "Battery",
            plist_new_string(problem ? problem->c_str() : "the device reported no battery entry"));
        return;
    }
    // Some devices keep a value only in the entry's BatteryData.
    const plist_t data = dictItem(entry, "BatteryData", PLIST_DICT);
    Plist battery(plist_new_dict());
    for (const char *key :
         {"CycleCount", "DesignCapacity", "AppleRawMaxCapacity", "NominalChargeCapacity"}) {
        // A new battery has counted no cycles; no battery holds nothing.
        const uint64_t least = std::string_view(key) == "CycleCount" ? 0 : 1;
        std::optional<uint64_t> value = sensibleNumber(plist_dict_get_item(entry, key), least);
        if (!value && data)
            value = sensibleNumber(plist_dict_get_item(data, key), least);
        if (value)
            plist_dict_set_item(battery.get(), key, plist_new_uint(*value));
    }
    if (plist_dict_get_size(battery.get()) == 0) {
        plist_dict_set_item(problems, "Battery",
                            plist_new_string("the device's battery values were missing or out "
                                             "of range"));
        return;
    }
    plist_dict_set_item(output, "Battery", battery.release());
}

void readCloudConfiguration(plist_t answer, plist_t output)
{
    if (!hasText(answer, "Status", "Acknowledged"))
        return;
    const plist_t configuration = dictItem(answer, "CloudConfiguration", PLIST_DICT);
    Plist kept(plist_new_dict());
    if (const plist_t supervised = dictItem(configuration, "IsSupervised", PLIST_BOOLEAN)) {
        uint8_t value = 0;
        plist_get_bool_val(supervised, &value);
        plist_dict_set_item(kept.get(), "IsSupervised", plist_new_bool(value));
    }
    const plist_t name =
        configuration ? plist_dict_get_item(configuration, "OrganizationName") : nullptr;
    if (const std::optional<std::string> text = sensibleText(name))
        plist_dict_set_item(kept.get(), "OrganizationName", plist_new_string(text->c_str()));
    if (plist_dict_get_size(kept.get()) > 0)
        plist_dict_set_item(output, "CloudConfiguration", kept.release());
}

// A profile's identifier as the device keys its metadata, and as it is shown.
struct ProfileKey {
    std::string key;
    std::string shown;
};

// The identifiers in the order the device lists them, then any it describes but leaves out of
// that order, sorted; each once, at most mostProfiles + 1 of them (one more tells of the cut).
std::vector<ProfileKey> profileOrder(plist_t answer, plist_t metadata)
{
    std::vector<ProfileKey> order;
    std::set<std::string> seen;
    const auto add = [&](std::string_view key) {
        // Told apart as the device keys them: two that merely look alike are both shown.
        std::optional<std::string> shown = sensibleText(key);
        if (shown && order.size() <= mostProfiles && seen.emplace(key).second)
            order.push_back({std::string(key), std::move(*shown)});
    };
    if (const plist_t ordered = dictItem(answer, "OrderedIdentifiers", PLIST_ARRAY)) {
        const uint32_t count = plist_array_get_size(ordered);
        for (uint32_t i = 0; i < count && order.size() <= mostProfiles; ++i) {
            const plist_t item = plist_array_get_item(ordered, i);
            if (plist_get_node_type(item) != PLIST_STRING)
                continue;
            char *raw = nullptr;
            plist_get_string_val(item, &raw);
            const Owned<char *, freeMemory> owned(raw);
            if (raw)
                add(raw);
        }
    }
    if (metadata && order.size() <= mostProfiles) {
        std::vector<std::string> rest;
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(metadata, &iterator);
        for (;;) {
            char *key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(metadata, iterator, &key, &value);
            if (!key)
                break;
            const Owned<char *, freeMemory> owned(key);
            rest.emplace_back(key);
        }
        std::free(iterator);
        std::sort(rest.begin(), rest.end());
        for (const std::string &key : rest)
            add(key);
    }
    return order;
}

// Sets Profiles from the profile list, or Problems' Profiles when it is an error.
void readProfileList(plist_t answer, plist_t output, plist_t problems)
{
    if (!hasText(answer, "Status", "Acknowledged")) {
        plist_dict_set_item(problems, "Profiles",
                            plist_new_string("the device answered the profile list request "
                                             "with an error"));
        return;
    }
    const plist_t metadata = dictItem(answer, "ProfileMetadata", PLIST_DICT);
    std::vector<ProfileKey> order = profileOrder(answer, metadata);
    if (order.size() > mostProfiles) {
        order.resize(mostProfiles);
        plist_dict_set_item(
            problems, "Profiles",
            plist_new_string(("the device listed more than " + std::to_string(mostProfiles) +
                              " profiles; only the first " + std::to_string(mostProfiles) +
                              " were read")
                                 .c_str()));
    }
    Plist profiles(plist_new_array());
    for (const ProfileKey &identifier : order) {
        Plist profile(plist_new_dict());
        plist_dict_set_item(profile.get(), "Identifier",
                            plist_new_string(identifier.shown.c_str()));
        const plist_t about =
            metadata ? dictItem(metadata, identifier.key.c_str(), PLIST_DICT) : nullptr;
        if (about) {
            if (const auto name = sensibleText(plist_dict_get_item(about, "PayloadDisplayName")))
                plist_dict_set_item(profile.get(), "DisplayName", plist_new_string(name->c_str()));
            if (const auto who = sensibleText(plist_dict_get_item(about, "PayloadOrganization")))
                plist_dict_set_item(profile.get(), "Organization", plist_new_string(who->c_str()));
        }
        plist_array_append_item(profiles.get(), profile.release());
    }
    plist_dict_set_item(output, "Profiles", profiles.release());
}

// Asks the profile service for the cloud configuration, then the profile list.
void readProfiles(ServiceChannel &service, const Deadline &deadline, plist_t output,
                  plist_t problems)
{
    const auto fail = [&](ServiceChannel::Outcome outcome, std::chrono::milliseconds waited) {
        plist_dict_set_item(problems, "Profiles",
                            plist_new_string(sentenceFor(outcome, waited).c_str()));
    };
    const Plist cloud = request("RequestType", "GetCloudConfiguration");
    auto wait = deadline.limit(answerLimit);
    const ServiceChannel::Reply configuration = service.ask(cloud.get(), wait);
    // A device that is not supervised may well answer an error; that leaves the part out, not
    // the profiles.
    if (ServiceChannel::lostStep(configuration.outcome))
        return fail(configuration.outcome, wait);
    readCloudConfiguration(configuration.message.get(), output);

    const Plist list = request("RequestType", "GetProfileList");
    wait = deadline.limit(answerLimit);
    const ServiceChannel::Reply profiles = service.ask(list.get(), wait);
    if (profiles.outcome != ServiceChannel::Outcome::Answered)
        return fail(profiles.outcome, wait);
    readProfileList(profiles.message.get(), output, problems);
}

// A service lockdown started, or a sentence saying why there is none.
struct Started {
    Owned<lockdownd_service_descriptor_t, lockdownd_service_descriptor_free> service;
    std::string problem;
};

Started start(lockdownd_client_t lockdown, const char *name, const char *refused)
{
    lockdownd_service_descriptor_t raw = nullptr;
    const lockdownd_error_t error = lockdownd_start_service(lockdown, name, &raw);
    Started started;
    started.service.reset(raw);
    if (error != LOCKDOWN_E_SUCCESS || !raw) {
        started.service.reset();
        started.problem = refused;
    }
    return started;
}

// What the watchdog says when it ends the run; it is set before each alarm.
const char *volatile watchdogMessage = "";

void onWatchdog(int)
{
    const char *message = watchdogMessage;
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, message, std::strlen(message));
    _exit(EXIT_FAILURE);
}

void watch(unsigned int seconds, const char *message)
{
    watchdogMessage = message;
    alarm(seconds);
}

int readHealth(const Options &options)
{
    DeviceSession session;
    if (!session.find(options.target))
        return EXIT_FAILURE;
    // In the words libimobiledevice uses for a lockdown that does not answer.
    watch(lockdownSeconds, "Could not connect to lockdownd: Receive timeout. Exiting.\n");
    if (!session.handshake(label))
        return EXIT_FAILURE;
    const Deadline deadline;
    // In this session rather than one more tool's each: every session costs a handshake.
    Plist domains;
    if (options.domains)
        domains = LockdownDomains::read(session.lockdown(), *options.domains);
    // Both services are started in the one session; the device allows few.
    const Started diagnostics =
        start(session.lockdown(), diagnosticsService, "the device refused the diagnostics service");
    const Started profiles = start(session.lockdown(), profileService,
                                   "the device refused the configuration profile service");
    session.endLockdown();
    watch(watchdogSeconds, "ERROR: The device stopped answering.\n");

    const Plist output(plist_new_dict());
    const Plist problems(plist_new_dict());
    ServiceChannel relay;
    if (!diagnostics.service)
        plist_dict_set_item(problems.get(), "Battery",
                            plist_new_string(diagnostics.problem.c_str()));
    else if (!relay.open(session.device(), diagnostics.service.get()))
        plist_dict_set_item(problems.get(), "Battery",
                            plist_new_string("the diagnostics service could not be reached"));
    else
        readBattery(relay, deadline, output.get(), problems.get());

    ServiceChannel profileChannel;
    if (!profiles.service)
        plist_dict_set_item(problems.get(), "Profiles", plist_new_string(profiles.problem.c_str()));
    else if (!profileChannel.open(session.device(), profiles.service.get()))
        plist_dict_set_item(problems.get(), "Profiles",
                            plist_new_string("the configuration profile service could not be "
                                             "reached"));
    else
        readProfiles(profileChannel, deadline, output.get(), problems.get());

    if (plist_dict_get_size(problems.get()) > 0)
        plist_dict_set_item(output.get(), "Problems", plist_copy(problems.get()));
    if (domains)
        plist_dict_set_item(output.get(), "Lockdown", domains.release());
    return XmlOutput::print(output.get(), "the device's health") ? EXIT_SUCCESS : EXIT_FAILURE;
}

} // namespace

int main(int argc, char **argv)
{
    // A closed output must show up as a failed write, not end the process silently.
    std::signal(SIGPIPE, SIG_IGN);
    const Options options = parseArguments(argc, argv);
    std::signal(SIGALRM, onWatchdog);
    return readHealth(options);
}
