#!/usr/bin/env python3
"""An emulated iPhone behind an emulated usbmuxd, for running the real libimobiledevice tools.

Serves the usbmuxd protocol on a UNIX socket and, behind each emulated device, lockdown, the
installation proxy, the diagnostics relay, the configuration profile service (MCInstall) and
springboard's icons, well enough for idevice_id, idevicename, ideviceinfo, idevicediagnostics,
an app listing, quillet-devicehealth and quillet-appicons. Faults that real devices and services show can be switched on one at a
time (--fault).

Configuration is a JSON file and/or options; options win. A JSON file looks like
    {"devices": [{"udid": "...", "name": "Ann's iPhone", "ios": "17.5",
                  "apps": [{"CFBundleIdentifier": "com.example.a", ...}],
                  "facts": {"TotalDataAvailable": null, "AmountDataAvailable": 5000000000,
                            "BatteryCurrentCapacity": 40},
                  "domains": {"com.apple.fmip": {"IsAssociated": false}},
                  "refuse": ["com.apple.mobile.battery"],
                  "battery": {"CycleCount": 402, "DesignCapacity": 3227},
                  "ioregistry": "class",
                  "cloudConfiguration": {"IsSupervised": true, "OrganizationName": "Example"},
                  "profiles": [{"identifier": "com.example.mdm", "displayName": "MDM",
                                "organization": "Example Corp"}],
                  "profileErrors": ["GetCloudConfiguration"],
                  "garble": {"diagnostics": "bomb"},
                  "icons": {"com.example.a": "huge"},
                  "arrives": 3, "leaves": 20, "unlocks": 5, "hang": "listing"}],
     "apps": 2000, "chunk": 100, "delay": 0.0, "fault": "locked"}
where a device's "apps" is a list of app dictionaries or a number of made-up apps. Lockdown
answers GetValue, whole or one key, in the default domain and in the domains of DOMAINS below;
as on a device, only OPEN_KEYS are answered outside a session, and a locked device refuses all
but those with PasswordProtected. A device's "facts" sets lockdown values by key name, in whichever domain holds that
key (a key no domain holds goes to the default one); null leaves the key out, as some iOS
versions do, and AmountDataAvailable, which some versions report instead of TotalDataAvailable,
is left out until given. "domains" sets whole domains' values over those (any domain name; a
value {"$date": "2024-05-01T10:00:00Z"} is a plist date, {"$data": BASE64} plist data, here and
in "facts"). The backup, Find My and developer mode domains are there too; the last only from
iOS 16, as on devices. "refuse" lists domains whose GetValue fails with GetProhibited and
services whose StartService fails with ServiceProhibited.
The diagnostics relay answers IORegistry lookups of the battery (class IOPMPowerSource, name
AppleSmartBattery) with BATTERY updated by "battery" (null drops a key; anything but an object
is sent as the entry itself). "ioregistry" says which lookups find it: "both" (the default),
"class" (by name finds an empty entry, as from iOS 17.4), "name", or "none" (no Diagnostics in
any answer). MCInstall answers GetCloudConfiguration with "cloudConfiguration" and
GetProfileList with "profiles" (OrderedIdentifiers left out when "profilesOrdered" is false; a
profile's "metadata" adds to or overrides its ProfileMetadata); request types in
"profileErrors" answer Status Error. "garble" makes a service ("diagnostics", "profiles") answer
every request with "bomb" (nested shared references that would build 2^34 values) or "text"
(bytes that are no property list).
Springboard answers getIconPNGData with a small PNG of the app's own colour unless "icons" names
another kind for its bundle identifier: "huge" (20 MB that start as a PNG), "vast" (a PNG header
of 100,000 by 100,000 pixels), "text" (data that is no PNG) or "none" (an answer without
pngData).
A device's timeline counts seconds from the emulator's start: it is plugged in at "arrives"
(default 0), unplugged at "leaves" (default never) and locked until "unlocks" ("locked": true
locks it for good). A device's "hang" makes one of its services read requests and never answer,
as a wedged device does: "lockdown" (every lockdown connection), "listing" (the installation
proxy's Browse), "diagnostics" (the diagnostics relay), "profiles" (MCInstall) or "icons"
(springboard).
Every request is logged as one JSON line to --log.
"""

import argparse
import base64
import datetime
import json
import os
import plistlib
import signal
import socket
import socketserver
import struct
import subprocess
import sys
import tempfile
import threading
import time
import uuid
import zlib

LOCKDOWN_PORT = 62078
# The timeline of devices plugged in, unplugged and unlocked counts from here.
STARTED = time.monotonic()

FAULTS = {
    "none": "a working, unlocked and trusting device",
    "no-device": "usbmuxd runs but no device is attached",
    "two-devices": "a second device is attached",
    "locked": "the device is locked: lockdown answers PasswordProtected",
    "trust-pending": "no pairing yet; the device shows the Trust dialog (PairingDialogResponsePending)",
    "trust-denied": "no pairing; the user tapped Don't Trust (UserDeniedPairing)",
    "stale-pairing": "the host's pair record is one the device no longer knows (InvalidHostID)",
    "listing-dropped": "the installation proxy hangs up after the first chunk of the listing",
    "listing-bomb": "the installation proxy answers with 233 bytes of nested shared references "
                    "that would build 2^34 values",
    "unplugged": "the device disappears after the first connection to it",
    "usbmuxd-hangup": "usbmuxd closes every connection right after a request",
    "stale-socket": "the socket file exists but nobody listens on it",
}

# Keys a real device answers before a session starts, even while locked.
OPEN_KEYS = {"ProductVersion", "ProductType", "BuildVersion", "UniqueDeviceID", "DeviceClass",
             "ProductName", "HardwareModel", "CPUArchitecture", "SerialNumber"}

# Lockdown's domains beside the default one, with a device's values when "facts" says nothing.
# None marks a key that exists only on some iOS versions: absent unless "facts" gives it.
DOMAINS = {
    "com.apple.disk_usage": {
        "AmountDataAvailable": None,
        "AmountDataReserved": 1_073_741_824,
        "CalculateDiskUsage": "OkilyDokily",
        "TotalDataAvailable": 42_315_776_000,
        "TotalDataCapacity": 117_262_581_760,
        "TotalDiskCapacity": 128_000_000_000,
        "TotalSystemAvailable": 2_147_483_648,
        "TotalSystemCapacity": 10_737_418_240,
    },
    "com.apple.mobile.battery": {
        "BatteryCurrentCapacity": 82,
        "BatteryIsCharging": False,
        "ExternalChargeCapable": True,
        "ExternalConnected": True,
        "FullyCharged": False,
        "GasGaugeCapability": True,
        "HasBattery": True,
    },
    "com.apple.mobile.backup": {
        "WillEncrypt": False,
        "CloudBackupEnabled": True,
        "LastiTunesBackupDate": datetime.datetime(2024, 3, 9, 18, 40, 12),
        "LastCloudBackupDate": datetime.datetime(2024, 6, 2, 2, 15, 40),
    },
    "com.apple.fmip": {"IsAssociated": True},
    "com.apple.security.mac.amfi": {"DeveloperModeStatus": False},
}
# Domains a device has only from this iOS version on.
DOMAINS_SINCE = {"com.apple.security.mac.amfi": 16}

SERVICES = ("com.apple.mobile.installation_proxy", "com.apple.mobile.diagnostics_relay",
            "com.apple.mobile.MCInstall", "com.apple.springboardservices")

# The battery's registry entry (class IOPMPowerSource, name AppleSmartBattery): a healthy one.
BATTERY = {
    "CycleCount": 37,
    "DesignCapacity": 3227,
    "AppleRawMaxCapacity": 3190,
    "NominalChargeCapacity": 3201,
    "AppleRawCurrentCapacity": 2620,
    "CurrentCapacity": 82,
    "MaxCapacity": 100,
    "Temperature": 2950,
    "Voltage": 4012,
    "IsCharging": False,
    "ExternalConnected": True,
    "FullyCharged": False,
    "Serial": "F8Y2EMU0BATT",
    "BatteryData": {"CycleCount": 37, "DesignCapacity": 3227, "Qmax": [3301]},
}
IOREGISTRY_MODES = ("both", "class", "name", "none")
GARBLES = ("bomb", "text")
ICON_KINDS = ("valid", "huge", "vast", "text", "none")

NAME_PARTS = ["Notes & Lists 📝", "Café Finder ☕", "Tom & Jerry 🐱", "Rocket 🚀", "Maps & Routes",
              "Photos 📷", "Weather ⛅", "Bank & Budget 💶", "Chess ♟", "Music 🎵"]


# Who signed a made-up app, by its number: mostly the App Store, a few of each other source.
SIGNERS = {4: "TestFlight Beta Distribution", 6: "Apple Development: Ann Example (AB12CD34EF)",
           7: "iPhone Distribution: Example Corp"}


def plist_value(value):
    """A configured value as the device sends it: {"$date": ISO} a date, {"$data": BASE64} data."""
    if isinstance(value, dict):
        if len(value) == 1 and "$date" in value:
            return datetime.datetime.fromisoformat(value["$date"].replace("Z", "+00:00")) \
                .astimezone(datetime.timezone.utc).replace(tzinfo=None)
        if len(value) == 1 and "$data" in value:
            return base64.b64decode(value["$data"])
        return {k: plist_value(v) for k, v in value.items()}
    if isinstance(value, list):
        return [plist_value(v) for v in value]
    return value


def nested_references(depth=34):
    """A list whose binary form refers to one list object twice at each of `depth` levels: a few
    hundred bytes that a reader building every reference would make 2^depth values of."""
    bomb = ["x"]
    for _ in range(depth):
        bomb = [bomb, bomb]
    return bomb


def png(width, height, pixels):
    """A PNG of `width` by `height` whose IDAT holds `pixels`, raw RGB rows."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data)))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(pixels)) + chunk(b"IEND", b""))


def icon(bundle, kind="valid"):
    """What springboard answers for an app's icon: PNG bytes, other bytes, or None for none."""
    if kind == "valid":
        side = 16
        colour = zlib.crc32(bundle.encode()).to_bytes(4, "big")[:3]
        return png(side, side, (b"\0" + colour * side) * side)
    if kind == "huge":
        return b"\x89PNG\r\n\x1a\n" + bytes(20_000_000)
    if kind == "vast":
        return png(100_000, 100_000, b"\0\0\0\0")
    if kind == "text":
        return b"GIF89a, not a PNG at all"
    return None


def made_up_apps(count):
    """Count apps with names that include emoji and '&', a few system apps among them, apps of
    every source, an offloaded one and an App Clip in every 25."""
    apps = []
    for i in range(count):
        name = f"{NAME_PARTS[i % len(NAME_PARTS)]} {i + 1}"
        system = i % 10 == 9
        identifier = f"com.{'apple' if system else 'example'}.app{i + 1:04d}"
        entry = app(identifier, name, f"{1 + i % 5}.{i % 10}", "System" if system else "User",
                    1_000_000 + i * 12_345, 50_000 * (i % 7))
        entry["SignerIdentity"] = SIGNERS.get(i % 10, "Apple iPhone OS Application Signing")
        entry["MinimumOSVersion"] = f"{13 + i % 5}.0"
        if i % 25 == 12:
            # Offloaded: the service lists what is left, a placeholder without the code's size.
            entry.update(IsPlaceholder=True, IsDemotedApp=True)
            del entry["StaticDiskUsage"]
        elif i % 25 == 20:
            entry["IsAppClip"] = True
        apps.append(entry)
    return apps


def app(identifier, name, version, kind="User", static=1_000_000, dynamic=0):
    return {
        "CFBundleIdentifier": identifier,
        "CFBundleDisplayName": name,
        "CFBundleName": name,
        "CFBundleShortVersionString": version,
        "CFBundleVersion": version + ".0",
        "ApplicationType": kind,
        "StaticDiskUsage": static,
        "DynamicDiskUsage": dynamic,
        # Keys nobody asked for, so that ReturnAttributes visibly matters.
        "CFBundleExecutable": identifier.rsplit(".", 1)[-1],
        "Path": f"/private/var/containers/Bundle/Application/{uuid.uuid4()}/{identifier}.app",
        "Entitlements": {"application-identifier": "ABCDE12345." + identifier},
    }


class Device:
    def __init__(self, number, entry):
        self.number = number
        self.udid = entry.get("udid", f"00008030-00{number:02d}1A2B3C4D5E6F")
        self.name = entry.get("name", "Emulated iPhone")
        self.ios = entry.get("ios", "17.5")
        apps = entry.get("apps", 3)
        self.apps = made_up_apps(apps) if isinstance(apps, int) else apps
        self.host_id = str(uuid.uuid4()).upper()
        # One locked device among several, where the fault would lock them all; "unlocks"
        # locks it until that many seconds after the start.
        self.locked_until = (float(entry["unlocks"]) if "unlocks" in entry
                             else float("inf") if entry.get("locked") else 0.0)
        # The timeline: plugged in that many seconds after the start, unplugged after "leaves".
        self.arrives = float(entry.get("arrives", 0.0))
        self.leaves = float(entry.get("leaves", float("inf")))
        self.facts = plist_value(entry.get("facts") or {})
        self.domains = plist_value(entry.get("domains") or {})
        self.refused = set(entry.get("refuse") or [])
        self.hang = entry.get("hang")
        hangs = ("lockdown", "listing", "diagnostics", "profiles", "icons")
        if self.hang not in (None, *hangs):
            sys.exit(f"emulator.py: unknown hang {self.hang!r}; known: {', '.join(hangs)}")
        battery = entry.get("battery", {})
        self.battery = ({k: v for k, v in dict(BATTERY, **battery).items() if v is not None}
                        if isinstance(battery, dict) else battery)
        self.ioregistry = entry.get("ioregistry", "both")
        if self.ioregistry not in IOREGISTRY_MODES:
            sys.exit(f"emulator.py: unknown ioregistry {self.ioregistry!r}; known: "
                     f"{', '.join(IOREGISTRY_MODES)}")
        self.cloud_configuration = plist_value(entry.get("cloudConfiguration",
                                                         {"IsSupervised": False}))
        self.profiles = entry.get("profiles") or []
        self.profiles_ordered = entry.get("profilesOrdered", True)
        self.profile_errors = set(entry.get("profileErrors") or [])
        self.garble = entry.get("garble") or {}
        for service, kind in self.garble.items():
            if service not in ("diagnostics", "profiles") or kind not in GARBLES:
                sys.exit(f"emulator.py: unknown garble {service!r}: {kind!r}; known: "
                         f"diagnostics, profiles: {', '.join(GARBLES)}")
        self.icons = entry.get("icons") or {}
        for bundle, kind in self.icons.items():
            if kind not in ICON_KINDS:
                sys.exit(f"emulator.py: unknown icon {bundle!r}: {kind!r}; known: "
                         f"{', '.join(ICON_KINDS)}")
        self.unplugged = False
        self.services = {}  # port -> service name, for the next Connect

    @property
    def present(self):
        elapsed = time.monotonic() - STARTED
        return not self.unplugged and self.arrives <= elapsed < self.leaves

    @property
    def locked(self):
        return time.monotonic() - STARTED < self.locked_until


class Emulator:
    def __init__(self, settings, log_path):
        self.fault = settings.get("fault", "none")
        self.chunk = max(1, int(settings.get("chunk", 100)))
        self.delay = float(settings.get("delay", 0.0))
        entries = settings.get("devices") or [{}]
        if "apps" in settings:
            entries = [dict(entry, apps=settings["apps"]) for entry in entries]
        if self.fault == "no-device":
            entries = []
        elif self.fault == "two-devices" and len(entries) < 2:
            entries = entries + [{"name": "Second iPhone", "apps": 1}]
        self.devices = [Device(i + 1, entry) for i, entry in enumerate(entries)]
        self.buid = str(uuid.uuid4()).upper()
        self.lock = threading.Lock()
        self.log_file = open(log_path, "a", encoding="utf-8") if log_path else None
        self.next_port = 49152
        self.public_key = None

    def log(self, channel, request, device=None):
        if not self.log_file:
            return
        entry = {"time": round(time.time(), 3), "channel": channel, "request": jsonable(request)}
        if device:
            entry["device"] = device.udid
        with self.lock:
            self.log_file.write(json.dumps(entry, ensure_ascii=False) + "\n")
            self.log_file.flush()

    def device(self, number):
        for device in self.devices:
            if device.number == number and device.present:
                return device
        return None

    def attached(self):
        return [d for d in self.devices if d.present]

    def pair_record(self, device):
        if self.fault in ("trust-pending", "trust-denied"):
            return None
        # Sessions without SSL read only the HostID; no certificate is ever parsed.
        return {"HostID": device.host_id, "SystemBUID": self.buid,
                "WiFiMACAddress": "00:11:22:33:44:55"}

    def device_public_key(self):
        # Pairing makes libimobiledevice build certificates from this key, so it must be real.
        with self.lock:
            if self.public_key is None:
                with tempfile.TemporaryDirectory() as folder:
                    key = os.path.join(folder, "key.pem")
                    subprocess.run(["openssl", "genrsa", "-out", key, "2048"], check=True,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                    self.public_key = subprocess.run(
                        ["openssl", "rsa", "-in", key, "-pubout", "-RSAPublicKey_out"],
                        check=True, capture_output=True).stdout
            return self.public_key


def jsonable(value):
    if isinstance(value, dict):
        return {k: jsonable(v) for k, v in value.items()}
    if isinstance(value, list):
        return [jsonable(v) for v in value]
    if isinstance(value, bytes):
        return {"data": base64.b64encode(value[:64]).decode(), "length": len(value)}
    if hasattr(value, "isoformat"):
        return value.isoformat()
    return value


def receive_exactly(connection, count):
    data = b""
    while len(data) < count:
        try:
            piece = connection.recv(count - len(data))
        except ConnectionResetError:
            # A client that stops reading a hostile answer hangs up with it unread.
            return None
        if not piece:
            return None
        data += piece
    return data


class Handler(socketserver.BaseRequestHandler):
    """One client connection: usbmuxd requests until a Connect turns it into a device tunnel."""

    def handle(self):
        emulator = self.server.emulator
        while True:
            header = receive_exactly(self.request, 16)
            if header is None:
                return
            length, version, message, tag = struct.unpack("<IIII", header)
            payload = receive_exactly(self.request, length - 16) if length > 16 else b""
            if payload is None:
                return
            if version != 1 or message != 8:
                # The old binary protocol; answering "bad version" makes the client use plists.
                emulator.log("usbmuxd", {"BinaryMessage": message, "Version": version})
                self.send_mux({"MessageType": "Result", "Number": 6}, tag, version, 1)
                continue
            request = plistlib.loads(payload)
            emulator.log("usbmuxd", request)
            if emulator.fault == "usbmuxd-hangup":
                return
            kind = request.get("MessageType")
            if kind == "ListDevices":
                self.send_mux({"DeviceList": [attached_message(d) for d in emulator.attached()]},
                              tag)
            elif kind == "Listen":
                self.send_mux({"MessageType": "Result", "Number": 0}, tag)
                for device in emulator.attached():
                    self.send_mux(attached_message(device), 0)
                # A listener stays until the client goes.
                while self.request.recv(4096):
                    pass
                return
            elif kind == "ReadBUID":
                self.send_mux({"BUID": emulator.buid}, tag)
            elif kind == "ReadPairRecord":
                device = next((d for d in emulator.devices
                               if d.udid == request.get("PairRecordID")), None)
                record = emulator.pair_record(device) if device else None
                if record is None:
                    self.send_mux({"MessageType": "Result", "Number": 2}, tag)
                else:
                    self.send_mux({"PairRecordData": plistlib.dumps(record)}, tag)
            elif kind in ("SavePairRecord", "DeletePairRecord"):
                self.send_mux({"MessageType": "Result", "Number": 0}, tag)
            elif kind == "Connect":
                self.connect(request, tag)
                return
            else:
                self.send_mux({"MessageType": "Result", "Number": 1}, tag)

    def send_mux(self, body, tag, version=1, message=8):
        payload = plistlib.dumps(body)
        self.request.sendall(struct.pack("<IIII", 16 + len(payload), version, message, tag) +
                             payload)

    def connect(self, request, tag):
        emulator = self.server.emulator
        device = emulator.device(request.get("DeviceID"))
        raw = request.get("PortNumber", 0)
        port = ((raw & 0xFF) << 8) | ((raw >> 8) & 0xFF)  # sent in network byte order
        service = None
        if device and port != LOCKDOWN_PORT:
            service = device.services.pop(port, None)
        if not device:
            self.send_mux({"MessageType": "Result", "Number": 2}, tag)
            return
        if port != LOCKDOWN_PORT and service is None:
            self.send_mux({"MessageType": "Result", "Number": 3}, tag)
            return
        self.send_mux({"MessageType": "Result", "Number": 0}, tag)
        if emulator.fault == "unplugged":
            device.unplugged = True
        if port == LOCKDOWN_PORT:
            Lockdown(emulator, device, self.request).serve()
        elif service == "com.apple.mobile.installation_proxy":
            InstallationProxy(emulator, device, self.request).serve()
        elif service == "com.apple.mobile.diagnostics_relay":
            DiagnosticsRelay(emulator, device, self.request).serve()
        elif service == "com.apple.mobile.MCInstall":
            ProfileService(emulator, device, self.request).serve()
        elif service == "com.apple.springboardservices":
            Springboard(emulator, device, self.request).serve()


def attached_message(device):
    return {"MessageType": "Attached", "DeviceID": device.number,
            "Properties": {"ConnectionType": "USB", "DeviceID": device.number,
                           "LocationID": 0x01100000 + device.number, "ProductID": 0x12A8,
                           "SerialNumber": device.udid, "ConnectionSpeed": 480000000,
                           "USBSerialNumber": device.udid.replace("-", "")}}


def hang(connection):
    """Reads whatever comes and answers nothing, until the client gives up and hangs up."""
    while connection.recv(4096):
        pass


class PlistChannel:
    """A device service's framing: a 4-byte big-endian length, then a plist."""

    channel = "service"

    def __init__(self, emulator, device, connection):
        self.emulator, self.device, self.connection = emulator, device, connection

    def receive(self):
        header = receive_exactly(self.connection, 4)
        if header is None:
            return None
        body = receive_exactly(self.connection, struct.unpack(">I", header)[0])
        if body is None:
            return None
        request = plistlib.loads(body)
        self.emulator.log(self.channel, request, self.device)
        return request

    def send(self, body, binary=False):
        try:
            payload = plistlib.dumps(body, fmt=plistlib.FMT_BINARY if binary else plistlib.FMT_XML)
        except ValueError:
            # XML cannot carry control characters; the binary form, which devices send too, can.
            payload = plistlib.dumps(body, fmt=plistlib.FMT_BINARY)
        self.send_bytes(payload)

    def send_bytes(self, payload):
        try:
            self.connection.sendall(struct.pack(">I", len(payload)) + payload)
        except (BrokenPipeError, ConnectionResetError):
            pass  # the client hung up; the next receive ends the session


class Lockdown(PlistChannel):
    channel = "lockdown"

    def serve(self):
        if self.device.hang == "lockdown":
            return hang(self.connection)
        session = None
        fault = "locked" if self.device.locked else self.emulator.fault
        while True:
            request = self.receive()
            if request is None:
                return
            name = request.get("Request")
            answer = {"Request": name}
            if name == "QueryType":
                answer["Type"] = "com.apple.mobile.lockdown"
            elif name == "GetValue":
                key = request.get("Key")
                domain = request.get("Domain")
                values = self.values(domain)
                for field in ("Domain", "Key"):
                    if field in request:
                        answer[field] = request[field]
                if fault == "locked" and (domain or key not in OPEN_KEYS):
                    answer["Error"] = "PasswordProtected"
                elif domain in self.device.refused:
                    answer["Error"] = "GetProhibited"
                elif domain and (values is None or not session):
                    answer["Error"] = "MissingValue"
                elif domain:
                    if key is None:
                        answer["Value"] = values
                    elif key in values:
                        answer["Value"] = values[key]
                    else:
                        answer["Error"] = "MissingValue"
                elif key is None:
                    answer["Value"] = values if session else {
                        k: v for k, v in values.items() if k in OPEN_KEYS}
                elif key == "DevicePublicKey":
                    answer.update(Key=key, Value=self.emulator.device_public_key())
                elif key in values and (session or key in OPEN_KEYS):
                    answer.update(Key=key, Value=values[key])
                else:
                    answer.update(Key=key, Error="MissingValue")
            elif name in ("Pair", "ValidatePair"):
                answer["Error"] = {"trust-pending": "PairingDialogResponsePending",
                                   "trust-denied": "UserDeniedPairing",
                                   "locked": "PasswordProtected",
                                   "stale-pairing": "InvalidHostID"}.get(fault)
                if answer["Error"] is None:
                    del answer["Error"]
                    answer["Result"] = "Success"
            elif name == "StartSession":
                if fault == "locked":
                    answer["Error"] = "PasswordProtected"
                elif fault == "stale-pairing" or request.get("HostID") != self.device.host_id:
                    answer["Error"] = "InvalidHostID"
                else:
                    session = str(uuid.uuid4()).upper()
                    answer.update(SessionID=session, EnableSessionSSL=False)
            elif name == "StopSession":
                session = None
                answer["Result"] = "Success"
            elif name == "StartService":
                service = request.get("Service")
                if not session:
                    answer["Error"] = "InvalidService"
                elif service not in SERVICES:
                    answer["Error"] = "InvalidService"
                elif service in self.device.refused:
                    answer["Error"] = "ServiceProhibited"
                else:
                    with self.emulator.lock:
                        port = self.emulator.next_port
                        self.emulator.next_port += 1
                    self.device.services[port] = service
                    answer.update(Service=service, Port=port, EnableServiceSSL=False)
            elif name == "Goodbye":
                answer["Result"] = "Success"
                self.send(answer)
                return
            else:
                answer["Error"] = "InvalidRequest"
            self.send(answer)

    def values(self, domain=None):
        """The device's values in a domain after its "facts", or None for an unknown domain."""
        major = int(self.device.ios.split(".")[0] or 0)
        if domain is None:
            values = self.default_values()
        elif domain in DOMAINS and major >= DOMAINS_SINCE.get(domain, 0):
            values = dict(DOMAINS[domain])
        elif domain in self.device.domains:
            values = {}
        else:
            return None
        for key, value in self.device.facts.items():
            home = next((name for name, keys in DOMAINS.items() if key in keys), None)
            if home == domain:
                values[key] = value
        values.update(self.device.domains.get(domain, {}) if domain else {})
        return {key: value for key, value in values.items() if value is not None}

    def default_values(self):
        device = self.device
        return {
            "DeviceName": device.name,
            "ProductVersion": device.ios,
            "ProductType": "iPhone14,2",
            "ProductName": "iPhone OS",
            "BuildVersion": "21F79",
            "DeviceClass": "iPhone",
            "HardwareModel": "D63AP",
            "CPUArchitecture": "arm64e",
            "UniqueDeviceID": device.udid,
            "UniqueChipID": 0x1A2B3C4D5E00 + device.number,
            "SupportedDeviceFamilies": [1],
            "SerialNumber": "F2LXX0EMU" + str(device.number),
            "WiFiAddress": "00:11:22:33:44:55",
            "TimeZone": "Europe/Berlin",
            "PasswordProtected": True,
            "ActivationState": "Activated",
            "ModelNumber": "MLTP3",
            "RegionInfo": "ZD/A",
        }


class InstallationProxy(PlistChannel):
    channel = "installation_proxy"

    def serve(self):
        while True:
            request = self.receive()
            if request is None:
                return
            if self.device.hang == "listing" and request.get("Command") == "Browse":
                return hang(self.connection)
            if request.get("Command") != "Browse":
                self.send({"Error": "UnknownCommand",
                           "ErrorDescription": f"Unknown command {request.get('Command')}"})
                continue
            options = request.get("ClientOptions") or {}
            kind = options.get("ApplicationType", "Any")
            wanted = options.get("ReturnAttributes")
            # Offloaded apps and App Clips only when asked for, by the key's mere presence; the
            # placeholders come in a second pass that names an installed app again, as the
            # service's own does.
            def listed(app):
                return ((kind == "Any" or app.get("ApplicationType") == kind)
                        and ("ShowAppClips" in options or not app.get("IsAppClip")))
            installed = [a for a in self.device.apps if listed(a) and not a.get("IsPlaceholder")]
            apps = installed
            if "ShowPlaceholders" in options:
                apps = apps + installed[:1] + [a for a in self.device.apps
                                               if listed(a) and a.get("IsPlaceholder")]
            if wanted is not None:
                apps = [{k: v for k, v in a.items() if k in wanted} for a in apps]
            total = len(apps)
            if self.emulator.fault == "listing-bomb":
                # The binary writer refers to one list object once however often it appears.
                self.send({"Status": "BrowsingApplications", "CurrentList": nested_references()},
                          binary=True)
                self.send({"Status": "Complete"})
                continue
            for start in range(0, total, self.emulator.chunk):
                chunk = apps[start:start + self.emulator.chunk]
                if self.emulator.delay:
                    time.sleep(self.emulator.delay)
                self.send({"Status": "BrowsingApplications", "CurrentIndex": start,
                           "CurrentAmount": len(chunk), "Total": total, "CurrentList": chunk,
                           "PercentComplete": (start + len(chunk)) * 100 // max(total, 1)})
                if self.emulator.fault == "listing-dropped":
                    return
            self.send({"Status": "Complete"})


class GarblingChannel(PlistChannel):
    """A service that may hang or garble its answers, as the device's "hang" and "garble" say."""

    # The device's name for this service in "hang" and "garble".
    short_name = None

    def requests(self):
        """Each request the service is to answer; hangs and garbled answers are dealt with here."""
        while True:
            request = self.receive()
            if request is None:
                return
            if self.device.hang == self.short_name:
                hang(self.connection)
                return
            garble = self.device.garble.get(self.short_name)
            if garble == "bomb":
                self.send({"Status": "Success", "Diagnostics": nested_references()}, binary=True)
            elif garble == "text":
                self.send_bytes(b"<plist><dict><key>Status</key><string>Succ")
            else:
                yield request


class DiagnosticsRelay(GarblingChannel):
    channel = "diagnostics_relay"
    short_name = "diagnostics"

    def serve(self):
        for request in self.requests():
            kind = request.get("Request")
            if kind == "Goodbye":
                self.send({"Status": "Success"})
                return
            if kind != "IORegistry":
                self.send({"Status": "UnknownRequest"})
                continue
            mode = self.device.ioregistry
            if mode == "none":
                # Some devices answer a lookup with no Diagnostics at all.
                self.send({"Status": "Success"})
                continue
            by_class = (request.get("EntryClass") == "IOPMPowerSource"
                        and mode in ("both", "class"))
            by_name = request.get("EntryName") == "AppleSmartBattery" and mode in ("both", "name")
            entry = self.device.battery if by_class or by_name else {}
            self.send({"Status": "Success", "Diagnostics": {"IORegistry": entry}})


class ProfileService(GarblingChannel):
    channel = "MCInstall"
    short_name = "profiles"

    def serve(self):
        for request in self.requests():
            kind = request.get("RequestType")
            if kind in self.device.profile_errors or kind not in (
                    "GetCloudConfiguration", "GetProfileList", "HelloHostIdentifier", "Flush"):
                self.send({"Status": "Error", "ErrorChain": [{
                    "ErrorCode": 12345, "ErrorDomain": "MCInstallationErrorDomain",
                    "LocalizedDescription": f"The request {kind} could not be completed.",
                    "USEnglishDescription": f"The request {kind} could not be completed."}]})
            elif kind == "GetCloudConfiguration":
                self.send({"Status": "Acknowledged",
                           "CloudConfiguration": self.device.cloud_configuration})
            elif kind == "GetProfileList":
                self.send(self.profile_list())
            else:
                self.send({"Status": "Acknowledged"})

    def profile_list(self):
        metadata, manifest, ordered = {}, {}, []
        for number, profile in enumerate(self.device.profiles):
            identifier = profile.get("identifier", f"com.example.profile{number}")
            ordered.append(identifier)
            about = {"PayloadDisplayName": profile.get("displayName"),
                     "PayloadOrganization": profile.get("organization"),
                     "PayloadUUID": str(uuid.UUID(int=number + 1)).upper(),
                     "PayloadVersion": 1,
                     "PayloadRemovalDisallowed": bool(profile.get("removalDisallowed"))}
            about.update(plist_value(profile.get("metadata") or {}))
            # A profile named twice in the list is described once, as the first says.
            metadata.setdefault(str(identifier), {k: v for k, v in about.items() if v is not None})
            manifest.setdefault(str(identifier), {"Description": str(profile.get("displayName")),
                                                  "IsActive": True})
        answer = {"Status": "Acknowledged", "ProfileMetadata": metadata,
                  "ProfileManifest": manifest}
        if self.device.profiles_ordered:
            answer["OrderedIdentifiers"] = ordered
        return answer


class Springboard(PlistChannel):
    channel = "springboardservices"

    def serve(self):
        while True:
            request = self.receive()
            if request is None:
                return
            if self.device.hang == "icons":
                return hang(self.connection)
            if request.get("command") != "getIconPNGData":
                self.send({"Error": "UnknownCommand"}, binary=True)
                continue
            bundle = str(request.get("bundleId"))
            data = icon(bundle, self.device.icons.get(bundle, "valid"))
            self.send({} if data is None else {"pngData": data}, binary=True)


class Server(socketserver.ThreadingMixIn, socketserver.UnixStreamServer):
    daemon_threads = True
    allow_reuse_address = True
    # Tests start dozens of tools at once; the default backlog of 5 would refuse most of them.
    request_queue_size = 128


def load_settings(arguments):
    settings = {}
    if arguments.config:
        with open(arguments.config, encoding="utf-8") as file:
            settings = json.load(file)
    for key in ("fault", "chunk", "delay", "apps"):
        value = getattr(arguments, key)
        if value is not None:
            settings[key] = value
    if arguments.name or arguments.ios or arguments.udid:
        devices = settings.get("devices") or [{}]
        first = dict(devices[0])
        for key in ("name", "ios", "udid"):
            if getattr(arguments, key):
                first[key] = getattr(arguments, key)
        settings["devices"] = [first] + list(devices[1:])
    if settings.get("fault", "none") not in FAULTS:
        sys.exit(f"emulator.py: unknown fault {settings['fault']!r}; known: {', '.join(FAULTS)}")
    return settings


def main():
    parser = argparse.ArgumentParser(
        description="Emulates usbmuxd with an iPhone behind it.",
        epilog="faults:\n" + "\n".join(f"  {k:16} {v}" for k, v in FAULTS.items()),
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("config", nargs="?", help="JSON configuration file")
    parser.add_argument("--socket", default="/var/run/usbmuxd", help="UNIX socket to serve on")
    parser.add_argument("--log", help="append one JSON line per request to this file")
    parser.add_argument("--ready", help="create this file once the socket is served")
    parser.add_argument("--fault", help="one of the faults below")
    parser.add_argument("--apps", type=int, help="this many made-up apps on every device")
    parser.add_argument("--chunk", type=int, help="apps per listing message (default 100)")
    parser.add_argument("--delay", type=float, help="seconds before each listing message")
    parser.add_argument("--name", help="the first device's name")
    parser.add_argument("--ios", help="the first device's iOS version")
    parser.add_argument("--udid", help="the first device's identifier")
    arguments = parser.parse_args()
    settings = load_settings(arguments)

    if os.path.exists(arguments.socket):
        os.unlink(arguments.socket)
    emulator = Emulator(settings, arguments.log)
    if emulator.fault == "stale-socket":
        # Bound and closed: the file stays, and connecting is refused.
        stale = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        stale.bind(arguments.socket)
        stale.close()
        server = None
    else:
        server = Server(arguments.socket, Handler)
        server.emulator = emulator
    if arguments.ready:
        open(arguments.ready, "w").close()
    try:
        if server:
            server.serve_forever()
        else:
            threading.Event().wait()
    except KeyboardInterrupt:
        pass
    finally:
        if os.path.exists(arguments.socket):
            os.unlink(arguments.socket)


if __name__ == "__main__":
    # The wrapper stops the emulator with SIGTERM; exiting normally removes the socket.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    main()
