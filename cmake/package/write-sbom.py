#!/usr/bin/env python3
"""Writes the CycloneDX 1.5 bill of materials of the shipped DLL.

Called by write-sbom.cmake with what the build found; knows no version of its own.
The same DLL and components give the same bytes: the serial number is derived from the
DLL's hash and the timestamp is SOURCE_DATE_EPOCH's, never the clock's.

  write-sbom.py --out FILE --dll DLL --name NAME --version VERSION --epoch SECONDS
                --distro debian-12 COMPONENT...
  COMPONENT: --deb NAME VERSION LICENCE PACKAGE PACKAGE_VERSION ARCH
             (linked from a Debian binary package)
             --deb-source NAME VERSION LICENCE SOURCE SOURCE_VERSION
             (compiled by the build from a Debian source package)
LICENCE is an SPDX identifier or expression.
"""
import argparse
import datetime
import hashlib
import json
import sys
import urllib.parse
import uuid


def purl(package, version, **qualifiers):
    # Package URLs percent-encode the version: Debian's carry '+' and '~'.
    query = "&".join(f"{key}={value}" for key, value in sorted(qualifiers.items()))
    return f"pkg:deb/debian/{package}@{urllib.parse.quote(version, safe='')}?{query}"


def licences(spdx):
    if " " in spdx:
        return [{"expression": spdx}]
    return [{"license": {"id": spdx}}]


def component(name, version, licence, package_url):
    return {
        "type": "library",
        "bom-ref": name,
        "name": name,
        "version": version,
        "licenses": licences(licence),
        "purl": package_url,
    }


def parse_components(words, distro):
    components = []
    while words:
        kind, words = words[0], words[1:]
        if kind == "--deb" and len(words) >= 6:
            name, version, licence, package, package_version, arch = words[:6]
            words = words[6:]
            package_url = purl(package, package_version, arch=arch, distro=distro)
        elif kind == "--deb-source" and len(words) >= 5:
            name, version, licence, source, source_version = words[:5]
            words = words[5:]
            package_url = purl(source, source_version, arch="source", distro=distro)
        else:
            sys.exit(f"write-sbom.py: cannot read the component at '{kind}'")
        components.append(component(name, version, licence, package_url))
    return components


def main():
    parser = argparse.ArgumentParser(allow_abbrev=False)
    for option in ("--out", "--dll", "--name", "--version", "--distro"):
        parser.add_argument(option, required=True)
    parser.add_argument("--epoch", required=True, type=int)
    args, rest = parser.parse_known_args()
    components = parse_components(rest, args.distro)

    with open(args.dll, "rb") as dll:
        dll_hash = hashlib.sha256(dll.read()).hexdigest()
    moment = datetime.datetime.fromtimestamp(args.epoch, datetime.timezone.utc)
    bom = {
        "bomFormat": "CycloneDX",
        "specVersion": "1.5",
        "serialNumber": uuid.uuid5(uuid.NAMESPACE_OID, f"sha256:{dll_hash}").urn,
        "version": 1,
        "metadata": {
            "timestamp": moment.strftime("%Y-%m-%dT%H:%M:%SZ"),
            "component": {
                "type": "library",
                "bom-ref": args.name,
                "name": args.name,
                "version": args.version,
                "description": "PNG decoder plug-in",
                "licenses": licences("MIT"),
                "purl": f"pkg:generic/{args.name}@{urllib.parse.quote(args.version, safe='')}",
                "hashes": [{"alg": "SHA-256", "content": dll_hash}],
            },
        },
        "components": components,
        "dependencies": [{"ref": args.name, "dependsOn": [c["bom-ref"] for c in components]}],
    }
    with open(args.out, "w", encoding="utf-8", newline="\n") as out:
        json.dump(bom, out, indent=2)
        out.write("\n")


if __name__ == "__main__":
    main()
