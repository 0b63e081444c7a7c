"""The symbols of a release in the layout of a symbol store, where WinDbg, Visual Studio and
tools/read-dump look them up by the identity that each program, and each crash dump of it,
carries:

    STORE/<program>/<TimeDateStamp><SizeOfImage>/<program>
    STORE/<pdb>/<GUID><age>/<pdb>

    symbol_store.py STORE PROGRAM... --search FOLDER...

Each program's PDB is the one in the search folders whose identity matches the program's
CodeView record; a program without a matching PDB fails the release.
"""

import os
import shutil
import struct
import sys

CODEVIEW = 2  # IMAGE_DEBUG_TYPE_CODEVIEW
RSDS = b"RSDS"
MSF_MAGIC = b"Microsoft C/C++ MSF 7.00\r\n\x1aDS\0\0\0"
NIL_STREAM = 0xFFFFFFFF
PDB_INFO_STREAM = 1


def fail(message):
    sys.exit("symbol_store: " + message)


def codeview_identity(record):
    """(GUID bytes, age, PDB file name) of a CodeView RSDS record, or None."""
    if len(record) < 24 or record[:4] != RSDS:
        return None
    (age,) = struct.unpack_from("<I", record, 20)
    name = record[24:].split(b"\0", 1)[0].decode("utf-8", "replace")
    return record[4:20], age, name.replace("\\", "/").rsplit("/", 1)[-1]


def debug_data(image, kind):
    """The data of the PE image's last debug directory entry of that type, or None."""
    found = None
    for entry in getattr(image, "DIRECTORY_ENTRY_DEBUG", []):
        if entry.struct.Type == kind:
            found = image.get_data(entry.struct.AddressOfRawData, entry.struct.SizeOfData)
    return found


def program_identity(path):
    """(TimeDateStamp, SizeOfImage, CodeView identity or None) of a PE file."""
    import pefile  # Debian's python3-pefile: only this function needs it

    image = pefile.PE(path, fast_load=True)
    image.parse_data_directories(
        directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DEBUG"]])
    record = debug_data(image, CODEVIEW)
    codeview = None if record is None else codeview_identity(record)
    return image.FILE_HEADER.TimeDateStamp, image.OPTIONAL_HEADER.SizeOfImage, codeview


def pdb_identity(path):
    """(GUID bytes, age) from a PDB's information stream, or None when it is not a PDB."""
    with open(path, "rb") as file:
        data = file.read()
    if not data.startswith(MSF_MAGIC):
        return None
    try:
        block_size, _, _, directory_size, _, directory_map = struct.unpack_from(
            "<6I", data, len(MSF_MAGIC))
        blocks_of = lambda size: 0 if size == NIL_STREAM else -(-size // block_size)
        block = lambda number: data[number * block_size:(number + 1) * block_size]
        directory_blocks = struct.unpack_from(
            "<%dI" % blocks_of(directory_size), data, directory_map * block_size)
        directory = b"".join(block(number) for number in directory_blocks)[:directory_size]
        (stream_count,) = struct.unpack_from("<I", directory)
        sizes = struct.unpack_from("<%dI" % stream_count, directory, 4)
        # The streams' block lists follow the sizes, one after the other.
        first = 4 + 4 * stream_count + 4 * sum(blocks_of(size) for size in sizes[:PDB_INFO_STREAM])
        (info_block,) = struct.unpack_from("<I", directory, first)
        info = block(info_block)
        (age,) = struct.unpack_from("<I", info, 8)
        return info[12:28], age
    except (struct.error, IndexError, ZeroDivisionError):
        return None


def program_key(stamp, size):
    return "%08X%x" % (stamp, size)


def pdb_key(guid, age):
    data1, data2, data3 = struct.unpack_from("<IHH", guid)
    return "%08X%04X%04X%s%X" % (data1, data2, data3, guid[8:].hex().upper(), age)


def put(store, name, key, source):
    folder = os.path.join(store, name, key)
    os.makedirs(folder, exist_ok=True)
    shutil.copyfile(source, os.path.join(folder, name))


def matching_pdb(name, guid, age, search):
    for folder in search:
        candidate = os.path.join(folder, name)
        if os.path.isfile(candidate) and pdb_identity(candidate) == (guid, age):
            return candidate
    return None


def store_program(store, program, search):
    stamp, size, codeview = program_identity(program)
    name = os.path.basename(program)
    if codeview is None:
        fail(f"{program} has no CodeView record: no PDB can be matched to it")
    guid, age, pdb_name = codeview
    pdb = matching_pdb(pdb_name, guid, age, search)
    if pdb is None:
        fail(f"no {pdb_name} matching {name} ({pdb_key(guid, age)}) in {', '.join(search)}")
    put(store, name, program_key(stamp, size), program)
    put(store, pdb_name, pdb_key(guid, age), pdb)


def main(arguments):
    if "--search" not in arguments or arguments.index("--search") < 2:
        fail("usage: symbol_store.py STORE PROGRAM... --search FOLDER...")
    split = arguments.index("--search")
    store, programs, search = arguments[0], arguments[1:split], arguments[split + 1:]
    for program in programs:
        store_program(store, program, search)


if __name__ == "__main__":
    main(sys.argv[1:])
