"""The third-party code inside the shipped programs, from the build's records of what each one
linked (cmake/link_record) and the installed Debian packages that supplied those files: each
component's name, Debian package, version, licence (an SPDX expression) and notice (the package's
copyright file). packaging/notices.py and packaging/sbom.py write it out.

What the build took from outside /usr is the project's own or the engine's: an engine library
brings its own notices. A file under /usr that no package owns, a package without its copyright
file, or an archive of a package not named below fails, so that nothing ships unlisted.
"""

import fnmatch
import os
import re
import subprocess
import sys
from dataclasses import dataclass

COPYRIGHT = "/usr/share/doc/{}/copyright"
GCC_EXCEPTION = "GPL-3.0-or-later WITH GCC-exception-3.1"
# What the GCC copyright file must say for the expression above: the exception, and the library
# among the runtime libraries it covers.
GCC_EXCEPTION_TITLE = "GCC RUNTIME LIBRARY EXCEPTION"
GCC_EXCEPTION_VERSION = "Version 3.1, 31 March 2009"
# Debian's short licence names (copyright-format 1.0) that SPDX names otherwise; any other name
# is an SPDX identifier already or becomes a LicenseRef of its own.
SPDX_NAMES = {
    "expat": "MIT",
    "BSD-2-clause-NetBSD": "BSD-2-Clause",
    "BSD-3-clause": "BSD-3-Clause",
    "GPL-2+": "GPL-2.0-or-later",
    "GPL-3+": "GPL-3.0-or-later",
    "LGPL-2+": "LGPL-2.0-or-later",
    "LGPL-2.1+": "LGPL-2.1-or-later",
    "ISC": "ISC",
    "ZPL-2.1": "ZPL-2.1",
}


@dataclass(frozen=True)
class Kind:
    """A component: the archives that are it, and where its licence is read. gcc_library: its
    name in the GCC copyright file's list of runtime libraries; source_folder: its folder in a
    machine-readable copyright file. Archives=None takes every other file of its package."""

    name: str
    description: str
    archives: tuple = None
    gcc_library: str = ""
    source_folder: str = ""


KINDS = (
    Kind("libstdc++", "the GNU C++ standard library (GCC)", ("libstdc++.a",),
         gcc_library="libstdc++-v3"),
    Kind("libgcc", "GCC's low-level runtime and unwinder", ("libgcc.a", "libgcc_eh.a"),
         gcc_library="libgcc"),
    Kind("libssp", "GCC's stack protector runtime", ("libssp.a", "libssp_nonshared.a"),
         gcc_library="libssp"),
    Kind("winpthreads", "the POSIX threads library of mingw-w64", ("libpthread.a", "libwinpthread.a"),
         source_folder="mingw-w64-libraries/winpthreads/"),
    Kind("mingw-w64-crt", "the mingw-w64 C runtime: start-up code, CRT and import libraries",
         source_folder="mingw-w64-crt/"),
)


@dataclass
class Component:
    kind: Kind
    package: str
    version: str
    architecture: str
    copyright: str
    licence: str


def fail(message):
    sys.exit(f"third_party: {message}")


def package_of(paths):
    """The Debian package that installed each path: {path: package}."""
    owners = {}
    for path in paths:
        for candidate in (path, os.path.realpath(path)):
            result = subprocess.run(["dpkg-query", "--search", candidate], capture_output=True,
                                    text=True, check=False)
            owner = [line.split(": ", 1)[0] for line in result.stdout.splitlines()
                     if not line.startswith("diversion ")]
            if result.returncode == 0 and owner:
                owners[path] = owner[0].split(":")[0]
                break
        else:
            fail(f"{path} was linked, but no installed Debian package owns it")
    return owners


def package_field(package, name):
    return subprocess.run(["dpkg-query", "--show", "--showformat", "${" + name + "}", package],
                          capture_output=True, text=True, check=True).stdout


def read_copyright(package):
    path = COPYRIGHT.format(package)
    if not os.path.isfile(path):
        fail(f"{path} is missing: the notice of the package {package} cannot be given")
    return path, open(path, encoding="utf-8").read()


def spdx(name):
    name = name.strip()
    if name in SPDX_NAMES:
        return SPDX_NAMES[name]
    return "LicenseRef-" + re.sub(r"[^A-Za-z0-9.-]", "-", name)


def stanzas(text):
    """The paragraphs of a machine-readable copyright file, each as {field: first line}."""
    for paragraph in re.split(r"\n\s*\n", text):
        fields, current = {}, None
        for line in paragraph.splitlines():
            match = re.match(r"^([A-Za-z-]+):\s*(.*)$", line)
            if match:
                current = match[1]
                fields[current] = match[2]
            elif current == "Files":
                fields[current] += " " + line.strip()
        yield fields


def folder_licence(text, folder):
    """The licences of the files under FOLDER: each Files stanza that names some of them, from
    the last one that covers the whole folder on (later stanzas win), test folders left out."""
    relevant = []
    for stanza in stanzas(text):
        patterns = stanza.get("Files", "").split()
        if not patterns or "License" not in stanza:
            continue
        if any(fnmatch.fnmatchcase(folder + "x", pattern) for pattern in patterns):
            relevant = []
        if any(fnmatch.fnmatchcase(folder + "x", p) or (p.startswith(folder) and "/tests" not in p)
               for p in patterns):
            relevant.append(stanza["License"])
    names = sorted({spdx(name) for licence in relevant for name in re.split(r" and | or ", licence)})
    if not names:
        fail(f"the copyright file states no licence for {folder}")
    return " AND ".join(names)


def gcc_licence(text, library, path):
    listed = re.search(rf"^ - {re.escape(library)}\b", text, re.MULTILINE)
    if GCC_EXCEPTION_TITLE not in text or GCC_EXCEPTION_VERSION not in text or not listed:
        fail(f"{path} does not put {library} under the GCC Runtime Library Exception 3.1")
    return GCC_EXCEPTION


def kind_of(path, package):
    name = os.path.basename(path)
    for kind in KINDS:
        if kind.archives and name in kind.archives:
            return kind
    upstream = re.search(r"^Upstream-Name:\s*(\S+)", read_copyright(package)[1], re.MULTILINE)
    if upstream and upstream[1] == "mingw-w64":
        return KINDS[-1]
    fail(f"{path} of the package {package} is linked, but packaging/third_party.py names no "
         "component for it")


def components(records):
    """The third-party components of the programs whose link RECORDS are given, by name."""
    linked = {line.strip() for record in records for line in open(record, encoding="utf-8")}
    found = {}
    for path, package in sorted(package_of(sorted(p for p in linked if p.startswith("/usr/"))).items()):
        kind = kind_of(path, package)
        if kind.name not in found:
            copyright_path, text = read_copyright(package)
            licence = (gcc_licence(text, kind.gcc_library, copyright_path) if kind.gcc_library
                       else folder_licence(text, kind.source_folder))
            found[kind.name] = Component(kind, package, package_field(package, "Version"),
                                         package_field(package, "Architecture"), copyright_path,
                                         licence)
        elif found[kind.name].package != package:
            fail(f"{kind.name} comes from both {found[kind.name].package} and {package}")
    return [found[kind.name] for kind in KINDS if kind.name in found]
