#!/usr/bin/env python3
"""quillet-cli scan and watch, the icons a scan reads from the device, and the window's Scan Device, device chooser and scans of devices
as they are connected, with the real device tools against emulated iPhones; and the real
ideviceinfo reading device facts through our launcher.

usage: tst_device_emulator.py QUILLET_CLI RESOURCES_FOLDER DEVICE_WINDOW_TEST
"""

import hashlib
import http.server
import json
import os
import plistlib
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
from concurrent.futures import ThreadPoolExecutor

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import emulator  # noqa: E402  (its icons, to compare with what was kept)
WRAPPER = os.path.join(HERE, "with-emulator.sh")
UDID = "00008030-00011A2B3C4D5E6F"
SECOND = "00008030-00021A2B3C4D5E6F"
THIRD = "00008030-00031A2B3C4D5E6F"

APPS = [
    {"CFBundleIdentifier": "com.example.notes", "CFBundleDisplayName": "Notes & Lists 📝",
     "CFBundleName": "Notes", "CFBundleShortVersionString": "2.1", "CFBundleVersion": "210",
     "ApplicationType": "User", "StaticDiskUsage": 12_500_000, "DynamicDiskUsage": 2_000_000,
     "Path": "/private/var/containers/Bundle/Application/X/Notes.app"},
    {"CFBundleIdentifier": "com.example.cafe", "CFBundleDisplayName": "Café ☕ & Bakery",
     "CFBundleName": "Cafe", "CFBundleShortVersionString": "1.0", "CFBundleVersion": "1",
     "ApplicationType": "User", "StaticDiskUsage": 3_000_000, "DynamicDiskUsage": 0},
    {"CFBundleIdentifier": "com.apple.mobilesafari", "CFBundleDisplayName": "Safari 🧭",
     "CFBundleName": "Safari", "CFBundleShortVersionString": "17.5", "CFBundleVersion": "8618",
     "ApplicationType": "System", "StaticDiskUsage": 9_000_000, "DynamicDiskUsage": 1_000_000},
    # A blank display name and short version give way to the bundle's name and version.
    {"CFBundleIdentifier": "com.example.fallback", "CFBundleDisplayName": "",
     "CFBundleName": "Fallback Name", "CFBundleShortVersionString": "", "CFBundleVersion": "42",
     "ApplicationType": "User", "StaticDiskUsage": 1_000_000, "DynamicDiskUsage": 0},
]
NAMES = sorted(app["CFBundleDisplayName"] or app["CFBundleName"] for app in APPS)
SCANNED = "Scan complete. 4 apps; 0 categories available. Saved on this computer."

# What the listing asks for: whether an entry is a placeholder, then the columns' attributes.
ATTRIBUTES = ["IsPlaceholder", "CFBundleIdentifier", "CFBundleDisplayName", "CFBundleName",
              "CFBundleShortVersionString", "CFBundleVersion", "ApplicationType",
              "StaticDiskUsage", "DynamicDiskUsage", "IsDemotedApp", "SignerIdentity",
              "MinimumOSVersion"]

# Made-up apps by number (see emulator.made_up_apps): what the Source and Offloaded columns say.
MADE_UP = {"com.example.app0001": ("App Store", ""), "com.example.app0005": ("TestFlight", ""),
           "com.example.app0007": ("Developer", ""),
           "com.example.app0008": ("Enterprise or ad hoc", ""),
           "com.apple.app0010": ("System", ""), "com.example.app0013": ("App Store", "Yes"),
           "com.example.app0021": ("App Store", "")}

CLI_HINTS = {"two-devices": "\nUse --device UDID or --all-devices; “quillet-cli devices” "
                             "lists them."}

USBMUXD_SILENT = ("ERROR: Unable to retrieve device list!\nThe usbmuxd service that reaches iPhones "
                  "and iPads over USB did not answer: unplug the device and plug it in again, "
                  "unlock it (or restart the service with: sudo systemctl restart usbmuxd), then "
                  "scan again.")

# What the user reads after each fault, as quillet-cli prints it today (status 1 for all).
FAULT_MESSAGES = {
    "no-device": "No USB device found. Connect your iPhone or iPad with a data cable, unlock "
                 "it, and confirm Trust on the device.",
    "two-devices": "Multiple devices are connected. Disconnect all but the device you want to "
                   "scan.",
    "locked": "Could not connect to lockdownd: Password protected. Exiting.\n"
              "The device is locked: unlock it with its passcode, tap Trust if it asks whether "
              "to trust this computer, then scan again.",
    "trust-pending": "Could not connect to lockdownd: Pairing dialog response pending. "
                     "Exiting.\nThe device is asking whether to trust this computer: unlock it, "
                     "tap Trust and enter its passcode, then scan again.",
    "trust-denied": "Could not connect to lockdownd: User denied pairing. Exiting.\n"
                    "The device was told not to trust this computer: unplug it and plug it in "
                    "again, tap Trust when it asks, then scan again.",
    "stale-pairing": "Could not connect to lockdownd: Invalid HostID. Exiting.\n"
                     "This computer's pairing with the device is missing or out of date: unplug "
                     "the device and plug it in again, unlock it and tap Trust, then scan again.",
    "listing-dropped": "ERROR: instproxy_browse returned -256\n"
                       "The device stopped answering while it listed its apps: check the USB "
                       "cable, keep the device unlocked, then scan again.",
    "listing-bomb": "The device's app list is too large or too deeply nested to be read "
                    "safely (no real device sends one like it), so it was not read. Previous "
                    "inventory preserved.",
    "unplugged": f"No device found with udid {UDID}.\n"
                 "The device is not connected now: plug it in with a USB data cable, unlock it, "
                 "then scan again.",
    "usbmuxd-hangup": USBMUXD_SILENT,
    "stale-socket": USBMUXD_SILENT,
}

LOCKED_INFO = ("ERROR: Could not connect to lockdownd: Password protected (-17)\n" +
               FAULT_MESSAGES["locked"].split("\n")[1] + "\n")

MOVED_AWAY = ("ERROR: Unable to retrieve device list!\nNothing answers at USBMUXD_SOCKET_ADDRESS "
              "(UNIX:{}): start the usbmuxd it names, or unset the variable to use this "
              "computer's own, then scan again.")

DISK, BATTERY = "com.apple.disk_usage", "com.apple.mobile.battery"
# The facts a scan reads, by the domain ideviceinfo reads each from (None: the default one).
FACT_DOMAINS = {"ProductType": None, "ProductVersion": None, "BuildVersion": None,
                "DeviceClass": None, "SerialNumber": None, "TotalDiskCapacity": DISK,
                "TotalDataCapacity": DISK, "TotalDataAvailable": DISK,
                "AmountDataAvailable": DISK, "BatteryCurrentCapacity": BATTERY,
                "BatteryIsCharging": BATTERY}
FACTS = {"ProductType": "iPhone15,2", "ProductVersion": "17.5.1", "BuildVersion": "21F90",
         "DeviceClass": "iPhone", "SerialNumber": "F4HXQ2EMU7",
         "TotalDiskCapacity": 256_000_000_000, "TotalDataCapacity": 245_262_581_760,
         "TotalDataAvailable": 118_236_745_728, "BatteryCurrentCapacity": 64,
         "BatteryIsCharging": True}
# Emulated devices' settings: null leaves a fact out; some iOS versions report free space as
# AmountDataAvailable.
FACT_DEVICES = {
    "all facts": {"facts": FACTS},
    "some missing": {"facts": dict(FACTS, SerialNumber=None, TotalDataAvailable=None,
                                   AmountDataAvailable=51_000_000_000, BatteryIsCharging=None)},
    "refused": {"facts": FACTS, "refuse": [DISK, BATTERY]},
    "locked": {"facts": FACTS, "locked": True},
    # Worn, unencrypted, supervised: the device sheet and its warnings, through the real tools
    # and the health helper.
    "worn and managed": {
        "facts": FACTS,
        "battery": {"CycleCount": 812, "DesignCapacity": 3227, "AppleRawMaxCapacity": 2420},
        "domains": {"com.apple.mobile.backup": {"WillEncrypt": False,
                                                 "CloudBackupEnabled": False}},
        "cloudConfiguration": {"IsSupervised": True, "OrganizationName": "Example School"},
        "profiles": [{"identifier": "com.example.school.mdm", "displayName": "Device Management",
                      "organization": "Example School"}]},
}
# What the sheet of "worn and managed" says beside the facts every device gives.
WORN_SHEET = {"Battery": [("Health", "75% (estimate)"), ("Charge cycles", "812")],
              "Security & management": [("Computer backups", "Not encrypted"),
                                        ("Supervised", "Yes"),
                                        ("Supervised by", "Example School"),
                                        ("Profiles", "Device Management (Example School)")]}
WORN_WARNINGS = ["batteryWorn", "backupsNotEncrypted", "noRecentBackup"]

# Apps the store does not know, by what springboard answers for each one's icon.
ICON_APPS = {"com.example.valid": "valid", "com.example.huge": "huge", "com.example.vast": "vast",
             "com.example.text": "text", "com.example.none": "none"}

PROGRESS = ("Finding connected devices…", "Reading installed apps. Keep your device unlocked…",
            "Looking up categories: ", "Category lookup unavailable.")


def closed_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def scan(cli, resources, work, name, *emulator_args, lookup=None):
    """Runs quillet-cli scan under the emulator; returns status, stdout, message, data, log."""
    data = os.path.join(work, name)
    log = os.path.join(work, name + ".log")
    # Nothing listens there, so the store lookup fails at once and stays on this machine.
    lookup = lookup or f"http://127.0.0.1:{closed_port()}/lookup"
    command = [WRAPPER, *emulator_args, "--log", log, "--",
               cli, "scan", "--data-dir", data, "--resources", resources, "--lookup-url", lookup]
    done = subprocess.run(command, capture_output=True, text=True, timeout=60,
                          env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    if "cannot make a private mount namespace" in done.stderr:
        sys.exit(done.stderr.strip())
    message = "\n".join(line for line in done.stderr.splitlines()
                        if line.strip() and not line.startswith(PROGRESS))
    requests = []
    if os.path.exists(log):
        with open(log, encoding="utf-8") as file:
            requests = [json.loads(line) for line in file]
    return done.returncode, done.stdout, message, data, requests


def elsewhere(cli, resources, work, config):
    """quillet-cli scan with USBMUXD_SOCKET_ADDRESS naming the emulator's socket, then a socket
    nobody serves; returns both runs' status, output and messages."""
    socket_path = os.path.join(work, "elsewhere.sock")
    ready = os.path.join(work, "elsewhere.ready")
    emulator = subprocess.Popen([sys.executable, os.path.join(HERE, "emulator.py"), config,
                                 "--socket", socket_path, "--ready", ready])
    try:
        for _ in range(200):
            if os.path.exists(ready):
                break
            time.sleep(0.05)
        runs = []
        for address in (socket_path, socket_path + ".gone"):
            lookup = f"http://127.0.0.1:{closed_port()}/lookup"
            done = subprocess.run(
                [cli, "scan", "--data-dir", os.path.join(work, "elsewhere"), "--resources",
                 resources, "--lookup-url", lookup], capture_output=True, text=True, timeout=60,
                env=dict(os.environ, USBMUXD_SOCKET_ADDRESS="UNIX:" + address))
            message = "\n".join(line for line in done.stderr.splitlines()
                                if line.strip() and not line.startswith(PROGRESS))
            runs.append((done.returncode, done.stdout, message))
        return runs
    finally:
        emulator.terminate()
        emulator.wait()


def several(cli, resources, work):
    """quillet-cli with two devices, the second locked (so it gives no name): devices,
    scan --device, --all-devices."""
    config = os.path.join(work, "several.json")
    with open(config, "w", encoding="utf-8") as file:
        json.dump({"devices": [{"udid": UDID, "name": "Cart iPad 1", "apps": 2},
                               {"udid": SECOND, "name": "Cart iPad 2", "apps": 1,
                                "locked": True}]}, file)
    data = os.path.join(work, "several")
    lookup = f"http://127.0.0.1:{closed_port()}/lookup"
    script = " && ".join([
        f"{cli} devices --json --resources {resources} > {work}/devices.json",
        f"{{ {cli} scan --device nothing-here --data-dir {data} --resources {resources} "
        f"--lookup-url {lookup} 2> {work}/unknown.txt; echo $? >> {work}/unknown.txt; }}",
        f"{{ {cli} scan --all-devices --data-dir {data} --resources {resources} "
        f"--lookup-url {lookup} > {work}/all.txt 2>&1; echo $? >> {work}/all.txt; }}"])
    done = subprocess.run([WRAPPER, config, "--", "sh", "-c", script], capture_output=True,
                          text=True, timeout=90)
    def read(name):
        with open(os.path.join(work, name), encoding="utf-8") as file:
            return file.read()
    return done.returncode, done.stderr, read("devices.json"), read("unknown.txt"), read("all.txt")


def read_facts(resources, work):
    """The real ideviceinfo, through our launcher, for each domain of each of FACT_DEVICES;
    returns {(device, domain): (status, stdout, stderr)}."""
    config = os.path.join(work, "facts.json")
    udids = {name: f"00008030-00{i + 1:02d}F0F0F0F0F0F0" for i, name in enumerate(FACT_DEVICES)}
    with open(config, "w", encoding="utf-8") as file:
        json.dump({"devices": [dict(settings, udid=udids[name], apps=1)
                               for name, settings in FACT_DEVICES.items()]}, file)
    runs = [(name, domain) for name in FACT_DEVICES for domain in (None, DISK, BATTERY)]
    tool = os.path.join(resources, "Tools", "ideviceinfo")
    script = "; ".join(
        f"{tool} -u {udids[name]} {'-q ' + domain if domain else ''} -x > {work}/info{i}.out "
        f"2> {work}/info{i}.err; echo $? > {work}/info{i}.status"
        for i, (name, domain) in enumerate(runs))
    subprocess.run([WRAPPER, config, "--", "sh", "-c", script], timeout=60)
    def read(i, kind):
        with open(os.path.join(work, f"info{i}.{kind}"), encoding="utf-8") as file:
            return file.read()
    return {run: (int(read(i, "status")), read(i, "out"), read(i, "err"))
            for i, run in enumerate(runs)}


def facts_scan(cli, resources, work, name):
    """quillet-cli scan of one of FACT_DEVICES, then show --json and device --json; returns
    status, stdout, message, the shown inventory and the device sheet."""
    config = os.path.join(work, name + ".json")
    with open(config, "w", encoding="utf-8") as file:
        json.dump({"devices": [dict(FACT_DEVICES[name], udid=UDID, apps=APPS)]}, file)
    status, out, message, data, _ = scan(cli, resources, work, name, config)
    shown, sheet = (subprocess.run([cli, command, "--json", "--data-dir", data],
                                   capture_output=True, text=True, timeout=30,
                                   env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
                    for command in ("show", "device"))
    return status, out, message, json.loads(shown.stdout or "{}"), json.loads(sheet.stdout or "{}")


def every_kind_scan(cli, resources, work):
    """quillet-cli scan of 30 made-up apps (an offloaded one and an App Clip among them), then
    show --json; returns status, message and the shown rows by bundle identifier."""
    status, _, message, data, _ = scan(cli, resources, work, "every-kind", "--apps", "30")
    shown = subprocess.run([cli, "show", "--json", "--data-dir", data], capture_output=True,
                           text=True, timeout=30,
                           env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    rows = json.loads(shown.stdout or "{}").get("rows", [])
    return status, message, len(rows), {row["Bundle identifier"]: row for row in rows}


def icon_scans(cli, resources, work):
    """Two scans of a device with ICON_APPS; returns both runs' status and message, the icons
    asked for by each, and what the data folder keeps for each app (None for nothing)."""
    config = os.path.join(work, "icons.json")
    apps = [emulator.app(bundle, kind.title(), "1.0") for bundle, kind in ICON_APPS.items()]
    with open(config, "w", encoding="utf-8") as file:
        json.dump({"devices": [{"udid": UDID, "apps": apps, "icons": ICON_APPS}]}, file)
    runs, asked, seen = [], [], 0
    for _ in range(2):
        # The same data folder and log: the second scan finds what the first kept.
        status, _, message, data, requests = scan(cli, resources, work, "icons", config)
        runs.append((status, message))
        asked.append(sorted(r["request"].get("bundleId") for r in requests[seen:]
                            if r["channel"] == "springboardservices"))
        seen = len(requests)
    kept = {}
    for bundle in ICON_APPS:
        digest = hashlib.sha256(f"device\n{bundle}\n1.0".encode()).hexdigest()
        path = os.path.join(data, "Icons", digest)
        kept[bundle] = open(path, "rb").read() if os.path.exists(path) else None
    return runs, asked, kept


def store_scans(cli, resources, work):
    """Two scans of one device against a store of our own that carries its two apps, then
    drops one of them; returns each scan's store presence by app, the status of the app that
    left in `compare --json`, and the apps `show --not-in-store` lists."""
    carried = {"com.example.kept", "com.example.gone"}

    class Store(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            query = urllib.parse.parse_qs(urllib.parse.urlparse(self.path).query)
            asked = query.get("bundleId", [""])[0].split(",")
            results = [{"bundleId": b, "primaryGenreName": "Utilities", "version": "1.0"}
                       for b in asked if b in carried]
            body = json.dumps({"resultCount": len(results), "results": results}).encode()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *_):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Store)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    lookup = f"http://127.0.0.1:{server.server_address[1]}/lookup"
    config = os.path.join(work, "store.json")
    apps = [emulator.app("com.example.kept", "Kept", "1.0"),
            emulator.app("com.example.gone", "Gone", "1.0")]
    with open(config, "w", encoding="utf-8") as file:
        json.dump({"devices": [{"udid": UDID, "apps": apps}]}, file)
    presence = []
    try:
        for _ in range(2):
            status, _, message, data, _ = scan(cli, resources, work, "store", config, lookup=lookup)
            if status != 0:
                return [message], None, None
            with open(os.path.join(data, "inventory.json"), encoding="utf-8") as file:
                rows = json.load(file)["rows"]
            presence.append({r["Bundle identifier"]: r.get("Store presence") for r in rows})
            # A day passes and the store drops an app: the next scan asks again.
            path = os.path.join(data, "categories.json")
            with open(path, encoding="utf-8") as file:
                cache = json.load(file)
            for entry in cache.values():
                entry["checked"] -= 2 * 86400
            with open(path, "w", encoding="utf-8") as file:
                json.dump(cache, file)
            carried.discard("com.example.gone")
    finally:
        server.shutdown()
    history = json.loads(subprocess.run([cli, "history", "--json", "--data-dir", data],
                                        capture_output=True, text=True, timeout=30).stdout)
    ids = sorted((s["scannedAt"], s["id"]) for s in history["scans"])
    compared = json.loads(subprocess.run(
        [cli, "compare", ids[0][1], ids[1][1], "--json", "--data-dir", data],
        capture_output=True, text=True, timeout=30).stdout)
    left = {d["bundle"]: d["status"] for d in compared["differences"]}.get("com.example.gone")
    listed = subprocess.run([cli, "show", "--not-in-store", "--csv", "--data-dir", data],
                            capture_output=True, text=True, timeout=30).stdout
    return presence, (left, compared.get("leftStoreCount")), listed


def expected_facts(name):
    """The deviceFacts of a scan of one of FACT_DEVICES: what the emulator gave, with
    AmountDataAvailable standing in for TotalDataAvailable; None when it gave none."""
    settings = FACT_DEVICES[name]
    facts = {"TotalDataAvailable" if key == "AmountDataAvailable" else key: value
             for key, value in settings["facts"].items()
             if value is not None and FACT_DOMAINS[key] not in settings.get("refuse", [])}
    return facts or None


def window(program, resources, work, name, expected, apps, *emulator_args,
           function="scanDevice"):
    """Runs one test function of the window under the emulator (by default its scan, expecting
    `expected` and `apps`); returns a failure's text, or None."""
    lookup = f"http://127.0.0.1:{closed_port()}/lookup"
    environment = dict(os.environ, QT_QPA_PLATFORM="offscreen", QUILLET_RESOURCES=resources,
                       QUILLET_LOOKUP_URL=lookup, QUILLET_EXPECTED=expected,
                       QUILLET_EXPECTED_APPS="\n".join(apps))
    done = subprocess.run([WRAPPER, *emulator_args, "--", program, function],
                          capture_output=True, text=True, timeout=100, env=environment)
    return None if done.returncode == 0 else f"window, {name}:\n{done.stdout}{done.stderr}"


def several_config(work, name, second, first=None, **settings):
    """Ann's iPad with 3 apps (and the settings in `first`) and Ben's iPhone with the settings in
    `second`."""
    config = os.path.join(work, name + ".json")
    with open(config, "w", encoding="utf-8") as file:
        json.dump(dict(settings, devices=[dict({"apps": 3}, **(first or {}), udid=UDID,
                                               name="Ann's iPad"),
                                          dict(second, udid=SECOND, name="Ben's iPhone")]),
                  file)
    return config


def finished(command, **options):
    """Runs command for at most 60 s; returns status, seconds taken, stdout and stderr. Run out
    of time, it is stopped with everything it started, the emulator and the tools too."""
    started = time.monotonic()
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               text=True, start_new_session=True, **options)
    try:
        out, errors = process.communicate(timeout=60)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        out, errors = process.communicate()
    return process.returncode, time.monotonic() - started, out, errors


def hung_watch(cli, resources, work):
    """quillet-cli watch --count 1 --json: Ann's iPad never finishes listing its apps, Ben's
    iPhone is plugged in after 3 s. Returns status, seconds taken, stdout and stderr."""
    config = several_config(work, "hung-watch", {"apps": 2, "arrives": 3},
                            first={"hang": "listing"})
    lookup = f"http://127.0.0.1:{closed_port()}/lookup"
    return finished(
        [WRAPPER, config, "--", cli, "watch", "--count", "1", "--json", "--data-dir",
         os.path.join(work, "hung-watch"), "--resources", resources, "--lookup-url", lookup],
        env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))


def hung_devices(cli, resources, work):
    """quillet-cli devices --json with six devices whose lockdown never answers and, second in
    the list, Ann's iPad, which does. Returns status, seconds taken and the devices listed."""
    hung = [{"udid": f"00008030-00{i:02d}BADBADBADBAD", "hang": "lockdown"} for i in range(6)]
    config = os.path.join(work, "hung-devices.json")
    with open(config, "w", encoding="utf-8") as file:
        json.dump({"devices": hung[:1] + [{"udid": UDID, "name": "Ann's iPad"}] + hung[1:]},
                  file)
    status, seconds, out, errors = finished(
        [WRAPPER, config, "--", cli, "devices", "--json", "--resources", resources])
    return status, seconds, json.loads(out or "null"), errors


def watch(cli, resources, work):
    """quillet-cli watch --count 3 --json: Ann's iPad from the start, Ben's iPhone plugged in
    after 3 s and locked until 6 s, a third device after 9 s. Returns status, whether it still
    ran when the first line came, stdout, stderr and the history listing."""
    config = several_config(work, "watch", {"apps": 2, "arrives": 3, "unlocks": 6})
    with open(config, encoding="utf-8") as file:
        settings = json.load(file)
    settings["devices"].append({"udid": THIRD, "name": "Cart iPad 3", "apps": 1, "arrives": 9})
    with open(config, "w", encoding="utf-8") as file:
        json.dump(settings, file)
    data = os.path.join(work, "watch")
    lookup = f"http://127.0.0.1:{closed_port()}/lookup"
    watcher = subprocess.Popen(
        [WRAPPER, config, "--", cli, "watch", "--count", "3", "--json", "--data-dir", data,
         "--resources", resources, "--lookup-url", lookup], stdout=subprocess.PIPE,
        stderr=subprocess.PIPE, text=True, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    # Each line comes as its scan is saved, not when watch ends.
    first = watcher.stdout.readline()
    running = watcher.poll() is None
    try:
        rest, errors = watcher.communicate(timeout=90)
    except subprocess.TimeoutExpired:
        watcher.kill()
        rest, errors = watcher.communicate()
    history = subprocess.run([cli, "history", "--json", "--data-dir", data], capture_output=True,
                             text=True, timeout=30).stdout
    return watcher.returncode, running, first + rest, errors, json.loads(history or "{}")


def main():
    cli, resources, window_test = sys.argv[1], sys.argv[2], sys.argv[3]
    failures = []

    def check(condition, what):
        if not condition:
            failures.append(what)
            print("FAIL:", what)

    with tempfile.TemporaryDirectory(prefix="quillet-emulator-") as work:
        config = os.path.join(work, "four.json")
        with open(config, "w", encoding="utf-8") as file:
            json.dump({"devices": [{"udid": UDID, "name": "Ann's iPhone 📱", "apps": APPS}],
                       "chunk": 2}, file)
        # The runs wait on each other's tools more than on the processor; four at a time.
        with ThreadPoolExecutor(4) as pool:
            four = pool.submit(scan, cli, resources, work, "four", config)
            faults = {fault: pool.submit(scan, cli, resources, work, fault, "--fault", fault)
                      for fault in FAULT_MESSAGES}
            moved = pool.submit(elsewhere, cli, resources, work, config)
            cart = pool.submit(several, cli, resources, work)
            info = pool.submit(read_facts, resources, work)
            every_kind = pool.submit(every_kind_scan, cli, resources, work)
            icons = pool.submit(icon_scans, cli, resources, work)
            store = pool.submit(store_scans, cli, resources, work)
            fact_scans = {name: pool.submit(facts_scan, cli, resources, work, name)
                          for name in FACT_DEVICES if name != "locked"}
            windows = [pool.submit(window, window_test, resources, work, "four", SCANNED, NAMES,
                                   config)]
            # With two devices the window asks which to scan (chooseDevices below).
            windows += [pool.submit(window, window_test, resources, work, fault, expected, [],
                                    "--fault", fault)
                        for fault, expected in FAULT_MESSAGES.items() if fault != "two-devices"]
            # Ben's iPhone lists its 40 apps slowly enough to be cancelled.
            windows.append(pool.submit(
                window, window_test, resources, work, "chooser", "", [],
                several_config(work, "chooser", {"apps": 40}, chunk=5, delay=0.3),
                function="chooseDevices"))
            windows.append(pool.submit(
                window, window_test, resources, work, "when connected", "", [],
                several_config(work, "connected", {"apps": 2, "arrives": 3, "unlocks": 7}),
                function="scanWhenConnected"))
            windows.append(pool.submit(
                window, window_test, resources, work, "one hangs", "", [],
                several_config(work, "one-hangs", {"apps": 2, "arrives": 3},
                               first={"hang": "listing"}),
                function="scanWhileAnotherHangs"))
            watched = pool.submit(watch, cli, resources, work)
            hung_watched = pool.submit(hung_watch, cli, resources, work)
            hung_listed = pool.submit(hung_devices, cli, resources, work)
        status, out, message, data, requests = four.result()
        check(status == 0, f"four apps: status {status}, message {message!r}")
        check(out == SCANNED + "\n", f"four apps: output {out!r}")
        if status == 0:
            with open(os.path.join(data, "inventory.json"), encoding="utf-8") as file:
                inventory = json.load(file)
            got = sorted((r["Bundle identifier"], r["App name"]) for r in inventory["rows"])
            want = sorted((a["CFBundleIdentifier"], a["CFBundleDisplayName"] or a["CFBundleName"])
                          for a in APPS)
            check(got == want, f"four apps: rows {got}")
            check(inventory.get("deviceName") == "Ann's iPhone 📱",
                  f"four apps: device name {inventory.get('deviceName')!r}")
            check(inventory.get("deviceID") == UDID, f"four apps: device {inventory.get('deviceID')!r}")
        browses = [r["request"] for r in requests if r["request"].get("Command") == "Browse"]
        check(len(browses) == 1, f"four apps: {len(browses)} Browse requests")
        if browses:
            options = browses[0].get("ClientOptions", {})
            check(options.get("ReturnAttributes") == ATTRIBUTES,
                  f"four apps: ReturnAttributes {options.get('ReturnAttributes')}")
            check("ApplicationType" not in options,
                  f"four apps: ApplicationType {options.get('ApplicationType')!r} for --all")

        for fault, expected in FAULT_MESSAGES.items():
            status, out, message, data, _ = faults[fault].result()
            # The command line also says how to choose among several devices.
            expected += CLI_HINTS.get(fault, "")
            check(status == 1, f"{fault}: status {status}")
            check(message == expected, f"{fault}: message {message!r}")
            check(not os.path.exists(os.path.join(data, "inventory.json")),
                  f"{fault}: an inventory was written")
        (status, out, message), (gone_status, _, gone_message) = moved.result()
        check(status == 0 and out == SCANNED + "\n", f"usbmuxd elsewhere: {status} {message!r}")
        gone = os.path.join(work, "elsewhere.sock.gone")
        check(gone_status == 1 and gone_message == MOVED_AWAY.format(gone),
              f"usbmuxd elsewhere, gone: {gone_message!r}")
        status, errors, devices, unknown, every = cart.result()
        check(status == 0, f"several devices: {errors}")
        # The second one is locked: no name, no model.
        unknown_device = {"identifier": SECOND, "name": None, "model": None,
                          "productType": None, "productVersion": None}
        check(json.loads(devices or "null") == [
                  {"identifier": UDID, "name": "Cart iPad 1", "model": "iPhone 13 Pro",
                   "productType": "iPhone14,2", "productVersion": "17.5"}, unknown_device],
              f"several devices: devices {devices!r}")
        check(unknown.endswith("\nNo connected device has an identifier that starts with "
                               f"\u201cnothing-here\u201d. Connected: {UDID}, {SECOND}.\n1\n"),
              f"several devices: {unknown!r}")
        lines = [line for line in every.splitlines() if not line.startswith(PROGRESS)
                 and not line.startswith("Scanning device")]
        check(lines == [f"Cart iPad 1 ({UDID}): Scan complete. 2 apps; 0 categories available. "
                        "Saved on this computer.",
                        f"{SECOND}: " + FAULT_MESSAGES["locked"].split("\n")[0],
                        FAULT_MESSAGES["locked"].split("\n")[1], "1"],
              f"several devices: --all-devices {every!r}")

        for (name, domain), (status, out, errors) in info.result().items():
            settings = FACT_DEVICES[name]
            if settings.get("locked"):
                want = (75, "", LOCKED_INFO)  # waiting for its user
            elif domain in settings.get("refuse", []):
                want = (0, "", "")  # the tool says nothing at all when lockdown refuses
            else:
                want = (0, {key: value for key, value in settings["facts"].items()
                            if value is not None and FACT_DOMAINS[key] == domain}, "")
            printed = plistlib.loads(out.encode()) if out else {}
            got = (status, out and {k: v for k, v in printed.items() if k in FACT_DOMAINS}, errors)
            check(got == want, f"ideviceinfo, {name}, {domain or 'default domain'}: {got!r}")
        for name, future in fact_scans.items():
            status, out, message, shown, sheet = future.result()
            check(status == 0 and out == SCANNED + "\n", f"facts, {name}: {status} {message!r}")
            # The lockdown facts as the emulator gave them; the others are the sheet's.
            lockdown = {key: value for key, value in shown.get("deviceFacts", {}).items()
                        if key in FACT_DOMAINS} or None
            check(lockdown == expected_facts(name), f"deviceFacts, {name}: {lockdown!r}")
            if name == "worn and managed":
                lines = {section["title"]: [(line["caption"], line["text"])
                                            for line in section["lines"]]
                         for section in sheet.get("sections", [])}
                for title, wanted in WORN_SHEET.items():
                    check(all(line in lines.get(title, []) for line in wanted),
                          f"device sheet, {title}: {lines.get(title)!r}")
                warnings = [warning["key"] for warning in sheet.get("warnings", [])]
                check(warnings == WORN_WARNINGS, f"device warnings: {warnings!r}")
        # Offloaded apps and App Clips are listed, each app once, with where it came from.
        status, message, count, rows = every_kind.result()
        check(status == 0 and count == 30, f"every kind: {status} {count} rows {message!r}")
        for bundle, (source, offloaded) in MADE_UP.items():
            row = rows.get(bundle, {})
            check((row.get("Source"), row.get("Offloaded")) == (source, offloaded),
                  f"every kind, {bundle}: {row.get('Source')!r} {row.get('Offloaded')!r}")
        # The store knows none of them: each icon is asked for once, and only the valid one kept;
        # the others are remembered as having none, and a bad icon fails no scan.
        runs, asked, kept = icons.result()
        check(all(status == 0 for status, _ in runs), f"icons: {runs!r}")
        check(asked == [sorted(ICON_APPS), []], f"icons: asked for {asked!r}")
        check(kept == {bundle: emulator.icon(bundle) if kind == "valid" else b""
                       for bundle, kind in ICON_APPS.items()},
              f"icons: kept {({k: v[:16] if v else v for k, v in kept.items()})!r}")
        presence, left, listed = store.result()
        check(presence == [{"com.example.kept": "In store", "com.example.gone": "In store"},
                           {"com.example.kept": "In store", "com.example.gone": "Not in store"}],
              f"store: presence {presence!r}")
        check(left == ("Left the store", 1), f"store: compared {left!r}")
        check(listed is not None and "com.example.gone" in listed
              and "com.example.kept" not in listed, f"store: --not-in-store {listed!r}")
        # Each device once, the locked one after its advice, given once; then the count is met.
        status, running, out, errors, history = watched.result()
        check(running, "watch: the first line came only at the end")
        lines = [json.loads(line) for line in out.splitlines()]
        check(status == 0 and sorted(line.get("deviceID") for line in lines) ==
              [UDID, SECOND, THIRD], f"watch: {status} {out!r} {errors!r}")
        check(lines and lines[-1].get("deviceID") == THIRD and
              lines[-1].get("deviceName") == "Cart iPad 3" and lines[-1].get("appCount") == 1,
              f"watch: last line {lines[-1:]!r}")
        check(errors.count("The device is locked") == 1 and
              f"{SECOND}: Could not connect to lockdownd: Password protected" in errors and
              "It is scanned as soon as it lets this computer in." in errors,
              f"watch: messages {errors!r}")
        check(sorted(scan["id"] for scan in history.get("scans", [])) ==
              sorted(line.get("id") for line in lines), f"watch: history {history!r}")
        # A device that hangs holds back no other: Ben's iPhone is scanned long before Ann's
        # listing would time out (3 minutes), and the scans still running are cancelled.
        status, seconds, out, errors = hung_watched.result()
        check(status == 0 and seconds < 60 and
              [json.loads(line).get("deviceID") for line in out.splitlines()] == [SECOND],
              f"watch, one hangs: {status} after {seconds:.0f} s {out!r} {errors!r}")
        # Each device is asked at once: about one device's time (8 s), not seven in turn.
        status, seconds, listed, errors = hung_listed.result()
        check(status == 0 and seconds < 30 and listed and
              [device["identifier"] for device in listed] ==
              ["00008030-0000BADBADBADBAD", UDID] +
              [f"00008030-00{i:02d}BADBADBADBAD" for i in range(1, 6)] and
              [device["name"] for device in listed] == [None, "Ann's iPad"] + [None] * 5,
              f"devices, six hang: {status} after {seconds:.0f} s {listed!r} {errors!r}")
        for failure in (future.result() for future in windows):
            check(failure is None, failure)

    if failures:
        sys.exit(f"{len(failures)} checks failed")
    print("all device emulator checks passed")


if __name__ == "__main__":
    main()
