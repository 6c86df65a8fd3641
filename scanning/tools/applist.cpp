// quillet-applist: the app listing Quillet asks of ideviceinstaller. It takes the arguments
// ideviceinstaller 1.2 takes for that listing and answers with the same XML and the same
// messages for a missing or unreachable device, and it also lists offloaded apps and App Clips,
// which ideviceinstaller cannot ask for (nor list at all before 1.2: Debian 12 ships 1.1.1).
// It offers nothing else. The device's answer is read as bytes and looked over with the limits
// Quillet's own reader applies before libplist builds any of it: a few hundred hostile bytes
// could otherwise ask libplist for more memory than the machine has.

#include "scanning/tools/DeviceSession.h"
#include "scanning/tools/LockdownErrorText.h"
#include "scanning/tools/Owned.h"
#include "scanning/tools/ServiceChannel.h"
#include "scanning/tools/ToolArguments.h"
#include "scanning/tools/XmlOutput.h"

#include <libimobiledevice/lockdown.h>
#include <plist/plist.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

constexpr const char *label = "quillet-applist";

void printHelp(const std::string &programName)
{
    std::printf("Usage: %s [OPTIONS] list [LIST OPTIONS]\n"
                "\n"
                "Lists the apps installed on an iOS device, as the list command of\n"
                "ideviceinstaller 1.2 does. No other command is available.\n"
                "\n"
                "LIST OPTIONS:\n"
                "  --user                List user apps only (this is the default)\n"
                "  --system              List system apps only\n"
                "  --all                 List all types of apps\n"
                "  --xml                 Print output as XML Property List (required)\n"
                "  -a, --attribute ATTR  Specify attribute to return\n"
                "                        (can be passed multiple times)\n"
                "\n"
                "OPTIONS:\n"
                "%s%s",
                programName.c_str(), ToolArguments::udidHelp, ToolArguments::connectionHelp);
}

struct Options {
    DeviceSession::Target target;
    bool user = false;
    bool system = false;
    bool xml = false;
    std::vector<std::string> attributes;
};

Options parseArguments(int argc, char **argv)
{
    Options options;
    ToolArguments arguments(argc, argv, label,
                            "[-u UDID] [-n] list [--user | --system | --all] --xml\n"
                            "       [--attribute NAME]...\n",
                            printHelp);
    std::vector<std::string> words;
    while (arguments.next()) {
        const std::string_view name = arguments.name();
        if (arguments.readCommon(options.target)) {
            continue;
        } else if (name == "--user") {
            arguments.noValue();
            options.user = true;
        } else if (name == "--system") {
            arguments.noValue();
            options.system = true;
        } else if (name == "--all") {
            arguments.noValue();
            options.user = true;
            options.system = true;
        } else if (name == "--xml") {
            arguments.noValue();
            options.xml = true;
        } else if (name == "--json") {
            arguments.noValue();
            options.xml = false;
        } else if (name == "-a" || name == "--attribute") {
            std::string attribute = arguments.value();
            if (attribute.empty())
                arguments.usageError("attribute must not be empty!");
            options.attributes.push_back(std::move(attribute));
        } else if (name.starts_with("-") && name != "-") {
            arguments.usageError("unknown option '" + std::string(arguments.argument()) + "'.");
        } else {
            words.emplace_back(arguments.argument());
        }
    }

    if (words.empty())
        arguments.usageError("Missing command.");
    if (words.front() != "list")
        arguments.usageError("Invalid command '" + words.front() + "'.");
    if (words.size() > 1)
        arguments.usageError("unexpected argument '" + words[1] + "'.");
    if (!options.xml) {
        std::fprintf(stderr, "Only --xml output is supported.\n");
        std::exit(EXIT_FAILURE);
    }
    return options;
}

// The options the installation proxy browses with: which apps, and which of their keys.
Plist browseOptions(const Options &options)
{
    Plist clientOptions(plist_new_dict());
    // User apps unless told otherwise; both kinds leave the type out, which lists every app,
    // as ideviceinstaller 1.2 does for --all.
    if (!options.system)
        plist_dict_set_item(clientOptions.get(), "ApplicationType", plist_new_string("User"));
    else if (!options.user)
        plist_dict_set_item(clientOptions.get(), "ApplicationType", plist_new_string("System"));

    // Offloaded apps (their code removed, their data and icon kept) and App Clips are listed
    // only when asked for; the service looks at the keys' presence, not their values.
    plist_dict_set_item(clientOptions.get(), "ShowPlaceholders", plist_new_bool(1));
    plist_dict_set_item(clientOptions.get(), "ShowAppClips", plist_new_bool(1));

    if (!options.attributes.empty()) {
        // The identifier is what every row is keyed by, and whether an entry is a placeholder
        // decides between two of one app: both are always asked for.
        plist_t attributes = plist_new_array();
        for (const char *needed : {"CFBundleIdentifier", "IsPlaceholder"}) {
            bool asked = false;
            for (const std::string &attribute : options.attributes)
                asked = asked || attribute == needed;
            if (!asked)
                plist_array_append_item(attributes, plist_new_string(needed));
        }
        for (const std::string &attribute : options.attributes)
            plist_array_append_item(attributes, plist_new_string(attribute.c_str()));
        plist_dict_set_item(clientOptions.get(), "ReturnAttributes", attributes);
    }
    return clientOptions;
}

// A text value of the dictionary, empty when it has none.
std::string stringOf(plist_t dict, const char *key)
{
    const plist_t node = plist_dict_get_item(dict, key);
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return {};
    char *raw = nullptr;
    plist_get_string_val(node, &raw);
    std::string text = raw ? raw : "";
    std::free(raw);
    return text;
}

bool isPlaceholder(plist_t app)
{
    const plist_t node = plist_dict_get_item(app, "IsPlaceholder");
    uint8_t value = 0;
    if (node && plist_get_node_type(node) == PLIST_BOOLEAN)
        plist_get_bool_val(node, &value);
    return value != 0;
}

// Asked for placeholders, the service lists them in a second pass that may name an installed
// app again: one entry per app, the installed one rather than its placeholder.
Plist oneEntryPerApp(plist_t apps)
{
    std::vector<plist_t> kept;
    std::unordered_map<std::string, size_t> byIdentifier;
    const uint32_t count = plist_array_get_size(apps);
    for (uint32_t i = 0; i < count; ++i) {
        const plist_t app = plist_array_get_item(apps, i);
        const std::string identifier = plist_get_node_type(app) == PLIST_DICT
            ? stringOf(app, "CFBundleIdentifier")
            : std::string();
        const auto [same, added] = byIdentifier.try_emplace(identifier, kept.size());
        if (added || identifier.empty())
            kept.push_back(app);
        else if (isPlaceholder(kept[same->second]) && !isPlaceholder(app))
            kept[same->second] = app;
    }
    Plist unique(plist_new_array());
    for (const plist_t app : kept)
        plist_array_append_item(unique.get(), plist_copy(app));
    return unique;
}

// How much of the device's answer is read at most: a listing of 2,000 apps is about 1 MB, sent
// a hundred apps at a time.
constexpr uint32_t messageLimit = 16 * 1024 * 1024;
constexpr uint64_t listingLimit = 64 * 1024 * 1024;
// Silence this long in the middle of a listing is a device that stopped answering, and it must
// not hold back the scans of other devices until the three minutes of the whole tool run out.
constexpr unsigned int silenceLimitMs = 45'000;

const char *const tooLarge =
    "The device's app list is too large or too deeply nested to be read safely (no real device "
    "sends one like it), so it was not read. Previous inventory preserved.";

// What the installation proxy lists for `clientOptions`, message by message, as one array; or
// nothing, after saying why on standard error.
Plist browse(ServiceChannel &proxy, plist_t clientOptions)
{
    using Outcome = ServiceChannel::Outcome;
    Plist request(plist_new_dict());
    plist_dict_set_item(request.get(), "Command", plist_new_string("Browse"));
    plist_dict_set_item(request.get(), "ClientOptions", plist_copy(clientOptions));
    if (!proxy.send(request.get())) {
        std::fprintf(stderr, "ERROR: instproxy_browse returned %d\n", int(SERVICE_E_MUX_ERROR));
        return nullptr;
    }
    Plist apps(plist_new_array());
    uint64_t total = 0;
    for (;;) {
        // A message past either limit is not read at all.
        const auto largest = uint32_t(std::min<uint64_t>(messageLimit, listingLimit - total));
        const ServiceChannel::Reply reply = proxy.receive(
            std::chrono::milliseconds(silenceLimitMs), ServiceChannel::Bound::EachSilence, largest);
        if (reply.outcome == Outcome::Silent || reply.outcome == Outcome::Closed) {
            // Silence before a message begins is the device's; within one, a broken message.
            if (reply.length == 0 && reply.error == SERVICE_E_TIMEOUT)
                std::fprintf(stderr, "ERROR: instproxy_browse returned nothing for %u seconds\n",
                             silenceLimitMs / 1000);
            else
                std::fprintf(stderr, "ERROR: instproxy_browse returned %d\n", int(reply.error));
            return nullptr;
        }
        // An empty message is refused as an oversized one is.
        if (reply.outcome == Outcome::TooLarge || reply.outcome == Outcome::Unsafe ||
            (reply.outcome == Outcome::NotPlist && reply.length == 0)) {
            std::fprintf(stderr, "%s\n", tooLarge);
            return nullptr;
        }
        total += reply.length;
        const plist_t message = reply.message.get();
        if (!message || plist_get_node_type(message) != PLIST_DICT) {
            std::fprintf(stderr, "ERROR: instproxy_browse returned an invalid plist!\n");
            return nullptr;
        }
        if (const std::string failure = stringOf(message, "Error"); !failure.empty()) {
            std::fprintf(stderr, "ERROR: instproxy_browse returned %s\n", failure.c_str());
            return nullptr;
        }
        const plist_t list = plist_dict_get_item(message, "CurrentList");
        if (list && plist_get_node_type(list) == PLIST_ARRAY) {
            const uint32_t count = plist_array_get_size(list);
            for (uint32_t i = 0; i < count; ++i)
                plist_array_append_item(apps.get(), plist_copy(plist_array_get_item(list, i)));
        }
        if (stringOf(message, "Status") == "Complete")
            return apps;
    }
}

int listApps(const Options &options)
{
    DeviceSession session;
    if (!session.find(options.target) || !session.handshake(label))
        return EXIT_FAILURE;

    lockdownd_service_descriptor_t rawService = nullptr;
    const lockdownd_error_t lockdownError = lockdownd_start_service(
        session.lockdown(), "com.apple.mobile.installation_proxy", &rawService);
    if (lockdownError != LOCKDOWN_E_SUCCESS) {
        std::fprintf(stderr, "Could not start com.apple.mobile.installation_proxy: %s\n",
                     LockdownErrorText::of(lockdownError).c_str());
        return EXIT_FAILURE;
    }
    const Owned<lockdownd_service_descriptor_t, lockdownd_service_descriptor_free> service(
        rawService);
    session.endLockdown();

    ServiceChannel proxy;
    if (!proxy.open(session.device(), service.get())) {
        std::fprintf(stderr, "Could not connect to installation_proxy!\n");
        return EXIT_FAILURE;
    }

    const Plist apps = browse(proxy, browseOptions(options).get());
    if (!apps)
        return EXIT_FAILURE;
    const Plist listed = oneEntryPerApp(apps.get());
    return XmlOutput::print(listed.get(), "the app list") ? EXIT_SUCCESS : EXIT_FAILURE;
}

} // namespace

int main(int argc, char **argv)
{
    // A closed output must show up as a failed write, not end the process silently.
    std::signal(SIGPIPE, SIG_IGN);
    return listApps(parseArguments(argc, argv));
}
