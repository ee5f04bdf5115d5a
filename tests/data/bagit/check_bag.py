#!/usr/bin/env python3
"""Checks a BagIt bag as RFC 8493 (BagIt 1.0) lays it down, independently of the program that
wrote it: the declaration, every payload and tag manifest line, every payload file listed in
every payload manifest and nothing listed that is not there, the Payload-Oxum.

Usage: check_bag.py BAG
Prints one line per fault naming the file concerned and exits 1, or prints "gültig" and exits 0."""
import hashlib
import os
import re
import sys

ALGORITHMS = ("md5", "sha1", "sha224", "sha256", "sha384", "sha512")


def decode_path(text):
    # Section 2.1.3: CR, LF and % of a path are percent-encoded; nothing else is.
    return re.sub(r"%(0D|0A|25)", lambda m: {"0D": "\r", "0A": "\n", "25": "%"}[m.group(1).upper()], text,
                  flags=re.IGNORECASE)


def digest_of(path, algorithm):
    hasher = hashlib.new(algorithm)
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 16), b""):
            hasher.update(block)
    return hasher.hexdigest()


def read_manifest(bag, name, faults):
    """The lines of a manifest as {path: checksum}."""
    entries = {}
    with open(os.path.join(bag, name), "rb") as f:
        raw = f.read()
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError:
        faults.append(f"{name}: nicht UTF-8")
        return entries
    for number, line in enumerate(text.split("\n"), 1):
        if line.endswith("\r"):
            line = line[:-1]
        if line == "":
            continue
        match = re.fullmatch(r"([0-9A-Fa-f]+)[ \t]+(.+)", line)
        if not match:
            faults.append(f"{name}: Zeile {number} ist keine Zeile 'Prüfsumme Pfad': {line!r}")
            continue
        path = decode_path(match.group(2))
        parts = path.split("/")
        if path.startswith("/") or ".." in parts or "." in parts or "" in parts:
            faults.append(f"{name}: Zeile {number}: unzulässiger Pfad {path!r}")
            continue
        if path in entries:
            faults.append(f"{name}: {path} steht zweimal darin")
        entries[path] = match.group(1).lower()
    return entries


def payload_files(bag):
    found = set()
    for top, dirs, files in os.walk(os.path.join(bag, "data")):
        for name in files + [d for d in dirs if os.path.islink(os.path.join(top, d))]:
            full = os.path.join(top, name)
            found.add(os.path.relpath(full, bag).replace(os.sep, "/"))
    return found


def check(bag):
    faults = []
    declaration = os.path.join(bag, "bagit.txt")
    if not os.path.isfile(declaration):
        return ["bagit.txt fehlt"]
    with open(declaration, "rb") as f:
        lines = f.read().decode("utf-8", "replace").splitlines()
    if len(lines) != 2 or not re.fullmatch(r"BagIt-Version: \d+\.\d+", lines[0]) or \
            lines[1] != "Tag-File-Character-Encoding: UTF-8":
        faults.append(f"bagit.txt: keine gültige Erklärung: {lines!r}")
    if not os.path.isdir(os.path.join(bag, "data")):
        faults.append("data/ fehlt")
        return faults

    manifests = [a for a in ALGORITHMS if os.path.isfile(os.path.join(bag, f"manifest-{a}.txt"))]
    if not manifests:
        faults.append("kein manifest-ALGORITHMUS.txt")
    present = payload_files(bag)
    for algorithm in manifests:
        name = f"manifest-{algorithm}.txt"
        entries = read_manifest(bag, name, faults)
        for path, checksum in sorted(entries.items()):
            if not path.startswith("data/"):
                faults.append(f"{name}: {path} liegt nicht unter data/")
                continue
            full = os.path.join(bag, path)
            if not os.path.isfile(full) or os.path.islink(full):
                faults.append(f"{name}: {path} fehlt")
            elif digest_of(full, algorithm) != checksum:
                faults.append(f"{name}: {path} hat eine andere Prüfsumme")
        for path in sorted(present - set(entries)):
            faults.append(f"{name}: {path} ist nicht verzeichnet")

    info = os.path.join(bag, "bag-info.txt")
    if os.path.isfile(info):
        with open(info, "rb") as f:
            text = f.read().decode("utf-8", "replace")
        labels = {}
        for line in text.splitlines():
            if line[:1] in (" ", "\t"):
                continue  # a continued value
            match = re.fullmatch(r"([^:\s][^:]*):\s(.*)", line)
            if not match:
                faults.append(f"bag-info.txt: keine Zeile 'Name: Wert': {line!r}")
                continue
            labels.setdefault(match.group(1), []).append(match.group(2))
        for oxum in labels.get("Payload-Oxum", []):
            octets = sum(os.path.getsize(os.path.join(bag, p)) for p in present)
            if oxum != f"{octets}.{len(present)}":
                faults.append(f"bag-info.txt: Payload-Oxum {oxum} statt {octets}.{len(present)}")

    for algorithm in ALGORITHMS:
        name = f"tagmanifest-{algorithm}.txt"
        if not os.path.isfile(os.path.join(bag, name)):
            continue
        for path, checksum in sorted(read_manifest(bag, name, faults).items()):
            full = os.path.join(bag, path)
            if path.startswith("data/") or path.startswith("tagmanifest-"):
                faults.append(f"{name}: {path} ist keine Tag-Datei für dieses Manifest")
            elif not os.path.isfile(full):
                faults.append(f"{name}: {path} fehlt")
            elif digest_of(full, algorithm) != checksum:
                faults.append(f"{name}: {path} hat eine andere Prüfsumme")
    return faults


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    faults = check(sys.argv[1])
    for fault in faults:
        print(fault)
    if not faults:
        print("gültig")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
