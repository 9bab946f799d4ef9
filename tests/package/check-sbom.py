#!/usr/bin/env python3
"""Holds the package's CycloneDX bill of materials to facts gathered apart from the build.

  check-sbom.py SBOM DLL VERSION TIMESTAMP COMPONENT...
  COMPONENT: "NAME VERSION PACKAGE PACKAGE_VERSION ARCH", as dpkg-query (or, for a source
             package, its changelog and header) tells them on this machine.
Every component must be listed once with that version and a Debian package URL naming that
package, version and architecture, and nothing else; the plug-in itself with VERSION and
the DLL's SHA-256.
"""
import hashlib
import json
import re
import sys
import urllib.parse


def main():
    sbom_path, dll_path, version, timestamp = sys.argv[1:5]
    expected = {}
    for line in sys.argv[5:]:
        name, *facts = line.split()
        expected[name] = facts
    with open(sbom_path, encoding="utf-8") as source:
        bom = json.load(source)
    with open(dll_path, "rb") as dll:
        dll_hash = hashlib.sha256(dll.read()).hexdigest()

    problems = []

    def require(condition, message):
        if not condition:
            problems.append(message)

    require(bom.get("bomFormat") == "CycloneDX", "bomFormat is not CycloneDX")
    require(bom.get("specVersion") == "1.5", "specVersion is not 1.5")
    require(re.fullmatch(r"urn:uuid:[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}", bom.get("serialNumber", "")),
            f"serialNumber {bom.get('serialNumber')!r} is no urn:uuid")
    metadata = bom.get("metadata", {})
    require(metadata.get("timestamp") == timestamp, f"timestamp {metadata.get('timestamp')} is not {timestamp}")
    plugin = metadata.get("component", {})
    require(plugin.get("name") == "VelaPNG" and plugin.get("version") == version,
            f"the plug-in is {plugin.get('name')} {plugin.get('version')}, not VelaPNG {version}")
    require({"alg": "SHA-256", "content": dll_hash} in plugin.get("hashes", []),
            "the plug-in's SHA-256 is not the packaged DLL's")

    listed = [component.get("name") for component in bom.get("components", [])]
    require(sorted(listed) == sorted(expected), f"components {listed}, expected {sorted(expected)}")
    for component in bom.get("components", []):
        name = component.get("name")
        if name not in expected:
            continue
        upstream, package, package_version, arch = expected[name]
        require(component.get("version") == upstream, f"{name} is {component.get('version')}, built with {upstream}")
        match = re.fullmatch(r"pkg:deb/debian/([^@]+)@([^?]+)\?(.*)", component.get("purl", ""))
        require(match, f"{name}'s package URL {component.get('purl')!r} is no Debian one")
        if match:
            qualifiers = urllib.parse.parse_qs(match.group(3))
            require(match.group(1) == package and urllib.parse.unquote(match.group(2)) == package_version
                    and qualifiers.get("arch") == [arch],
                    f"{name}'s package URL {component.get('purl')} is not {package} {package_version} {arch}")
        require(component.get("licenses"), f"{name} names no licence")
    dependencies = {entry.get("ref"): entry.get("dependsOn") for entry in bom.get("dependencies", [])}
    names = {component.get("bom-ref"): component.get("name") for component in bom.get("components", [])}
    depended = [names.get(ref) for ref in dependencies.get(plugin.get("bom-ref"), [])]
    require(sorted(depended, key=str) == sorted(expected), "the plug-in's dependencies are not the components")

    for problem in problems:
        print(f"check-sbom.py: {problem}")
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
