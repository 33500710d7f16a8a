#!/usr/bin/env python3
"""Writes the CycloneDX 1.6 bill of materials of one package of the tool, from what its build used.

  make-sbom.py linux   OUT ROOT VERSION EPOCH             (ROOT: the .deb's staged tree)
  make-sbom.py windows OUT ROOT VERSION EPOCH EXPAT_RECORD MAPS
                                                   (ROOT: the files beside the tool)

Every file under ROOT is listed with its SHA-512 (a link with that of the file it leads to
within ROOT; OUT itself excepted). The components
are found, not kept in a list: on Linux, the Debian packages whose libraries each executable needs
(dpkg-shlibdeps, as the package's Depends is made); on Windows, the archives the linker took
members from (each executable's link map, NAME.exe.map in MAPS), each traced to the Debian
package that installed it, and expat to the Debian source package the sysroot was built from
(EXPAT_RECORD). Versions are those of the packages on the build machine. The serial number is
derived from the content and the only time is EPOCH (SOURCE_DATE_EPOCH), so a rebuild gives the
same bytes.
"""
import datetime
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
import uuid

NAME = "corvelan-dtm-update-tool"
SUPPLIER = "Corvelan"  # as the .deb (Vendor) and the MSI (Manufacturer) state it
LICENSE = "Proprietary"  # as the copyright file states it


def run(*command, cwd=None):
    return subprocess.run(command, check=True, capture_output=True, text=True, cwd=cwd).stdout


def sha512(path, root):
    """The SHA-512 of what reading `path` gives; a link is followed within `root`."""
    while os.path.islink(path):
        target = os.readlink(path)
        path = os.path.join(root, target.lstrip("/")) if os.path.isabs(target) else \
            os.path.normpath(os.path.join(os.path.dirname(path), target))
    digest = hashlib.sha512()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            digest.update(chunk)
    return digest.hexdigest()


def debian_licenses(package):
    """The licences a Debian package's machine-readable copyright file gives its files."""
    try:
        with open(f"/usr/share/doc/{package}/copyright", encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError:
        return [{"license": {"name": f"see the copyright file of the Debian package {package}"}}]
    names = sorted({m.strip() for m in re.findall(r"^License:\s*(\S[^\n]*)$", text, re.M)})
    names = names or [f"see /usr/share/doc/{package}/copyright"]
    return [{"license": {"name": name}} for name in names]


def debian_component(package, properties=()):
    fields = run("dpkg-query", "-W", "-f",
                 "${Version}\t${Architecture}\t${source:Package}\t${source:Version}", package)
    version, arch, source, source_version = fields.split("\t")
    purl = f"pkg:deb/debian/{package}@{version.replace('+', '%2B')}?arch={arch}"
    return {
        "type": "library",
        "bom-ref": purl,
        "supplier": {"name": "Debian"},
        "name": package,
        "version": version,
        "licenses": debian_licenses(package),
        "purl": purl,
        "properties": [{"name": "corvelan:debian:source", "value": f"{source} {source_version}"},
                       *properties],
    }


def is_elf(path):
    """True for an executable or library file itself, not a link to one."""
    if os.path.islink(path):
        return False
    with open(path, "rb") as f:
        return f.read(4) == b"\x7fELF"


def owner(path):
    """The Debian package that installed `path`."""
    line = run("dpkg-query", "-S", os.path.realpath(path)).splitlines()[0]
    return line.split(":")[0]


def linux_components(root, executables):
    """The packages each executable needs, and the Depends the package states (one per package)."""
    with tempfile.TemporaryDirectory() as scratch:
        os.mkdir(os.path.join(scratch, "debian"))
        with open(os.path.join(scratch, "debian", "control"), "w") as f:
            f.write(f"Source: {NAME}\n\nPackage: {NAME}\nArchitecture: any\n")

        def depends(*files):
            out = run("dpkg-shlibdeps", "-O", *[f"-e{os.path.join(root, f)}" for f in files],
                      cwd=scratch)
            value = out.strip().split("=", 1)[1]
            return [d.strip() for d in value.split(",") if d.strip()]

        stated = depends(*executables)
        needs = {exe: [d.split()[0] for d in depends(exe)] for exe in executables}
    components = {d.split()[0]: debian_component(
        d.split()[0], [{"name": "corvelan:debian:depends", "value": d}]) for d in stated}
    return components, needs


def windows_components(maps, executables, expat_record):
    """The archives each executable's link took members from, by the package they come from."""
    with open(expat_record, encoding="utf-8") as f:
        expat = json.load(f)
    components, needs, archives_of = {}, {}, {}
    for exe in executables:
        with open(os.path.join(maps, exe) + ".map", encoding="utf-8", errors="replace") as f:
            archives = sorted({m.group(1) for m in re.finditer(r"^(/\S+?\.a)\(", f.read(), re.M)})
        needs[exe] = []
        for archive in archives:
            if archive.endswith("/" + expat["archive"]):
                key = "expat"
                components.setdefault(key, {
                    "type": "library",
                    "bom-ref": expat["purl"],
                    "supplier": {"name": "Debian"},
                    "name": "expat",
                    "version": expat["upstream"],
                    "licenses": [{"license": {"id": "MIT"}}],
                    "purl": expat["purl"],
                    "description": "built from Debian's source package with Debian's patches, "
                                   "linked statically",
                    "properties": [
                        {"name": "corvelan:debian:source", "value": f"expat {expat['version']}"},
                        *[{"name": "corvelan:debian:patch", "value": p} for p in expat["patches"]],
                    ],
                })
            elif archive.startswith("/usr/"):
                key = owner(archive)
                if key not in components:
                    components[key] = debian_component(key)
                    components[key]["description"] = "linked statically"
                archives_of.setdefault(key, set()).add(os.path.basename(archive))
            else:
                continue  # the tool's own libraries, from its build folder
            if key not in needs[exe]:
                needs[exe].append(key)
    for key, archives in archives_of.items():
        components[key]["properties"] += [{"name": "corvelan:linked-archive", "value": a}
                                          for a in sorted(archives)]
    return components, needs


def main():
    flavour, out, root, version, epoch = sys.argv[1:6]
    files = sorted(
        os.path.relpath(os.path.join(folder, name), root)
        for folder, _, names in os.walk(root) for name in names
        if os.path.abspath(os.path.join(folder, name)) != os.path.abspath(out))
    if flavour == "windows":
        executables = [f for f in files if f.endswith(".exe")]
        components, needs = windows_components(sys.argv[7], executables, sys.argv[6])
    else:
        executables = [f for f in files if is_elf(os.path.join(root, f))]
        components, needs = linux_components(root, executables)

    tool_ref = f"pkg:generic/corvelan/{NAME}@{version}"
    file_components = [{
        "type": "file",
        "bom-ref": f"file:{f}",
        "name": f.replace(os.sep, "/"),
        "hashes": [{"alg": "SHA-512", "content": sha512(os.path.join(root, f), root)}],
    } for f in files]
    dependencies = [{"ref": tool_ref, "dependsOn": [c["bom-ref"] for c in file_components]}]
    dependencies += [{"ref": f"file:{exe}", "dependsOn": sorted(components[n]["bom-ref"]
                                                                for n in needs[exe])}
                     for exe in executables]
    dependencies += [{"ref": c["bom-ref"], "dependsOn": []}
                     for c in file_components if c["name"] not in executables]
    dependencies += [{"ref": c["bom-ref"], "dependsOn": []} for c in components.values()]
    bom = {
        "bomFormat": "CycloneDX",
        "specVersion": "1.6",
        "version": 1,
        "metadata": {
            "timestamp": datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc)
            .strftime("%Y-%m-%dT%H:%M:%SZ"),
            "lifecycles": [{"phase": "build"}],
            "component": {
                "type": "application",
                "bom-ref": tool_ref,
                "supplier": {"name": SUPPLIER},
                "name": NAME,
                "version": version,
                "licenses": [{"license": {"name": LICENSE}}],
                "purl": tool_ref,
            },
            "supplier": {"name": SUPPLIER},
        },
        "components": sorted(components.values(), key=lambda c: c["name"]) + file_components,
        "dependencies": dependencies,
    }
    body = json.dumps(bom, indent=2, sort_keys=False)
    bom = {"$schema": "http://cyclonedx.org/schema/bom-1.6.schema.json", **bom,
           "serialNumber": f"urn:uuid:{uuid.uuid5(uuid.NAMESPACE_URL, body)}"}
    with open(out, "w", encoding="utf-8") as f:
        f.write(json.dumps(bom, indent=2) + "\n")


if __name__ == "__main__":
    main()
