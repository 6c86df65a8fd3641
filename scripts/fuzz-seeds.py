#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora into tests/fuzz/corpus: real-shaped examples of every
input and the edge cases the readers must handle. Failing inputs found later are added by hand
(named regress-*) and are left alone by this script."""
import json
import pathlib
import plistlib
import sys

root = pathlib.Path(__file__).resolve().parent.parent / "tests" / "fuzz" / "corpus"
written = 0


def seed(target, name, data):
    global written
    folder = root / target
    folder.mkdir(parents=True, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    (folder / name).write_bytes(data)
    written += 1


def compact(value):
    return json.dumps(value, separators=(",", ":"), ensure_ascii=False)


FIELDS = ["App name", "Category", "Bundle identifier", "Version", "App type", "App MB", "Data MB",
          "Total MB", "Scan date (UTC)", "Device identifier"]
ROW = {"App name": "Amberfield Radio", "Category": "Music",
       "Bundle identifier": "com.amberfield.radio", "Version": "3.3.3", "App type": "User",
       "App MB": "30.41", "Data MB": "4.19", "Total MB": "34.60", "Scan date (UTC)": "12/08/2026",
       "Device identifier": "00008120-0000DE30DE30001E", "Update available": "No",
       "Store version": "3.3.3", "Store checked": "1796756279.48",
       "Artwork URL": "https://is1-ssl.mzstatic.com/image/thumb/a/512x512bb.png"}

# Inventories, as the scanner writes them and as other versions or damage leave them.
full = {"fields": FIELDS, "rows": [ROW, dict(ROW, **{"App name": "Notes Über ✓",
                                                     "Bundle identifier": "com.example.notes"})],
        "deviceName": "Anna’s iPhone", "scanID": "1F3A2B4C-0D5E-4F60-8A71-92B3C4D5E6F7",
        "scannedAt": 786450000.123456, "deviceID": "00008120-0000DE30DE30001E",
        "snapshotName": "Before iOS update", "snapshotNotes": "Line one\nLine two"}
seed("fuzz_inventory", "full.json", compact(full))
seed("fuzz_inventory", "pretty.json", json.dumps(full, indent=2))
seed("fuzz_inventory", "minimal.json", '{"fields":[],"rows":[]}')
seed("fuzz_inventory", "older-release.json", compact({"fields": FIELDS, "rows": [ROW]}))
seed("fuzz_inventory", "newer-version.json",
     compact(dict(full, futureKey={"nested": [1, 2, None]}, rows=[dict(ROW, Extra="x")])))
seed("fuzz_inventory", "nulls.json", compact(dict(full, deviceName=None, scannedAt=None)))
seed("fuzz_inventory", "escapes.json",
     '{"fields":["A\\u00e9\\ud83d\\ude00"],"rows":[{"A\\u00e9\\ud83d\\ude00":"\\"\\\\\\/\\b\\f\\n\\r\\t"}]}')
seed("fuzz_inventory", "lone-surrogate.json", '{"fields":["\\ud800"],"rows":[]}')
seed("fuzz_inventory", "numbers.json",
     '{"fields":[],"rows":[],"scannedAt":-1e308}')
seed("fuzz_inventory", "huge-date.json", '{"fields":[],"rows":[],"scannedAt":1e15}')
seed("fuzz_inventory", "wrong-types.json", '{"fields":"x","rows":{}}')
seed("fuzz_inventory", "row-number.json", '{"fields":[],"rows":[{"App name":1}]}')
seed("fuzz_inventory", "duplicate-keys.json",
     '{"fields":[],"rows":[{"App name":"a","App name":"b"}],"rows":[]}')
seed("fuzz_inventory", "deep.json", '{"x":' + "[" * 200 + "]" * 200 + ',"fields":[],"rows":[]}')
seed("fuzz_inventory", "truncated.json", compact(full)[:120])
seed("fuzz_inventory", "bom.json", "\ufeff" + compact(full))
seed("fuzz_inventory", "control-name.json",
     compact(dict(full, deviceName="a/b:c\\d\u0007\u200b", rows=[dict(ROW, **{"App name": "\u200b"})])))

# The store data cache.
cache = {"app.lumenfold.camera": {"category": "Photo & Video", "checked": 1796756279.48,
                                  "iconURL": "https://is1-ssl.mzstatic.com/a.png",
                                  "metadataRevision": 1, "version": "3.7.5"},
         "com.example.unknown": {"category": "", "checked": 1796756279.0, "metadataRevision": 1},
         "com.example.old": {"category": "Games", "checked": 0}}
seed("fuzz_categories", "cache.json", compact(cache))
seed("fuzz_categories", "empty.json", "{}")
seed("fuzz_categories", "newer-version.json",
     compact({k: dict(v, futureKey=[1]) for k, v in cache.items()}))
seed("fuzz_categories", "nulls.json",
     '{"a":{"category":"x","checked":1.5,"version":null,"iconURL":null,"metadataRevision":null}}')
seed("fuzz_categories", "big-revision.json",
     '{"a":{"category":"x","checked":1e300,"metadataRevision":9007199254740993}}')
seed("fuzz_categories", "fraction-revision.json",
     '{"a":{"category":"x","checked":-0.0,"metadataRevision":1.5}}')
seed("fuzz_categories", "wrong-type.json", '{"a":{"category":1,"checked":"1"}}')
seed("fuzz_categories", "array.json", "[]")

# Snapshot names and notes.
notes = {"1F3A2B4C-0D5E-4F60-8A71-92B3C4D5E6F7": {"name": "Before iOS update",
                                                 "notes": "Phone from work\r\nsecond line"},
         "not an identity": {"name": "", "notes": ""}}
seed("fuzz_notes", "notes.json", compact(notes))
seed("fuzz_notes", "newer-version.json",
     compact({k: dict(v, colour="red") for k, v in notes.items()}))
seed("fuzz_notes", "missing-notes.json", '{"A":{"name":"x"}}')
seed("fuzz_notes", "not-object.json", '{"A":"x"}')
seed("fuzz_notes", "empty.json", "{}")
seed("fuzz_notes", "escapes.json", '{"\\u0000":{"name":"\\ud83d\\ude00","notes":"\\udfff"}}')

# App listings, as the installer tool prints them.
apps = [
    {"CFBundleIdentifier": "com.example.notes", "CFBundleDisplayName": "Notes",
     "CFBundleName": "NotesApp", "CFBundleShortVersionString": "2.1", "CFBundleVersion": "210",
     "ApplicationType": "User", "StaticDiskUsage": 31457280, "DynamicDiskUsage": 2048},
    {"CFBundleIdentifier": "com.apple.mobilesafari", "CFBundleName": "Safari",
     "CFBundleVersion": "8621", "ApplicationType": "System", "StaticDiskUsage": 1.5e9},
    {"CFBundleIdentifier": "org.example.ünïcode", "CFBundleDisplayName": "\u200b",
     "CFBundleName": "Ünïcode 🎉", "StaticDiskUsage": -5, "DynamicDiskUsage": True},
]
xml = plistlib.dumps(apps, fmt=plistlib.FMT_XML)
seed("fuzz_applist", "apps.xml", xml)
seed("fuzz_applist", "apps.bplist", plistlib.dumps(apps, fmt=plistlib.FMT_BINARY))
seed("fuzz_applist", "leading-line.xml", b"Total: 3 apps\n" + xml)
seed("fuzz_applist", "empty.xml", plistlib.dumps([], fmt=plistlib.FMT_XML))
seed("fuzz_applist", "dict.xml", plistlib.dumps({"a": 1}, fmt=plistlib.FMT_XML))
seed("fuzz_applist", "no-identifier.xml",
     plistlib.dumps([{"CFBundleName": "x"}], fmt=plistlib.FMT_XML))
seed("fuzz_applist", "odd-types.bplist", plistlib.dumps(
    [{"CFBundleIdentifier": "a", "StaticDiskUsage": 2**63 - 1, "DynamicDiskUsage": 1e308,
      "CFBundleVersion": 3, "ApplicationType": b"\x00\x01", "CFBundleDisplayName": ["x"]}],
    fmt=plistlib.FMT_BINARY))
seed("fuzz_applist", "tool-output.xml",
     (root.parent.parent / "scanning" / "data" / "apps.xml").read_bytes())
seed("fuzz_applist", "error-text.txt", "ERROR: Device is locked\n")

# Store lookup answers.
result = {"bundleId": "com.example.notes", "primaryGenreName": "Productivity", "version": "2.2",
          "artworkUrl512": "https://is1-ssl.mzstatic.com/image/thumb/a/512x512bb.jpg",
          "artworkUrl100": "https://is1-ssl.mzstatic.com/image/thumb/a/100x100bb.jpg",
          "trackName": "Notes", "price": 0.0}
seed("fuzz_lookup", "answer.json", compact({"resultCount": 2, "results": [
    result, {"bundleId": "com.example.maps", "primaryGenreName": "Navigation",
             "artworkUrl100": "https://is1-ssl.mzstatic.com/m.jpg"}]}))
seed("fuzz_lookup", "no-results.json", '{"resultCount":0,"results":[]}')
seed("fuzz_lookup", "foreign.json", compact({"results": [dict(result, bundleId="com.other")]}))
seed("fuzz_lookup", "wrong-types.json",
     compact({"results": [{"bundleId": "com.example.notes", "primaryGenreName": 5,
                           "version": None, "artworkUrl512": ["x"]}]}))
seed("fuzz_lookup", "not-objects.json", '{"results":[1,"x"]}')
seed("fuzz_lookup", "empty-object.json", "{}")
seed("fuzz_lookup", "html.txt", "<html><body>Service Unavailable</body></html>")
seed("fuzz_lookup", "repeated.json",
     compact({"results": [result, dict(result, primaryGenreName="Utilities")]}))

# Release records.
release = {"version": "1.2.0", "minimumMacOS": "13.0",
           "downloadURL": "https://marrowby.example/quillet/download",
           "notes": "Faster scans.\nFixes."}
seed("fuzz_release", "release.json", compact(release))
seed("fuzz_release", "newer-keys.json", compact(dict(release, channel="beta", size=1)))
seed("fuzz_release", "other-host.json",
     compact(dict(release, downloadURL="https://evil.example/quillet")))
seed("fuzz_release", "http.json",
     compact(dict(release, downloadURL="http://marrowby.example/quillet")))
seed("fuzz_release", "userinfo.json",
     compact(dict(release, downloadURL="https://marrowby.example@evil.example/")))
seed("fuzz_release", "bad-version.json", compact(dict(release, version="1.2-beta")))
seed("fuzz_release", "missing-notes.json",
     compact({k: v for k, v in release.items() if k != "notes"}))
seed("fuzz_release", "array.json", "[1]")

# Version pairs: installed, NUL, store.
for name, a, b in [("equal", "1.2.3", "1.2.3"), ("newer", "1.2", "1.10"),
                   ("shorter", "1.2", "1.2.0"), ("letters", "2.0b1", "2.0"),
                   ("empty", "", "1.0"), ("huge", "1." + "9" * 40, "1." + "9" * 39),
                   ("leading-zeros", "1.02", "1.2"), ("dots", "1..2", ".1"),
                   ("unicode-digits", "١.٢", "1.2"), ("signs", "+1.-2", "1.2")]:
    seed("fuzz_version", name, a + "\0" + b)

# CSV exports of the earlier release.
header = ",".join('"%s"' % f for f in FIELDS)
seed("fuzz_csv", "export.csv", "\ufeff" + header + "\r\n" +
     '"Notes","Productivity","com.example.notes","2.1","User","30.00","0.00","30.00",'
     '"03/05/2024","00008120-0000DE30DE30001E"\r\n')
seed("fuzz_csv", "quotes.csv", 'a,b\n"x ""quoted"" y","multi\nline"\nab"c"d,\n')
seed("fuzz_csv", "ragged.csv", "a,b,c\n1\n1,2,3,4\n\n")
seed("fuzz_csv", "cr-only.csv", "a,b\r1,2\r")
seed("fuzz_csv", "unterminated.csv", 'a\n"never closed')
seed("fuzz_csv", "formula.csv", "App name,Version\n=HYPERLINK(\"x\"),'1\n")
seed("fuzz_csv", "boms.csv", "\ufeffa\ufeff,b\n1,\ufeff2\n")

print(f"fuzz-seeds: wrote {written} seeds into {root}", file=sys.stderr)
