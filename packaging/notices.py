"""Writes the release's third-party notices: for each component of other authors that the shipped
programs link statically, its name, version, licence and notice, the notice being the copyright
file of the Debian package that supplied it, as installed on the machine that built the release.

    notices.py OUTPUT PRODUCT RECORD...     RECORD: a program's link record (cmake/link_record)
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import third_party  # noqa: E402

RULE = "=" * 78
GCC_EXCEPTION_NOTE = (
    "  Licensed under the GNU General Public License, version 3 or later, with the GCC Runtime\n"
    "  Library Exception, version 3.1 (its text is in the notice below), which permits conveying\n"
    "  this library combined with the program under terms of the distributor's choice.")


def write(output, product, records):
    found = third_party.components(records)
    if not found:
        third_party.fail("the link records name no third-party code: were they written by lld?")
    # Identical copyright files (GCC's packages share one) are given once.
    texts = {}
    for component in found:
        text = open(component.copyright, encoding="utf-8").read().rstrip("\n")
        texts.setdefault(text, set()).add(component.copyright)
    numbers = {path: number for number, paths in enumerate(texts.values(), 1) for path in paths}
    lines = [f"Third-party notices of {product}", "",
             f"The programs of {product} contain the following code of other authors, linked",
             "statically. Each notice is the copyright file of the Debian package that supplied",
             "the code to the build.", ""]
    for component in found:
        lines += [RULE, f"{component.kind.name}: {component.kind.description}",
                  f"  version:  {component.version} (Debian package {component.package})",
                  f"  licence:  {component.licence}",
                  f"  notice:   {numbers[component.copyright]} below"]
        if component.licence == third_party.GCC_EXCEPTION:
            lines += ["", GCC_EXCEPTION_NOTE]
        lines.append("")
    for number, (text, paths) in enumerate(texts.items(), 1):
        lines += [RULE, f"Notice {number}: {', '.join(sorted(paths))}", RULE, "", text, ""]
    # Windows' own editors read CRLF best; the text is the same on every build machine.
    with open(output, "w", encoding="utf-8", newline="\r\n") as out:
        out.write("\n".join(lines) + "\n")


if len(sys.argv) < 4:
    sys.exit(__doc__)
write(sys.argv[1], sys.argv[2], sys.argv[3:])
