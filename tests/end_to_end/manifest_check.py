"""The manifest in the built inkmoor.exe: Wine runs every process DPI aware whatever it says."""
import sys
import xml.etree.ElementTree as ElementTree

import pefile
V3 = "{urn:schemas-microsoft-com:asm.v3}"
SETTINGS = f"{V3}application/{V3}windowsSettings/{{http://schemas.microsoft.com/SMI/"
image = pefile.PE(sys.argv[1])
[manifest] = [language.data.struct for kind in image.DIRECTORY_ENTRY_RESOURCE.entries
              if kind.id == pefile.RESOURCE_TYPE["RT_MANIFEST"] for name in kind.directory.entries
              for language in name.directory.entries if (name.id, language.id) == (1, 0x409)]
root = ElementTree.fromstring(image.get_data(manifest.OffsetToData, manifest.Size))
seen = (root.findtext(SETTINGS + "2016/WindowsSettings}dpiAwareness"),
        root.findtext(SETTINGS + "2005/WindowsSettings}dpiAware"),
        [os.get("Id") for os in root.iter("{urn:schemas-microsoft-com:compatibility.v1}supportedOS")],
        [level.get("level") for level in root.iter(V3 + "requestedExecutionLevel")])
if seen != ("PerMonitorV2, PerMonitor", "true/pm", ["{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"],
            ["asInvoker"]):
    sys.exit(f"inkmoor.exe's manifest says {seen}")
