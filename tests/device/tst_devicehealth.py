#!/usr/bin/env python3
"""quillet-devicehealth against emulated devices, all behind one emulator and run at once: the
property list it prints, the requests it sends, its status and how long it takes; and the real
ideviceinfo and idevicediagnostics reading the same emulated services.

usage: tst_devicehealth.py QUILLET_DEVICEHEALTH
"""

import datetime
import json
import os
import plistlib
import shlex
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
WRAPPER = os.path.join(HERE, "with-emulator.sh")

WORN = {"CycleCount": 402, "DesignCapacity": 3227, "AppleRawMaxCapacity": 2581,
        "NominalChargeCapacity": 2600}
SCHOOL = {"IsSupervised": True, "OrganizationName": "Example School"}
TWO_PROFILES = [
    {"identifier": "com.example.school.mdm", "displayName": "Device Management",
     "organization": "Example School", "removalDisallowed": True},
    {"identifier": "com.example.school.wifi", "displayName": "School Wi-Fi"}]
TWO_SHOWN = [{"Identifier": "com.example.school.mdm", "DisplayName": "Device Management",
              "Organization": "Example School"},
             {"Identifier": "com.example.school.wifi", "DisplayName": "School Wi-Fi"}]
# What an emulated device shows unless told otherwise: a healthy battery, no supervision.
HEALTHY = {"CycleCount": 37, "DesignCapacity": 3227, "AppleRawMaxCapacity": 3190,
           "NominalChargeCapacity": 3201}
UNSUPERVISED = {"IsSupervised": False}

CLASS = {"Request": "IORegistry", "EntryClass": "IOPMPowerSource"}
NAME = {"Request": "IORegistry", "EntryName": "AppleSmartBattery"}
GOODBYE = {"Request": "Goodbye"}

# Emulated device settings, the plist expected and, where it matters, the diagnostics requests.
CASES = {
    "worn, by class": (
        {"battery": WORN, "ioregistry": "class"},
        {"Battery": WORN, "CloudConfiguration": UNSUPERVISED, "Profiles": []},
        [CLASS, GOODBYE]),
    "only by name": (
        {"battery": WORN, "ioregistry": "name"},
        {"Battery": WORN, "CloudConfiguration": UNSUPERVISED, "Profiles": []},
        [CLASS, NAME, GOODBYE]),
    "no diagnostics": (
        {"ioregistry": "none"},
        {"CloudConfiguration": UNSUPERVISED, "Profiles": [],
         "Problems": {"Battery": "the device reported no battery entry"}},
        [CLASS, NAME, GOODBYE]),
    "supervised": (
        {"cloudConfiguration": SCHOOL, "profiles": TWO_PROFILES},
        {"Battery": HEALTHY, "CloudConfiguration": SCHOOL, "Profiles": TWO_SHOWN}, None),
    "profiles refused": (
        {"refuse": ["com.apple.mobile.MCInstall"]},
        {"Battery": HEALTHY,
         "Problems": {"Profiles": "the device refused the configuration profile service"}}, None),
    "diagnostics refused": (
        {"refuse": ["com.apple.mobile.diagnostics_relay"], "profiles": TWO_PROFILES[1:]},
        {"CloudConfiguration": UNSUPERVISED, "Profiles": TWO_SHOWN[1:],
         "Problems": {"Battery": "the device refused the diagnostics service"}}, []),
    "list error": (
        {"cloudConfiguration": SCHOOL, "profileErrors": ["GetProfileList"]},
        {"Battery": HEALTHY, "CloudConfiguration": SCHOOL,
         "Problems": {"Profiles": "the device answered the profile list request with an error"}},
        None),
    # Unsupervised devices may refuse the cloud configuration; the profiles are still read.
    "cloud error, unordered": (
        {"profileErrors": ["GetCloudConfiguration"], "profilesOrdered": False,
         "profiles": TWO_PROFILES[::-1]},
        {"Battery": HEALTHY, "Profiles": TWO_SHOWN}, None),
    "hostile": (
        {"battery": {"CycleCount": -3, "DesignCapacity": 0, "AppleRawMaxCapacity": "2581",
                     "NominalChargeCapacity": 2_000_000,
                     "BatteryData": {"DesignCapacity": 3000, "CycleCount": 10**12}},
         "cloudConfiguration": {"IsSupervised": "yes", "OrganizationName": "x" * 201},
         "profiles": [
             {"identifier": "com.example.\u202etxt.exe", "displayName": "Bell\x07 \x1b[31mRed",
              "organization": 42},
             {"identifier": "", "displayName": "no identifier"},
             {"identifier": 7, "displayName": "a number"},
             {"identifier": "com.example.markup", "displayName": "<b>&amp;</b>",
              "organization": "\u00e9" * 200},
             {"identifier": "com.example.long", "displayName": "\u00e9" * 201,
              "organization": " \t "},
             {"identifier": "com.example.txt.exe", "displayName": "Looks the same"},
             {"identifier": "com.example.markup", "displayName": "Listed twice"}]},
        # Described but not listed in order (7 is no text there), a profile comes last.
        {"Battery": {"DesignCapacity": 3000}, "Profiles": [
            {"Identifier": "com.example.txt.exe", "DisplayName": "Bell [31mRed"},
            {"Identifier": "com.example.markup", "DisplayName": "<b>&amp;</b>",
             "Organization": "\u00e9" * 200},
            {"Identifier": "com.example.long"},
            {"Identifier": "com.example.txt.exe", "DisplayName": "Looks the same"},
            {"Identifier": "7", "DisplayName": "a number"}]}, None),
    "nothing usable": (
        {"battery": {"CycleCount": "many", "DesignCapacity": None, "AppleRawMaxCapacity": -1,
                     "NominalChargeCapacity": 1.5, "BatteryData": None},
         "cloudConfiguration": ["not", "a", "dict"]},
        {"Profiles": [],
         "Problems": {"Battery": "the device's battery values were missing or out of range"}},
        None),
    "garbled": (
        {"garble": {"diagnostics": "bomb", "profiles": "text"}},
        {"Problems": {
            "Battery": "the answer was malformed, too large or too deeply nested to be read "
                       "safely",
            "Profiles": "the answer was not a property list"}}, None),
    "diagnostics hang": (
        {"hang": "diagnostics", "profiles": TWO_PROFILES},
        {"CloudConfiguration": UNSUPERVISED, "Profiles": TWO_SHOWN,
         "Problems": {"Battery": "the device did not answer within 10 seconds"}}, [CLASS]),
    "profiles hang": (
        {"hang": "profiles"},
        {"Battery": HEALTHY,
         "Problems": {"Profiles": "the device did not answer within 10 seconds"}}, None),
    "many profiles": (
        {"profiles": [{"identifier": f"com.example.p{i:03d}", "displayName": f"P{i}"}
                      for i in range(150)]},
        {"Battery": HEALTHY, "CloudConfiguration": UNSUPERVISED,
         "Profiles": [{"Identifier": f"com.example.p{i:03d}", "DisplayName": f"P{i}"}
                      for i in range(100)],
         "Problems": {"Profiles": "the device listed more than 100 profiles; only the first "
                                  "100 were read"}}, None),
}

# Devices the tool cannot read at all: settings (None: no such device), status and message.
UNREACHABLE = {
    "locked": ({"locked": True}, "Could not connect to lockdownd: Password protected. Exiting.\n"),
    "lockdown hangs": ({"hang": "lockdown"},
                       "Could not connect to lockdownd: Receive timeout. Exiting.\n"),
    "not connected": (None, "No device found with udid {udid}.\n"),
}

# The real ideviceinfo on an iOS 17 device and an iOS 15 one, which has no developer mode
# domain: the domain and the values it prints.
BACKUP = {"WillEncrypt": True, "CloudBackupEnabled": False,
          "LastiTunesBackupDate": datetime.datetime(2024, 5, 1, 10, 0),
          "LastCloudBackupDate": datetime.datetime(2023, 12, 24, 23, 30)}
INFO_DEVICES = {
    "17": {"ios": "17.4", "domains": {"com.apple.mobile.backup": {
        "WillEncrypt": True, "CloudBackupEnabled": False,
        "LastiTunesBackupDate": {"$date": "2024-05-01T12:00:00+02:00"},
        "LastCloudBackupDate": {"$date": "2023-12-24T23:30:00Z"}}},
           "facts": {"ActivationState": "Unactivated", "IsAssociated": False}},
    "15": {"ios": "15.7"},
}
INFO_READS = {
    ("17", "com.apple.mobile.backup"): BACKUP,
    ("17", "com.apple.fmip"): {"IsAssociated": False},
    ("17", "com.apple.security.mac.amfi"): {"DeveloperModeStatus": False},
    ("17", None): {"ActivationState": "Unactivated", "ModelNumber": "MLTP3",
                   "RegionInfo": "ZD/A", "PasswordProtected": True},
    ("15", "com.apple.fmip"): {"IsAssociated": True},
    ("15", "com.apple.security.mac.amfi"): None,
}


def nested(depth):
    """A dictionary `depth` dictionaries deep below the domain's own."""
    value = {"Leaf": True}
    for _ in range(depth - 1):
        value = {"Inner": value}
    return value


# The lockdown domains read with --domain in the helper's own session: the device's settings,
# the domains asked for and the Lockdown entries expected, each as (domain, values it holds).
ALL_DOMAINS = ["", "com.apple.disk_usage", "com.apple.mobile.battery", "com.apple.mobile.backup",
               "com.apple.fmip", "com.apple.security.mac.amfi"]
LOCKDOWN = {
    # Refused and missing domains, past the bounds or asked twice, are left out; the health
    # parts are printed as without --domain.
    "domains, iOS 17": (
        {"ios": "17.4", "refuse": ["com.apple.mobile.backup"],
         "facts": {"IsAssociated": False, "AmountDataAvailable": 5_000_000_000},
         "domains": {"com.example.shallow": {"Deep": nested(5)},
                     "com.example.deep": {"Deep": nested(40)},
                     "com.example.large": {"Blob": "x" * 1_200_000}}},
        ALL_DOMAINS + ["com.example.missing", "com.apple.fmip", "com.example.shallow",
                       "com.example.deep", "com.example.large"],
        [("", {"ProductVersion": "17.4", "DeviceClass": "iPhone", "ModelNumber": "MLTP3"}),
         ("com.apple.disk_usage", {"AmountDataAvailable": 5_000_000_000,
                                   "TotalDiskCapacity": 128_000_000_000}),
         ("com.apple.mobile.battery", {"BatteryCurrentCapacity": 82, "BatteryIsCharging": False}),
         ("com.apple.fmip", {"IsAssociated": False}),
         ("com.apple.security.mac.amfi", {"DeveloperModeStatus": False}),
         ("com.example.shallow", {"Deep": nested(5)})]),
    # No developer mode before iOS 16.
    "domains, iOS 15": (
        {"ios": "15.7"}, ALL_DOMAINS,
        [("", {"ProductVersion": "15.7"}),
         ("com.apple.disk_usage", {"TotalDataAvailable": 42_315_776_000}),
         ("com.apple.mobile.battery", {"BatteryCurrentCapacity": 82}),
         ("com.apple.mobile.backup", {"WillEncrypt": False, "CloudBackupEnabled": True}),
         ("com.apple.fmip", {"IsAssociated": True})]),
}


def udid(number):
    return f"00008030-00{number:02d}DEC0DEDEC0DE"


def main():
    tool = sys.argv[1]
    failures = []

    def check(condition, what):
        if not condition:
            failures.append(what)
            print("FAIL:", what)

    names = list(CASES) + list(UNREACHABLE) + [f"info {name}" for name in INFO_DEVICES]
    names += list(LOCKDOWN)
    udids = {name: udid(i + 1) for i, name in enumerate(names)}
    devices = [dict(settings, udid=udids[name]) for name, (settings, _, _) in CASES.items()]
    devices += [dict(settings, udid=udids[name]) for name, (settings, _) in UNREACHABLE.items()
                if settings is not None]
    devices += [dict(settings, udid=udids[f"info {name}"])
                for name, settings in INFO_DEVICES.items()]
    devices += [dict(settings, udid=udids[name]) for name, (settings, _, _) in LOCKDOWN.items()]

    with tempfile.TemporaryDirectory(prefix="quillet-devicehealth-") as work:
        config = os.path.join(work, "devices.json")
        log = os.path.join(work, "requests.log")
        with open(config, "w", encoding="utf-8") as file:
            json.dump({"devices": devices}, file)
        # Every run at once, each timed; the slowest is a service that never answers.
        runs = []
        for i, name in enumerate(list(CASES) + list(UNREACHABLE)):
            out = os.path.join(work, str(i))
            runs.append(f"( start=$(date +%s%N); {shlex.quote(tool)} -u {udids[name]} > {out}.out "
                        f"2> {out}.err; echo $? $(( ($(date +%s%N) - start) / 1000000 )) "
                        f"> {out}.status ) &")
        for i, (device, domain) in enumerate(INFO_READS):
            out = os.path.join(work, f"info{i}")
            query = f"-q {domain}" if domain else ""
            runs.append(f"( ideviceinfo -u {udids['info ' + device]} {query} -x > {out}.out "
                        f"2> /dev/null ) &")
        for i, (name, (_, domains, _)) in enumerate(LOCKDOWN.items()):
            out = os.path.join(work, f"lockdown{i}")
            asked = " ".join(f"--domain {shlex.quote(domain)}" for domain in domains)
            runs.append(f"( {shlex.quote(tool)} -u {udids[name]} {asked} > {out}.out "
                        f"2> {out}.err; echo $? > {out}.status ) &")
        diagnosed = os.path.join(work, "diagnostics")
        runs.append(f"( idevicediagnostics -u {udids['info 17']} ioregentry "
                    f"AppleSmartBattery > {diagnosed}.out 2>&1; echo $? >> {diagnosed}.out ) &")
        started = time.monotonic()
        done = subprocess.run([WRAPPER, config, "--log", log, "--", "sh", "-c",
                               "\n".join(runs) + "\nwait"],
                              capture_output=True, text=True, timeout=120)
        seconds = time.monotonic() - started
        if "cannot make a private mount namespace" in done.stderr:
            sys.exit(done.stderr.strip())
        check(done.returncode == 0, f"the emulator run: {done.returncode} {done.stderr}")
        # A hung service costs its 10 seconds once, in parallel with everything else.
        check(seconds < 25, f"all runs took {seconds:.0f} s")

        def read(name, kind):
            path = os.path.join(work, f"{name}.{kind}")
            if not os.path.exists(path):
                return ""
            with open(path, encoding="utf-8") as file:
                return file.read()

        with open(log, encoding="utf-8") as file:
            requests = [json.loads(line) for line in file]

        def sent(name, channel):
            return [r["request"] for r in requests
                    if r.get("device") == udids[name] and r["channel"] == channel]

        for i, (name, (_, expected, diagnostics)) in enumerate(CASES.items()):
            status, milliseconds = map(int, (read(i, "status").split() or ["-1", "0"]))
            printed = read(i, "out")
            try:
                got = plistlib.loads(printed.encode())
            except Exception as error:  # noqa: BLE001 - any unreadable output is the failure
                got = f"unreadable: {error}: {printed!r}"
            check(status == 0 and read(i, "err") == "",
                  f"{name}: status {status}, {read(i, 'err')!r}")
            check(got == expected, f"{name}: printed {got!r}")
            check(milliseconds < 13_000, f"{name}: took {milliseconds} ms")
            # One lockdown session starts both services.
            sessions = [r for r in sent(name, "lockdown") if r.get("Request") == "StartSession"]
            check(len(sessions) == 1, f"{name}: {len(sessions)} lockdown sessions")
            if diagnostics is not None:
                check(sent(name, "diagnostics_relay") == diagnostics,
                      f"{name}: diagnostics requests {sent(name, 'diagnostics_relay')!r}")
        for i, (name, (settings, message)) in enumerate(UNREACHABLE.items(), len(CASES)):
            status, milliseconds = map(int, (read(i, "status").split() or ["-1", "0"]))
            check(status == 1 and read(i, "out") == "", f"{name}: status {status}")
            if message is not None:
                check(read(i, "err") == message.format(udid=udids[name]),
                      f"{name}: message {read(i, 'err')!r}")
            check(milliseconds < 17_000, f"{name}: took {milliseconds} ms")

        for i, ((device, domain), expected) in enumerate(INFO_READS.items()):
            printed = read(f"info{i}", "out")
            got = plistlib.loads(printed.encode()) if printed else None
            if expected is not None and got is not None:
                got = {key: got.get(key) for key in expected}
            check(got == expected, f"ideviceinfo, iOS {device}, {domain}: {got!r}")
        for i, (name, (_, _, expected)) in enumerate(LOCKDOWN.items()):
            status = read(f"lockdown{i}", "status").strip()
            printed = read(f"lockdown{i}", "out")
            try:
                got = plistlib.loads(printed.encode())
            except Exception as error:  # noqa: BLE001 - any unreadable output is the failure
                got = {"unreadable": f"{error}: {printed!r}"}
            check(status == "0" and read(f"lockdown{i}", "err") == "",
                  f"{name}: status {status}, {read(f'lockdown{i}', 'err')!r}")
            entries = got.pop("Lockdown", None)
            check(got == {"Battery": HEALTHY, "CloudConfiguration": UNSUPERVISED, "Profiles": []},
                  f"{name}: the health parts {got!r}")
            domains = [entry.get("Domain") for entry in entries or []]
            check(domains == [domain for domain, _ in expected],
                  f"{name}: domains {domains!r}")
            for entry, (domain, values) in zip(entries or [], expected):
                kept = {key: entry["Values"].get(key) for key in values}
                check(set(entry) == {"Domain", "Values"} and kept == values,
                      f"{name}, {domain!r}: {kept!r}")
            # The domains are read in the session that starts the services.
            sessions = [r for r in sent(name, "lockdown") if r.get("Request") == "StartSession"]
            check(len(sessions) == 1, f"{name}: {len(sessions)} lockdown sessions")

        diagnosed = read("diagnostics", "out")
        check("</plist>\n" in diagnosed and diagnosed.endswith("\n0\n") and
              "<key>CycleCount</key>" in diagnosed,
              f"idevicediagnostics: {diagnosed!r}")

    if failures:
        sys.exit(f"{len(failures)} checks failed")
    print("all device health checks passed")


if __name__ == "__main__":
    main()
