"""Writes the release's software bill of materials, CycloneDX 1.6 JSON: every shipped file with
its SHA-256, every statically linked third-party component with its Debian package's version and
its licence (packaging/third_party.py), and the tools that made the bytes. Reproducible: its one
time is EPOCH (the commit's), and its serial number a UUID from the rest of the document.

    sbom.py OUTPUT PRODUCT PUBLISHER VERSION EPOCH BUNDLE --records RECORD... --tools PROGRAM...
"""

import hashlib
import json
import os
import shutil
import subprocess
import sys
import time
import uuid
from urllib.parse import quote

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import release_files  # noqa: E402
import third_party  # noqa: E402


def purl(package, version, architecture):
    return f"pkg:deb/debian/{quote(package, safe='')}@{quote(version, safe='')}?arch={architecture}"


def shipped_files(bundle):
    for relative, path in release_files.bundle_files(bundle):
        digest = hashlib.sha256(open(path, "rb").read()).hexdigest()
        yield {"type": "file", "bom-ref": "file:" + relative, "name": relative,
               "hashes": [{"alg": "SHA-256", "content": digest}]}


def libraries(records):
    for component in third_party.components(records):
        yield {"type": "library", "bom-ref": "library:" + component.kind.name,
               "name": component.kind.name, "version": component.version,
               "description": component.kind.description,
               "licenses": [{"expression": component.licence}],
               "purl": purl(component.package, component.version, component.architecture)}


def tools(programs):
    """Each program's Debian package, once; a program of no package by its own --version."""
    found = {}
    for program in programs:
        located = shutil.which(program)
        if not located:
            third_party.fail(f"the tool {program} is missing")
        path = os.path.realpath(located)
        owner = subprocess.run(["dpkg-query", "--search", path], capture_output=True, text=True,
                               check=False)
        if owner.returncode != 0:
            version = subprocess.run([program, "--version"], capture_output=True, text=True,
                                     check=True).stdout.splitlines()[0]
            found[os.path.basename(program)] = {"type": "application",
                                                "name": os.path.basename(program),
                                                "version": version}
            continue
        package = owner.stdout.split(": ", 1)[0].split(":")[0]
        entry = found.setdefault(package, {"type": "application", "name": package,
                                           "programs": set()})
        entry["programs"].add(os.path.basename(program))
    for name, entry in sorted(found.items()):
        if "programs" in entry:
            version = third_party.package_field(name, "Version")
            entry = {"type": "application", "name": name, "version": version,
                     "description": ", ".join(sorted(entry["programs"])),
                     "purl": purl(name, version, third_party.package_field(name, "Architecture"))}
        yield entry


def write(output, product, publisher, version, epoch, bundle, records, programs):
    files = list(shipped_files(bundle))
    document = {
        "bomFormat": "CycloneDX",
        "specVersion": "1.6",
        "version": 1,
        "metadata": {
            "timestamp": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(int(epoch))),
            "tools": {"components": list(tools(programs))},
            "component": {"type": "application", "bom-ref": "product", "name": product,
                          "version": version, "supplier": {"name": publisher}},
        },
        "components": files + list(libraries(records)),
        "dependencies": [{"ref": "product", "dependsOn": [f["bom-ref"] for f in files]}],
    }
    text = json.dumps(document, indent=2, sort_keys=True)
    digest = hashlib.sha256(text.encode("utf-8")).hexdigest()
    serial = uuid.uuid5(uuid.NAMESPACE_URL, "urn:sha256:" + digest)
    document["serialNumber"] = f"urn:uuid:{serial}"
    with open(output, "w", encoding="utf-8") as out:
        out.write(json.dumps(document, indent=2, sort_keys=True) + "\n")


arguments = sys.argv[1:]
if len(arguments) < 10 or arguments[6] != "--records" or "--tools" not in arguments:
    sys.exit(__doc__)
split = arguments.index("--tools")
write(*arguments[:6], arguments[7:split], arguments[split + 1:])
