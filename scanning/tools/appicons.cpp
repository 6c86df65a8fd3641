// quillet-appicons: the home screen icons of the apps named on the command line, which no
// libimobiledevice tool prints for a program to read. It asks springboard for each in one
// connection and prints one XML property list:
//   Icons    {bundle identifier: PNG data}, as the device gave it
//   Missing  [bundle identifier]: the device answered, but with no icon it may pass on (none,
//            not data, or larger than --largest)
// An app in neither was not answered: the run's time ran out or the device stopped answering,
// and what was read until then is still printed. Icons are passed on unchecked, as bytes: the
// caller decides what it will decode. Every answer is looked over by PropertyListCheck before
// libplist builds it, and no more than --largest bytes an icon and totalLimit in all are kept.

#include "scanning/tools/DeviceSession.h"
#include "scanning/tools/LockdownErrorText.h"
#include "scanning/tools/Owned.h"
#include "scanning/tools/ServiceChannel.h"
#include "scanning/tools/ToolArguments.h"
#include "scanning/tools/XmlOutput.h"

#include <libimobiledevice/lockdown.h>
#include <plist/plist.h>

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char *label = "quillet-appicons";
constexpr const char *springboardService = "com.apple.springboardservices";

// A device draws an icon in milliseconds; one that takes this long is wedged.
constexpr std::chrono::milliseconds answerLimit = 5s;
// Icons are worth little beside the scan: past this, what was read is printed.
constexpr std::chrono::milliseconds runLimit = 15s;
constexpr unsigned int lockdownSeconds = 15;
constexpr unsigned int watchdogSeconds = 25;
// Room in an answer for the dictionary around the icon.
constexpr uint32_t answerOverhead = 4096;
// An oversized answer is read past, up to this, to reach the next; a longer one ends the run.
constexpr uint32_t skipLimit = 64 * 1024 * 1024;
// Printed as XML, this is about 44 MB: well inside what a scan reads of a tool.
constexpr uint64_t totalLimit = 32 * 1024 * 1024;
constexpr uint32_t defaultLargest = 5'000'000;
constexpr size_t mostApps = 5000;

void printHelp(const std::string &programName)
{
    std::printf("Usage: %s [OPTIONS] BUNDLE_ID...\n"
                "\n"
                "Prints the home screen icons of the given apps of an iOS device as one XML\n"
                "property list.\n"
                "\n"
                "OPTIONS:\n"
                "%s"
                "  --largest BYTES       Leave out icons larger than this (default %u)\n"
                "%s",
                programName.c_str(), ToolArguments::udidHelp, unsigned(defaultLargest),
                ToolArguments::connectionHelp);
}

struct Options {
    DeviceSession::Target target;
    uint32_t largest = defaultLargest;
    std::vector<std::string> bundles;
};

Options parseArguments(int argc, char **argv)
{
    Options options;
    ToolArguments arguments(argc, argv, label, "[-u UDID] [-n] [--largest BYTES] BUNDLE_ID...\n",
                            printHelp);
    while (arguments.next()) {
        const std::string_view name = arguments.name();
        if (arguments.readCommon(options.target)) {
            continue;
        } else if (name == "--largest") {
            const std::string value = arguments.value();
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), options.largest);
            if (error != std::errc() || end != value.data() + value.size() ||
                options.largest == 0 || options.largest > skipLimit)
                arguments.usageError("invalid size '" + value + "'.");
        } else if (name.starts_with("-")) {
            arguments.usageError("unknown option '" + std::string(arguments.argument()) + "'.");
        } else if (name.empty()) {
            arguments.usageError("bundle identifier must not be empty!");
        } else {
            options.bundles.emplace_back(arguments.argument());
        }
    }
    if (options.bundles.empty())
        arguments.usageError("Missing bundle identifier.");
    if (options.bundles.size() > mostApps)
        arguments.usageError("at most " + std::to_string(mostApps) + " apps at a time.");
    return options;
}

struct Deadline {
    Clock::time_point end = Clock::now() + runLimit;

    std::chrono::milliseconds limit(std::chrono::milliseconds wanted) const
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        return std::max(std::chrono::milliseconds(0), std::min(wanted, left));
    }
};

// Asks for each icon in turn until all are answered, the time runs out or the connection is
// lost; fills `icons` and `missing`.
void readIcons(ServiceChannel &springboard, const Options &options, plist_t icons, plist_t missing)
{
    using Outcome = ServiceChannel::Outcome;
    const Deadline deadline;
    uint64_t total = 0;
    for (const std::string &bundle : options.bundles) {
        const auto wait = deadline.limit(answerLimit);
        if (wait.count() == 0)
            return;
        Plist request(plist_new_dict());
        plist_dict_set_item(request.get(), "command", plist_new_string("getIconPNGData"));
        plist_dict_set_item(request.get(), "bundleId", plist_new_string(bundle.c_str()));
        if (!springboard.send(request.get(), ServiceChannel::Format::Binary))
            return;
        const ServiceChannel::Reply reply = springboard.receive(
            wait, ServiceChannel::Bound::WholeAnswer, options.largest + answerOverhead);
        if (reply.outcome == Outcome::TooLarge) {
            plist_array_append_item(missing, plist_new_string(bundle.c_str()));
            if (!springboard.skip(reply, deadline.limit(answerLimit), skipLimit))
                return;
            continue;
        }
        if (reply.outcome == Outcome::Silent || reply.outcome == Outcome::Closed)
            return;
        const plist_t answer = reply.message.get();
        const plist_t data = answer && plist_get_node_type(answer) == PLIST_DICT
            ? plist_dict_get_item(answer, "pngData")
            : nullptr;
        uint64_t size = 0;
        const char *bytes = data && plist_get_node_type(data) == PLIST_DATA
            ? plist_get_data_ptr(data, &size)
            : nullptr;
        if (!bytes || size == 0 || size > options.largest) {
            plist_array_append_item(missing, plist_new_string(bundle.c_str()));
            continue;
        }
        if (total + size > totalLimit)
            return;
        total += size;
        plist_dict_set_item(icons, bundle.c_str(), plist_copy(data));
    }
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

int readAppIcons(const Options &options)
{
    DeviceSession session;
    if (!session.find(options.target))
        return EXIT_FAILURE;
    watch(lockdownSeconds, "Could not connect to lockdownd: Receive timeout. Exiting.\n");
    if (!session.handshake(label))
        return EXIT_FAILURE;
    lockdownd_service_descriptor_t rawService = nullptr;
    const lockdownd_error_t lockdownError =
        lockdownd_start_service(session.lockdown(), springboardService, &rawService);
    const Owned<lockdownd_service_descriptor_t, lockdownd_service_descriptor_free> service(
        rawService);
    if (lockdownError != LOCKDOWN_E_SUCCESS || !service) {
        std::fprintf(stderr, "Could not start %s: %s\n", springboardService,
                     LockdownErrorText::of(lockdownError).c_str());
        return EXIT_FAILURE;
    }
    session.endLockdown();
    watch(watchdogSeconds, "ERROR: The device stopped answering.\n");

    ServiceChannel springboard;
    if (!springboard.open(session.device(), service.get())) {
        std::fprintf(stderr, "Could not connect to %s!\n", springboardService);
        return EXIT_FAILURE;
    }
    Plist icons(plist_new_dict());
    Plist missing(plist_new_array());
    readIcons(springboard, options, icons.get(), missing.get());
    const Plist output(plist_new_dict());
    plist_dict_set_item(output.get(), "Icons", icons.release());
    plist_dict_set_item(output.get(), "Missing", missing.release());
    return XmlOutput::print(output.get(), "the app icons") ? EXIT_SUCCESS : EXIT_FAILURE;
}

} // namespace

int main(int argc, char **argv)
{
    // A closed output must show up as a failed write, not end the process silently.
    std::signal(SIGPIPE, SIG_IGN);
    const Options options = parseArguments(argc, argv);
    std::signal(SIGALRM, onWatchdog);
    return readAppIcons(options);
}
