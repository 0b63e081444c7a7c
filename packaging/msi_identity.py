"""The identity of an MSI made from its content, so that the same content gives the same bytes:

    msi_identity.py product-code BUNDLE SOURCE... -- DEFINE...
        prints the ProductCode for wixl: a UUID from the bundle's files (names and bytes), the
        WiX sources and the definitions, so that it changes whenever any of them does
    msi_identity.py settle MSI EPOCH
        rewrites what wixl takes from the clock and the random generator, in place: the summary's
        creation and last-saved times become EPOCH (the commit's time), and the package code a
        UUID from the MSI's bytes with the package code blanked

An MSI is a compound file; its summary is the stream "\\x05SummaryInformation", a property set.
Both values keep their length, so the file is patched where they lie and nothing else moves.
"""

import hashlib
import os
import struct
import sys
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import release_files  # noqa: E402

# The namespace of Quillmere's UUIDs made from content: its MSI UpgradeCode.
NAMESPACE = uuid.UUID("B7C8FE9A-001B-4E3D-9034-351659F65FBB")

COMPOUND_SIGNATURE = bytes.fromhex("D0CF11E0A1B11AE1")
END_OF_CHAIN = 0xFFFFFFFE
HEADER_DIFAT_ENTRIES = 109
DIRECTORY_ENTRY_SIZE = 128
SUMMARY_STREAM = "\x05SummaryInformation"
PID_REVISION_NUMBER = 9  # the package code
PID_CREATE_TIME = 12
PID_LAST_SAVE_TIME = 13
VT_LPSTR = 30
VT_FILETIME = 64
# FILETIME counts 100 ns from 1601-01-01 UTC.
FILETIME_UNIX_EPOCH = 11644473600
FILETIME_TICKS_PER_SECOND = 10_000_000
BLANK_CODE = "{" + str(uuid.UUID(int=0)).upper() + "}"


def fail(message):
    sys.exit(f"msi_identity: {message}")


def braced(value):
    return "{" + str(value).upper() + "}"


def product_code(bundle, sources, defines):
    digest = hashlib.sha256()
    for relative, path in release_files.bundle_files(bundle):
        digest.update(relative.encode("utf-8") + b"\0")
        digest.update(hashlib.sha256(open(path, "rb").read()).digest())
    for source in sources:
        digest.update(hashlib.sha256(open(source, "rb").read()).digest())
    digest.update("\0".join(defines).encode("utf-8"))
    return braced(uuid.uuid5(NAMESPACE, "product:" + digest.hexdigest()))


class CompoundFile:
    """Just enough of a compound file to find where each byte of one stream lies."""

    def __init__(self, data):
        if data[:8] != COMPOUND_SIGNATURE:
            fail("not a compound file (an MSI)")
        self.data = data
        self.shift, self.mini_shift = struct.unpack_from("<HH", data, 0x1E)
        first_directory, = struct.unpack_from("<I", data, 0x30)
        self.cutoff, first_mini_fat, _, first_difat, difat_count = struct.unpack_from(
            "<IIIII", data, 0x38)
        self.fat = self.read_fat(first_difat, difat_count)
        self.mini_fat = self.entries(self.chain_bytes(first_mini_fat))
        directory = self.chain_bytes(first_directory)
        self.directory = [directory[i:i + DIRECTORY_ENTRY_SIZE]
                          for i in range(0, len(directory), DIRECTORY_ENTRY_SIZE)]
        root_start, root_size = self.entry_place(self.directory[0])
        self.mini_stream = self.chain_offsets(root_start)[:root_size]

    def sector(self, number):
        return (number + 1) << self.shift

    def sector_offsets(self, number):
        start = self.sector(number)
        return range(start, start + (1 << self.shift))

    @staticmethod
    def entries(data):
        return list(struct.unpack(f"<{len(data) // 4}I", data))

    def read_fat(self, first_difat, difat_count):
        sectors = self.entries(self.data[0x4C:0x4C + 4 * HEADER_DIFAT_ENTRIES])
        per_sector = (1 << self.shift) // 4 - 1
        number = first_difat
        for _ in range(difat_count):
            block = self.entries(self.data[self.sector(number):self.sector(number) + (1 << self.shift)])
            sectors += block[:per_sector]
            number = block[per_sector]
        fat = []
        for number in sectors:
            if number < END_OF_CHAIN:
                fat += self.entries(self.data[self.sector(number):self.sector(number) + (1 << self.shift)])
        return fat

    def chain(self, first, table):
        number, seen = first, set()
        while number < END_OF_CHAIN:
            if number in seen or number >= len(table):
                fail("a broken sector chain")
            seen.add(number)
            yield number
            number = table[number]

    def chain_offsets(self, first):
        return [offset for number in self.chain(first, self.fat) for offset in self.sector_offsets(number)]

    def chain_bytes(self, first):
        return bytes(self.data[offset] for offset in self.chain_offsets(first))

    @staticmethod
    def entry_place(entry):
        start, size = struct.unpack_from("<IQ", entry, 116)
        return start, size & 0xFFFFFFFF

    def stream_offsets(self, name):
        """The file offset of each byte of the stream NAME."""
        for entry in self.directory:
            length, = struct.unpack_from("<H", entry, 64)
            if entry[:max(length - 2, 0)].decode("utf-16-le", "replace") != name:
                continue
            start, size = self.entry_place(entry)
            if size >= self.cutoff:
                return self.chain_offsets(start)[:size]
            mini = 1 << self.mini_shift
            return [self.mini_stream[(number << self.mini_shift) + i]
                    for number in self.chain(start, self.mini_fat) for i in range(mini)][:size]
        fail(f"no stream {name!r}")


def summary_fields(stream):
    """The offset in the stream of each property's value, by property id: (type, offset)."""
    section, = struct.unpack_from("<I", stream, 44)
    count, = struct.unpack_from("<I", stream, section + 4)
    fields = {}
    for index in range(count):
        identifier, offset = struct.unpack_from("<II", stream, section + 8 + 8 * index)
        kind, = struct.unpack_from("<I", stream, section + offset)
        fields[identifier] = (kind, section + offset + 4)
    return fields


def settle(path, epoch):
    data = bytearray(open(path, "rb").read())
    offsets = CompoundFile(data).stream_offsets(SUMMARY_STREAM)
    stream = bytearray(data[offset] for offset in offsets)
    fields = summary_fields(stream)
    time = (int(epoch) + FILETIME_UNIX_EPOCH) * FILETIME_TICKS_PER_SECOND
    for identifier in (PID_CREATE_TIME, PID_LAST_SAVE_TIME):
        kind, at = fields.get(identifier, (None, 0))
        if kind != VT_FILETIME:
            fail(f"the summary's property {identifier} is not a time")
        struct.pack_into("<Q", stream, at, time)
    kind, at = fields.get(PID_REVISION_NUMBER, (None, 0))
    length, = struct.unpack_from("<I", stream, at) if kind == VT_LPSTR else (0,)
    if length != len(BLANK_CODE) + 1:
        fail("the summary holds no package code of a UUID's length")

    def write(code):
        stream[at + 4:at + 4 + len(code)] = code.encode("ascii")
        for offset, byte in zip(offsets, stream):
            data[offset] = byte

    write(BLANK_CODE)
    write(braced(uuid.uuid5(NAMESPACE, "package:" + hashlib.sha256(data).hexdigest())))
    with open(path, "wb") as out:
        out.write(data)


if len(sys.argv) >= 4 and sys.argv[1] == "product-code" and "--" in sys.argv:
    separator = sys.argv.index("--")
    print(product_code(sys.argv[2], sys.argv[3:separator], sys.argv[separator + 1:]))
elif len(sys.argv) == 4 and sys.argv[1] == "settle":
    settle(sys.argv[2], sys.argv[3])
else:
    sys.exit(__doc__)
