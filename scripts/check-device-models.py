#!/usr/bin/env python3
"""Compares scanning/models/device-models.txt with the npm package ios-device-list.

Run it by hand when Apple ships new devices; no test or build runs it. It downloads
the package's latest release from the npm registry (or reads a tarball given with
--package), takes its iPhones, iPads and iPod touches released from 2013 on, and
prints:

- the product types it knows and our table lacks,
- the product types only our table has,
- the names that differ. The table's header notes the differences kept on purpose
  ("#   iPad7,1 iPad7,2: why"); the report marks those as kept.

It exits 1 when our table lacks a product type the package has, 2 when the
package cannot be had or read, and 0 otherwise.

usage: scripts/check-device-models.py [--package FILE.tgz] [--table FILE]
"""

import argparse
import base64
import hashlib
import io
import json
import pathlib
import re
import sys
import tarfile
import urllib.request

REGISTRY = "https://registry.npmjs.org/ios-device-list"
TABLE = pathlib.Path(__file__).resolve().parent.parent / "scanning/models/device-models.txt"

# The first product type of each family released in 2013 (iPhone 5c, iPad Air,
# iPod touch 6th generation): the iPhone 5, the 4th-generation iPad, the first
# iPad mini and the 5th-generation iPod touch came out in 2012.
FIRST = {"iPhone": (5, 3), "iPad": (4, 1), "iPod": (7, 1)}

PRODUCT_TYPE = re.compile(r"^(iPhone|iPad|iPod)(\d+),(\d+)$")
KEPT_NOTE = re.compile(r"^#\s+((?:(?:iPhone|iPad|iPod)\d+,\d+\s*)+):\s*(.+)$")


class Failure(Exception):
    pass


def sort_key(product_type):
    family, major, minor = PRODUCT_TYPE.match(product_type).groups()
    return (list(FIRST).index(family), int(major), int(minor))


def in_range(product_type):
    match = PRODUCT_TYPE.match(product_type)
    if not match:
        return False
    family, major, minor = match.groups()
    return (int(major), int(minor)) >= FIRST[family]


def read_table(text):
    """The table as DeviceModels.cpp reads it, and the notes on differences kept."""
    names, kept = {}, {}
    for line in text.split("\n"):
        if line.startswith("#"):
            note = KEPT_NOTE.match(line)
            if note:
                for product_type in note.group(1).split():
                    kept[product_type] = note.group(2).strip()
            continue
        tab = line.find("\t")
        if tab > 0:
            names[line[:tab]] = line[tab + 1:].strip()
    return names, kept


def fetch(url):
    request = urllib.request.Request(url, headers={"Accept": "application/json"})
    try:
        with urllib.request.urlopen(request, timeout=60) as response:
            return response.read()
    except OSError as error:
        raise Failure(f"cannot download {url}: {error}") from error


def check_integrity(data, dist):
    # The registry gives a sha512 for current releases and only a sha1 for old ones.
    integrity = dist.get("integrity", "")
    if integrity.startswith("sha512-"):
        actual = base64.b64encode(hashlib.sha512(data).digest()).decode()
        expected = integrity[len("sha512-"):]
    elif "shasum" in dist:
        actual, expected = hashlib.sha1(data).hexdigest(), dist["shasum"]
    else:
        return
    if actual != expected:
        raise Failure("the downloaded tarball does not match the registry's checksum")


def download_package():
    try:
        document = json.loads(fetch(REGISTRY))
        version = document["dist-tags"]["latest"]
        dist = document["versions"][version]["dist"]
        published = document.get("time", {}).get(version, "")[:10]
    except (ValueError, KeyError, TypeError) as error:
        raise Failure(f"unexpected answer from {REGISTRY}: {error!r}") from error
    data = fetch(dist["tarball"])
    check_integrity(data, dist)
    return data, f"from the npm registry, published {published}" if published else "from the npm registry"


def read_package(data):
    """Product type -> set of names, from the package's flat list (name, model)."""
    try:
        with tarfile.open(fileobj=io.BytesIO(data), mode="r:gz") as archive:
            package = json.load(archive.extractfile("package/package.json"))
            devices = json.load(archive.extractfile("package/devices.json"))
    except (tarfile.TarError, KeyError, AttributeError, ValueError, OSError) as error:
        raise Failure(f"cannot read the package's devices.json: {error}") from error
    names = {}
    for device in devices:
        if not isinstance(device, dict):
            continue
        product_type, name = device.get("model"), device.get("name")
        # Its list repeats some devices; a product type can come with a second name.
        if isinstance(product_type, str) and isinstance(name, str):
            names.setdefault(product_type, set()).add(name.strip())
    return names, package.get("version", "?")


def grouped(product_types, name_of):
    """Lines of 'name: type type', in table order, for product types sharing a name."""
    groups = {}
    for product_type in sorted(product_types, key=sort_key):
        groups.setdefault(name_of(product_type), []).append(product_type)
    return [f"  {name}: {' '.join(types)}" for name, types in groups.items()]


def compare(ours, kept, theirs):
    """The report's lines and the number of product types our table lacks."""
    ours = {t: n for t, n in ours.items() if in_range(t)}
    theirs = {t: n for t, n in theirs.items() if in_range(t)}
    missing = set(theirs) - set(ours)
    only_ours = set(ours) - set(theirs)
    differ = sorted((t for t in set(ours) & set(theirs) if ours[t] not in theirs[t]),
                    key=sort_key)
    lines = [f"From 2013 on: ours {len(ours)}, the package's {len(theirs)}.", ""]
    lines.append(f"Missing from our table ({len(missing)}):")
    lines += grouped(missing, lambda t: " / ".join(sorted(theirs[t]))) or ["  none"]
    lines += ["", f"Only in our table ({len(only_ours)}):"]
    lines += grouped(only_ours, lambda t: ours[t]) or ["  none"]
    lines += ["", f"Names that differ ({len(differ)}):"]
    for product_type in differ:
        theirs_named = " / ".join(f'"{n}"' for n in sorted(theirs[product_type]))
        lines.append(f'  {product_type}: ours "{ours[product_type]}", theirs {theirs_named}')
        note = kept.get(product_type)
        lines.append(f"    kept: {note}" if note else "    not noted in the table's header")
    if not differ:
        lines.append("  none")
    unexplained = sum(1 for t in differ if t not in kept)
    lines += ["", f"Summary: {len(missing)} missing, {len(only_ours)} only ours, "
                  f"{len(differ)} names differ ({len(differ) - unexplained} kept)."]
    return lines, len(missing)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--package", type=pathlib.Path,
                        help="an ios-device-list tarball to read instead of downloading one")
    parser.add_argument("--table", type=pathlib.Path, default=TABLE,
                        help="the table to check (default: %(default)s)")
    args = parser.parse_args()
    try:
        if args.package:
            data, where = args.package.read_bytes(), str(args.package)
        else:
            data, where = download_package()
        theirs, version = read_package(data)
    except (Failure, OSError) as error:
        print(f"check-device-models: {error}", file=sys.stderr)
        return 2
    try:
        ours, kept = read_table(args.table.read_text(encoding="utf-8"))
    except (OSError, UnicodeDecodeError) as error:
        print(f"check-device-models: {error}", file=sys.stderr)
        return 2
    lines, missing = compare(ours, kept, theirs)
    print(f"ios-device-list {version} ({where}) against {args.table}")
    print("\n".join(lines))
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
