// quillet-applist: the app listing Quillet asks of ideviceinstaller. It takes the arguments
// ideviceinstaller 1.2 takes for that listing and answers with the same XML and the same
// messages for a missing or unreachable device, and it also lists offloaded apps and App Clips,
// which ideviceinstaller cannot ask for (nor list at all before 1.2: Debian 12 ships 1.1.1).
// It offers nothing else. The device's answer is read as bytes and looked over with the limits
// Quillet's own reader applies before libplist builds any of it: a few hundred hostile bytes
// could otherwise ask libplist for more memory than the machine has.

#include "scanning/PropertyListCheck.h"
#include "scanning/tools/LockdownErrorText.h"
#include "scanning/tools/Owned.h"

#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <libimobiledevice/service.h>
#include <plist/plist.h>

#include <QByteArrayView>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace {

constexpr const char *label = "quillet-applist";

// The name this program was started by, for its usage text.
std::string programName = "quillet-applist";

void printHelp()
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
                "  -u, --udid UDID       Target specific device by UDID\n"
                "  -n, --network         Connect to network device\n"
                "  -d, --debug           Enable communication debugging\n"
                "  -h, --help            Print usage information\n",
                programName.c_str());
}

[[noreturn]] void usageError(const std::string &message)
{
    std::fprintf(stderr,
                 "ERROR: %s\n"
                 "Usage: %s [-u UDID] [-n] list [--user | --system | --all] --xml\n"
                 "       [--attribute NAME]...\n",
                 message.c_str(), programName.c_str());
    std::exit(EXIT_FAILURE);
}

struct Options {
    std::optional<std::string> udid;
    bool network = false;
    bool debug = false;
    bool user = false;
    bool system = false;
    bool xml = false;
    std::vector<std::string> attributes;
};

Options parseArguments(int argc, char **argv)
{
    Options options;
    if (argc > 0 && *argv[0]) {
        const std::string_view path = argv[0];
        programName = std::string(path.substr(path.rfind('/') + 1));
    }

    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];

        // "--name=value" and "--name value" are both accepted, as getopt_long does.
        std::string_view name = argument;
        std::optional<std::string> inlineValue;
        if (argument.starts_with("--")) {
            if (const auto equals = argument.find('='); equals != std::string_view::npos) {
                name = argument.substr(0, equals);
                inlineValue = std::string(argument.substr(equals + 1));
            }
        }
        const auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= argc)
                usageError("option " + std::string(name) + " needs a value.");
            return argv[++i];
        };
        const auto noValue = [&] {
            if (inlineValue)
                usageError("option " + std::string(name) + " takes no value.");
        };

        if (name == "-h" || name == "--help") {
            printHelp();
            std::exit(EXIT_SUCCESS);
        } else if (name == "-u" || name == "--udid") {
            options.udid = value();
            if (options.udid->empty())
                usageError("UDID must not be empty!");
        } else if (name == "-n" || name == "--network") {
            noValue();
            options.network = true;
        } else if (name == "-d" || name == "--debug") {
            noValue();
            options.debug = true;
        } else if (name == "--user") {
            noValue();
            options.user = true;
        } else if (name == "--system") {
            noValue();
            options.system = true;
        } else if (name == "--all") {
            noValue();
            options.user = true;
            options.system = true;
        } else if (name == "--xml") {
            noValue();
            options.xml = true;
        } else if (name == "--json") {
            noValue();
            options.xml = false;
        } else if (name == "-a" || name == "--attribute") {
            std::string attribute = value();
            if (attribute.empty())
                usageError("attribute must not be empty!");
            options.attributes.push_back(std::move(attribute));
        } else if (name.starts_with("-") && name != "-") {
            usageError("unknown option '" + std::string(argument) + "'.");
        } else {
            words.emplace_back(argument);
        }
    }

    if (words.empty())
        usageError("Missing command.");
    if (words.front() != "list")
        usageError("Invalid command '" + words.front() + "'.");
    if (words.size() > 1)
        usageError("unexpected argument '" + words[1] + "'.");
    if (!options.xml) {
        std::fprintf(stderr, "Only --xml output is supported.\n");
        std::exit(EXIT_FAILURE);
    }
    return options;
}

using Plist = Owned<plist_t, plist_free>;

void freeMemory(char *memory)
{
    std::free(memory);
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

using Service = Owned<service_client_t, service_client_free>;

bool receiveExactly(service_client_t service, char *data, uint32_t size, service_error_t &error)
{
    while (size > 0) {
        uint32_t received = 0;
        error = service_receive_with_timeout(service, data, size, &received, silenceLimitMs);
        if (error != SERVICE_E_SUCCESS || received == 0) {
            if (error == SERVICE_E_SUCCESS)
                error = SERVICE_E_TIMEOUT;
            return false;
        }
        data += received;
        size -= received;
    }
    return true;
}

// The service's framing: a 4-byte big-endian length, then a property list.
bool send(service_client_t service, plist_t message)
{
    char *raw = nullptr;
    uint32_t length = 0;
    plist_to_xml(message, &raw, &length);
    const Owned<char *, freeMemory> xml(raw);
    if (!xml)
        return false;
    std::string framed(4, '\0');
    for (int i = 0; i < 4; ++i)
        framed[size_t(i)] = char(length >> (24 - 8 * i));
    framed.append(xml.get(), length);
    uint32_t sent = 0;
    return service_send(service, framed.data(), uint32_t(framed.size()), &sent) ==
        SERVICE_E_SUCCESS &&
        sent == framed.size();
}

// What the installation proxy lists for `clientOptions`, message by message, as one array; or
// nothing, after saying why on standard error.
Plist browse(service_client_t service, plist_t clientOptions)
{
    Plist request(plist_new_dict());
    plist_dict_set_item(request.get(), "Command", plist_new_string("Browse"));
    plist_dict_set_item(request.get(), "ClientOptions", plist_copy(clientOptions));
    if (!send(service, request.get())) {
        std::fprintf(stderr, "ERROR: instproxy_browse returned %d\n", int(SERVICE_E_MUX_ERROR));
        return nullptr;
    }
    Plist apps(plist_new_array());
    uint64_t total = 0;
    for (;;) {
        service_error_t error = SERVICE_E_SUCCESS;
        unsigned char header[4];
        if (!receiveExactly(service, reinterpret_cast<char *>(header), 4, error)) {
            if (error == SERVICE_E_TIMEOUT)
                std::fprintf(stderr, "ERROR: instproxy_browse returned nothing for %u seconds\n",
                             silenceLimitMs / 1000);
            else
                std::fprintf(stderr, "ERROR: instproxy_browse returned %d\n", int(error));
            return nullptr;
        }
        const uint32_t length = uint32_t(header[0]) << 24 | uint32_t(header[1]) << 16 |
            uint32_t(header[2]) << 8 | header[3];
        total += length;
        if (length == 0 || length > messageLimit || total > listingLimit) {
            std::fprintf(stderr, "%s\n", tooLarge);
            return nullptr;
        }
        std::string payload(length, '\0');
        if (!receiveExactly(service, payload.data(), length, error)) {
            std::fprintf(stderr, "ERROR: instproxy_browse returned %d\n", int(error));
            return nullptr;
        }
        if (!PropertyListCheck::isAcceptable(QByteArrayView(payload.data(), qsizetype(length)))) {
            std::fprintf(stderr, "%s\n", tooLarge);
            return nullptr;
        }
        plist_t raw = nullptr;
        if (plist_is_binary(payload.data(), length))
            plist_from_bin(payload.data(), length, &raw);
        else
            plist_from_xml(payload.data(), length, &raw);
        const Plist message(raw);
        if (!message || plist_get_node_type(message.get()) != PLIST_DICT) {
            std::fprintf(stderr, "ERROR: instproxy_browse returned an invalid plist!\n");
            return nullptr;
        }
        if (const std::string failure = stringOf(message.get(), "Error"); !failure.empty()) {
            std::fprintf(stderr, "ERROR: instproxy_browse returned %s\n", failure.c_str());
            return nullptr;
        }
        const plist_t list = plist_dict_get_item(message.get(), "CurrentList");
        if (list && plist_get_node_type(list) == PLIST_ARRAY) {
            const uint32_t count = plist_array_get_size(list);
            for (uint32_t i = 0; i < count; ++i)
                plist_array_append_item(apps.get(), plist_copy(plist_array_get_item(list, i)));
        }
        if (stringOf(message.get(), "Status") == "Complete")
            return apps;
    }
}

int listApps(const Options &options)
{
    if (options.debug)
        idevice_set_debug_level(1);

    idevice_t rawDevice = nullptr;
    const char *udid = options.udid ? options.udid->c_str() : nullptr;
    const auto lookup = options.network ? IDEVICE_LOOKUP_NETWORK : IDEVICE_LOOKUP_USBMUX;
    if (idevice_new_with_options(&rawDevice, udid, lookup) != IDEVICE_E_SUCCESS) {
        if (udid)
            std::fprintf(stderr, "No device found with udid %s.\n", udid);
        else
            std::fprintf(stderr, "No device found.\n");
        return EXIT_FAILURE;
    }
    const Owned<idevice_t, idevice_free> device(rawDevice);

    lockdownd_client_t rawLockdown = nullptr;
    lockdownd_error_t lockdownError =
        lockdownd_client_new_with_handshake(device.get(), &rawLockdown, label);
    if (lockdownError != LOCKDOWN_E_SUCCESS) {
        std::fprintf(stderr, "Could not connect to lockdownd: %s. Exiting.\n",
                     LockdownErrorText::of(lockdownError).c_str());
        return EXIT_FAILURE;
    }
    Owned<lockdownd_client_t, lockdownd_client_free> lockdown(rawLockdown);

    lockdownd_service_descriptor_t rawService = nullptr;
    lockdownError =
        lockdownd_start_service(lockdown.get(), "com.apple.mobile.installation_proxy", &rawService);
    if (lockdownError != LOCKDOWN_E_SUCCESS) {
        std::fprintf(stderr, "Could not start com.apple.mobile.installation_proxy: %s\n",
                     LockdownErrorText::of(lockdownError).c_str());
        return EXIT_FAILURE;
    }
    const Owned<lockdownd_service_descriptor_t, lockdownd_service_descriptor_free> service(
        rawService);
    // The lockdown session is not needed past starting the service; the device allows few.
    lockdown.reset();

    service_client_t rawProxy = nullptr;
    if (service_client_new(device.get(), service.get(), &rawProxy) != SERVICE_E_SUCCESS) {
        std::fprintf(stderr, "Could not connect to installation_proxy!\n");
        return EXIT_FAILURE;
    }
    const Service proxy(rawProxy);

    const Plist apps = browse(proxy.get(), browseOptions(options).get());
    if (!apps)
        return EXIT_FAILURE;

    const Plist listed = oneEntryPerApp(apps.get());
    char *rawXml = nullptr;
    uint32_t length = 0;
    plist_to_xml(listed.get(), &rawXml, &length);
    const Owned<char *, freeMemory> xml(rawXml);
    if (!xml) {
        std::fprintf(stderr, "ERROR: Failed to convert data to XML format.\n");
        return EXIT_FAILURE;
    }
    // A short write means a truncated list; it must not pass for a complete one.
    if (std::fwrite(xml.get(), 1, length, stdout) != length || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "ERROR: Could not write the app list: %s\n", std::strerror(errno));
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}

} // namespace

int main(int argc, char **argv)
{
    // A closed output must show up as a failed write, not end the process silently.
    std::signal(SIGPIPE, SIG_IGN);
    return listApps(parseArguments(argc, argv));
}
