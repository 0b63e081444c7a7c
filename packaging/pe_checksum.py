"""Puts a PE file (executable, DLL, installer) into the form that Authenticode signing gives it:
the length padded with zero bytes to a multiple of 8 and the header's checksum filled in. A signed
file with its signature removed (osslsigncode remove-signature) then gives back these bytes
exactly, so that the unsigned release is what a signed one is compared with.

    python3 packaging/pe_checksum.py FILE...
"""

import struct
import sys

CHECKSUM_OFFSET_IN_OPTIONAL_HEADER = 64
PE_HEADER_OFFSET_FIELD = 0x3C
SIGNATURE_ALIGNMENT = 8


def checksum(data, field):
    """The PE checksum: 16-bit words summed with end-around carry, the checksum field itself
    read as 0, plus the file's length."""
    total = 0
    padded = data + b"\0" * (len(data) % 2)
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
    total -= sum(struct.unpack_from("<HH", data, field))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def normalize(path):
    with open(path, "rb") as file:
        data = bytearray(file.read())
    if data[:2] != b"MZ":
        sys.exit(f"pe_checksum: {path} is not a PE file")
    header = struct.unpack_from("<I", data, PE_HEADER_OFFSET_FIELD)[0]
    if data[header:header + 4] != b"PE\0\0":
        sys.exit(f"pe_checksum: {path} has no PE header")
    field = header + 4 + 20 + CHECKSUM_OFFSET_IN_OPTIONAL_HEADER
    data += b"\0" * (-len(data) % SIGNATURE_ALIGNMENT)
    struct.pack_into("<I", data, field, checksum(bytes(data), field))
    with open(path, "wb") as file:
        file.write(data)


for argument in sys.argv[1:]:
    normalize(argument)
