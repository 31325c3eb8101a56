#!/usr/bin/env python3
"""Checks the application bundle's Info.plist as configured for a Mac build: a well-formed
property list that names the executable, identifier and versions it was given, keeps the
application out of the Dock (LSUIElement) and states the minimum macOS version."""
import plistlib
import sys


def main() -> int:
    path, bundle_id, executable, version, minimum = sys.argv[1:6]
    with open(path, "rb") as f:
        info = plistlib.load(f, fmt=plistlib.FMT_XML)
    expected = {
        "CFBundleIdentifier": bundle_id,
        "CFBundleExecutable": executable,
        "CFBundlePackageType": "APPL",
        "CFBundleShortVersionString": version,
        "CFBundleVersion": version,
        "LSMinimumSystemVersion": minimum,
        "LSUIElement": True,
    }
    wrong = {key: info.get(key) for key, value in expected.items() if info.get(key) != value}
    leftovers = [key for key, value in info.items() if isinstance(value, str) and "@" in value]
    if wrong or leftovers:
        print(f"{path}: wrong {wrong}, unsubstituted {leftovers}", file=sys.stderr)
        return 1
    print(f"{path}: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
