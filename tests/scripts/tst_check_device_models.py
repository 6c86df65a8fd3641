#!/usr/bin/env python3
"""scripts/check-device-models.py on tarballs made here (it is never let download): which
product types count, what it reports and its exit status.

usage: tst_check_device_models.py
"""

import io
import json
import os
import subprocess
import sys
import tarfile
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "scripts", "check-device-models.py")
HEADER = ["# names", "# Names kept where it differs:", "#   iPad7,1 iPad7,2: a style of its own."]


def tarball(devices, files=None):
    buffer = io.BytesIO()
    contents = {"package/package.json": json.dumps({"version": "9.9.9"})}
    if devices is not None:
        contents["package/devices.json"] = json.dumps(devices)
    contents.update(files or {})
    with tarfile.open(fileobj=buffer, mode="w:gz") as archive:
        for name, text in contents.items():
            data = text.encode()
            info = tarfile.TarInfo(name)
            info.size = len(data)
            archive.addfile(info, io.BytesIO(data))
    return buffer.getvalue()


def device(model, name):
    return {"name": name, "model": model}


# name, our table's lines, the package's devices (None: no devices.json), exit status, and
# lines the report must hold and must not hold.
CASES = [
    ("the same devices",
     ["iPhone6,1\tiPhone 5s", "iPad4,4\tiPad mini 2"],
     [device("iPhone6,1", "iPhone 5s"), device("iPad4,4", "iPad mini 2"),
      device("iPhone6,1", "iPhone 5s")],
     0, ["Summary: 0 missing, 0 only ours, 0 names differ (0 kept)."], []),
    ("one we lack fails",
     ["iPhone6,1\tiPhone 5s"],
     [device("iPhone6,1", "iPhone 5s"), device("iPod9,1", "iPod touch (7th generation)")],
     1, ["Missing from our table (1):", "  iPod touch (7th generation): iPod9,1"], []),
    ("devices from before 2013 and others do not count",
     ["iPhone6,1\tiPhone 5s"],
     [device("iPhone6,1", "iPhone 5s"), device("iPhone5,2", "iPhone 5"),
      device("iPad3,6", "iPad (4th generation)"), device("iPad2,7", "iPad mini"),
      device("iPod5,1", "iPod touch (5th generation)"), device("Watch1,1", "Apple Watch"),
      device("AppleTV5,3", "Apple TV HD")],
     0, ["Summary: 0 missing, 0 only ours, 0 names differ (0 kept)."], []),
    ("the first of each family counts",
     [],
     [device("iPhone5,3", "iPhone 5c"), device("iPad4,1", "iPad Air"),
      device("iPod7,1", "iPod touch (6th generation)")],
     1, ["Missing from our table (3):", "  iPhone 5c: iPhone5,3", "  iPad Air: iPad4,1"], []),
    ("newer devices are ours alone and pass, grouped by name in numeric order",
     ["iPad16,10\tiPad Air 13-inch (M4)", "iPad16,8\tiPad Air 11-inch (M4)",
      "iPad16,9\tiPad Air 11-inch (M4)", "iPhone18,5\tiPhone 17e"],
     [],
     0, ["Only in our table (4):", "  iPhone 17e: iPhone18,5",
         "  iPad Air 11-inch (M4): iPad16,8 iPad16,9"], []),
    ("a name kept in the header and one not",
     HEADER + ["iPad7,1\tiPad Pro (12.9-inch) (2nd generation)", "iPad7,3\tiPad Pro 10.5"],
     [device("iPad7,1", "iPad Pro (12.9-inch, 2nd generation)"),
      device("iPad7,3", "iPad Pro (10.5-inch)")],
     0, ['  iPad7,3: ours "iPad Pro 10.5", theirs "iPad Pro (10.5-inch)"',
         "    not noted in the table's header", "    kept: a style of its own.",
         "Summary: 0 missing, 0 only ours, 2 names differ (1 kept)."], []),
    ("either of two names of the package matches",
     ["iPhone8,4\tiPhone SE (1st generation)"],
     [device("iPhone8,4", "iPhone SE"), device("iPhone8,4", "iPhone SE (1st generation)")],
     0, ["Names that differ (0):"], []),
    ("a line the app skips is no entry",
     ["iPhone6,1 iPhone 5s", "# iPhone6,2\tiPhone 5s"],
     [device("iPhone6,1", "iPhone 5s"), device("iPhone6,2", "iPhone 5s")],
     1, ["  iPhone 5s: iPhone6,1 iPhone6,2"], []),
    ("a package without its list",
     ["iPhone6,1\tiPhone 5s"], None, 2, [], ["Summary"]),
]


def run(case, folder):
    name, table, devices, status, present, absent = case
    package = os.path.join(folder, "package.tgz")
    with open(package, "wb") as file:
        file.write(tarball(devices))
    table_file = os.path.join(folder, "device-models.txt")
    with open(table_file, "w", encoding="utf-8") as file:
        file.write("\n".join(table) + "\n")
    result = subprocess.run([sys.executable, SCRIPT, "--package", package, "--table", table_file],
                            capture_output=True, text=True, timeout=30)
    lines = result.stdout.splitlines()
    problems = []
    if result.returncode != status:
        problems.append(f"exit {result.returncode}, expected {status}")
    problems += [f"no line {line!r}" for line in present if line not in lines]
    problems += [f"a line with {text!r}" for text in absent if text in result.stdout]
    if status == 2 and "check-device-models:" not in result.stderr:
        problems.append("no message on standard error")
    return name, problems, result.stdout + result.stderr


def main():
    failed = 0
    with tempfile.TemporaryDirectory() as folder:
        for case in CASES:
            name, problems, output = run(case, folder)
            if problems:
                failed += 1
                print(f"FAIL {name}: {'; '.join(problems)}\n{output}")
            else:
                print(f"PASS {name}")
    print(f"{len(CASES) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
