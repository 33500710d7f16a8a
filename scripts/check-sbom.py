#!/usr/bin/env python3
"""Checks the bill of materials each package of the tool ships.

  check-sbom.py PACKAGE...     (.deb, .msi or .zip)

Each package is unpacked; its bill of materials must be valid against the CycloneDX 1.6 JSON
schema, taken from the CycloneDX project's own package (@cyclonedx/cyclonedx-library on the npm
registry, its integrity checked); every file the package holds must be listed with its SHA-512,
and nothing else; the expat it lists must be the version the package's corvelan-dtm-cli reports
with --version; and a .deb's listed constraints must be the Depends the package states.
"""
import base64
import hashlib
import io
import json
import os
import re
import subprocess
import sys
import tarfile
import tempfile
import urllib.request
import warnings
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LIBRARY = "https://registry.npmjs.org/@cyclonedx/cyclonedx-library/-/cyclonedx-library-10.3.0.tgz"
INTEGRITY = ("sha512-RIT28sp1U0PCHaaeF3yNRwk6Jig/XJ8UsYAVOMYaHQ+0VVOvsjcp0PTWQFLUqJFF8XMud+Kdq6G+wt"
             "DAh+QJFA==")
SCHEMAS = {  # the schema's own $id: the file in the package
    "http://cyclonedx.org/schema/bom-1.6.schema.json": "bom-1.6.SNAPSHOT.schema.json",
    "http://cyclonedx.org/schema/spdx.schema.json": "spdx.SNAPSHOT.schema.json",
    "http://cyclonedx.org/schema/jsf-0.82.schema.json": "jsf-0.82.SNAPSHOT.schema.json",
}
SBOM = "corvelan-dtm-update-tool.cdx.json"


def schemas():
    """The schemas, from the library's package, fetched once into build/cyclonedx-schema."""
    cache = os.path.join(ROOT, "build", "cyclonedx-schema")
    if not all(os.path.exists(os.path.join(cache, f)) for f in SCHEMAS.values()):
        data = urllib.request.urlopen(LIBRARY, timeout=60).read()
        digest = "sha512-" + base64.b64encode(hashlib.sha512(data).digest()).decode()
        if digest != INTEGRITY:
            sys.exit(f"{LIBRARY}: integrity {digest}, not {INTEGRITY}")
        os.makedirs(cache, exist_ok=True)
        with tarfile.open(fileobj=io.BytesIO(data)) as archive:
            for name in SCHEMAS.values():
                member = archive.extractfile(f"package/res/schema/{name}")
                with open(os.path.join(cache, name), "wb") as f:
                    f.write(member.read())
    # Known by their $id and, as the package's schemas refer to each other, by their file names.
    store = {}
    for uri, name in SCHEMAS.items():
        store[uri] = store[uri.rsplit("/", 1)[0] + "/" + name] = json.load(
            open(os.path.join(cache, name)))
    return store


def validate(bom, store):
    import jsonschema
    try:
        import jsonschema._validators as rules
        # Debian 12's jsonschema (4.10) sorts the extra items of an array to name them in a
        # message, which fails on objects, such as a component's second licence, in the branch of
        # a oneOf that does not apply. Named unsorted, as later versions do.
        rules.extras_msg = lambda extras: (
            ", ".join(repr(extra) for extra in extras), "was" if len(extras) == 1 else "were")
    except ImportError:
        pass
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)
        schema = store["http://cyclonedx.org/schema/bom-1.6.schema.json"]
        resolver = jsonschema.RefResolver.from_schema(schema, store=store)
        validator = jsonschema.Draft7Validator(schema, resolver=resolver,
                                               format_checker=jsonschema.FormatChecker())
        return [f"{'/'.join(map(str, e.absolute_path))}: {e.message}"
                for e in validator.iter_errors(bom)]


def unpack(package, into):
    if package.endswith(".deb"):
        subprocess.run(["dpkg-deb", "-x", package, into], check=True)
    elif package.endswith(".zip"):
        zipfile.ZipFile(package).extractall(into)
    else:
        subprocess.run(["msiextract", "-C", into, package], check=True, capture_output=True)


def listed_files(tree):
    """Every file of the unpacked tree, by its path there, with the SHA-512 of what it reads."""
    files = {}
    for folder, _, names in os.walk(tree):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:  # a link in the tree leads within it
                files[os.path.relpath(path, tree)] = hashlib.sha512(f.read()).hexdigest()
    return files


def reported_expat(cli, windows):
    command = [os.path.join(ROOT, "scripts", "wine-run.sh"), cli] if windows else [cli]
    out = subprocess.run(command + ["--version"], check=True, capture_output=True,
                         text=True).stdout
    return re.search(r"^expat (\S+)$", out, re.M).group(1)


def check(package, store):
    failures = []
    with tempfile.TemporaryDirectory() as tree:
        os.chmod(tree, 0o755)  # Wine runs the command line as the test prefix's user
        unpack(package, tree)
        found = [os.path.join(folder, SBOM) for folder, _, names in os.walk(tree) if SBOM in names]
        if len(found) != 1:
            return [f"{len(found)} bills of materials named {SBOM}"]
        bom = json.load(open(found[0]))
        failures += validate(bom, store)
        if bom.get("specVersion") != "1.6":
            failures.append(f"CycloneDX {bom.get('specVersion')}, not 1.6")
        files = listed_files(tree)
        files.pop(os.path.relpath(found[0], tree))
        base = os.path.dirname(os.path.relpath(found[0], tree)) if package.endswith(
            (".msi", ".zip")) else ""
        listed = {os.path.join(base, c["name"]): {h["alg"]: h["content"] for h in c["hashes"]}
                  for c in bom["components"] if c["type"] == "file"}
        for path in sorted(set(files) | set(listed)):
            if path not in listed:
                failures.append(f"{path} is not listed")
            elif path not in files:
                failures.append(f"{path} is listed but not in the package")
            elif listed[path].get("SHA-512") != files[path]:
                failures.append(f"{path}: SHA-512 {listed[path].get('SHA-512')}, not {files[path]}")

        windows = not package.endswith(".deb")
        cli = next(os.path.join(tree, p) for p in files
                   if os.path.basename(p) == ("corvelan-dtm-cli.exe" if windows
                                              else "corvelan-dtm-cli"))
        libraries = {c["name"]: c for c in bom["components"] if c["type"] == "library"}
        expat = libraries.get("expat" if windows else "libexpat1")
        # Its upstream version: without a Debian epoch or revision.
        version = expat["version"].split(":")[-1].rsplit("-", 1)[0] if expat else None
        reported = reported_expat(cli, windows)
        if version != reported:
            failures.append(f"expat {version} is listed, the executable reports {reported}")
        if not windows:
            stated = subprocess.run(["dpkg-deb", "-f", package, "Depends"], check=True,
                                    capture_output=True, text=True).stdout.strip()
            constraints = [p["value"] for c in libraries.values() for p in c["properties"]
                           if p["name"] == "corvelan:debian:depends"]
            if sorted(constraints) != sorted(d.strip() for d in stated.split(",")):
                failures.append(f"the constraints {constraints} are not the Depends: {stated}")
    print(f"{os.path.basename(package)}: {bom['specVersion']} valid, {len(listed)} files, "
          f"{len(libraries)} components, expat {reported}"
          + ("" if not failures else f", {len(failures)} failures"))
    return failures


def main():
    store = schemas()
    failures = []
    for package in sys.argv[1:]:
        failures += [f"{os.path.basename(package)}: {f}" for f in check(package, store)]
    for failure in failures:
        print("FAIL " + failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
