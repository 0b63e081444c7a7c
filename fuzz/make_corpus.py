#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into fuzz/corpus/<target>/, one file per seed.

The seeds are the encodings that the codec documents and tests, so each target starts from
every tag, every size-prefix form, alignment and the known damaged messages. Run it again after
changing a seed; it replaces the seeds it writes and keeps the inputs of fixed findings
(regression_*), which are added by hand.
"""
import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent
REGRESSION_PREFIX = "regression_"


def hex_bytes(text):
    return bytes.fromhex(text)


def string_value(text):
    data = text.encode("utf-8")
    return b"\x07" + size_prefix(len(data)) + data


def size_prefix(size):
    if size < 254:
        return bytes([size])
    if size <= 0xFFFF:
        return b"\xfe" + struct.pack("<H", size)
    return b"\xff" + struct.pack("<I", size)


VALUES = {
    "null": hex_bytes("00"),
    "true": hex_bytes("01"),
    "false": hex_bytes("02"),
    "int32_minus_two": hex_bytes("03 FE FF FF FF"),
    "int64_one": hex_bytes("04 01 00 00 00 00 00 00 00"),
    "double_one": hex_bytes("06 00 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F"),
    "string_abc": hex_bytes("07 03 61 62 63"),
    "string_empty": hex_bytes("07 00"),
    "byte_array": hex_bytes("08 02 01 02"),
    "int32_array": hex_bytes("09 01 00 00 01 00 00 00"),
    "float_array": hex_bytes("0E 01 00 00 00 00 80 3F"),
    "int64_array": hex_bytes("0A 01 00 00 00 00 00 00 01 00 00 00 00 00 00 00"),
    "double_array": hex_bytes("0B 01 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F"),
    "int32_array_empty": hex_bytes("09 00"),
    "list_int_and_string": hex_bytes("0C 02 03 01 00 00 00 07 01 61"),
    "list_of_double": hex_bytes("0C 01 06 00 00 00 00 00 00 00 00 00 00 00 F0 3F"),
    "map_two_strings": hex_bytes("0D 02 07 01 61 01 07 01 62 00"),
    "string_254": hex_bytes("07 FE FE 00") + b"x" * 254,
    "byte_array_65536": hex_bytes("08 FF 00 00 01 00") + bytes(range(256)) * 256,
    "legacy_string": hex_bytes("05 02 31 32"),
    "string_long_prefix": hex_bytes("07 FE 05 00 61 62 63 64 65"),
    "unknown_tag": hex_bytes("0F"),
    "map_duplicate_key": hex_bytes("0D 02 03 01 00 00 00 01 03 01 00 00 00 02"),
    "short_int32": hex_bytes("03 01 00"),
    "short_string": hex_bytes("07 05 61 62"),
    "short_list": hex_bytes("0C 02 01"),
    "huge_list": hex_bytes("0C FF FF FF FF FF 00"),
    "huge_map": hex_bytes("0D FF FF FF FF FF 00"),
    "huge_string": hex_bytes("07 FF FF FF FF FF 61"),
    "nested_lists": hex_bytes("0C 01") * 300 + hex_bytes("01"),
    "nested_maps": hex_bytes("0D 01 00") * 300 + hex_bytes("01"),
    "mixed": hex_bytes("0D 03 00 0C 02 09 00 0B 00 03 07 00 00 00 07 01 6B")
    + hex_bytes("0E 02 00 00 00 00 80 3F 00 00 00 40 04 05 00 00 00 00 00 00 00 08 00"),
}

SET_TITLE_HELLO = hex_bytes("07 08 73 65 74 54 69 74 6C 65 07 05 48 65 6C 6C 6F")
CALLS = {
    "set_title_hello": SET_TITLE_HELLO,
    "set_title_hi": hex_bytes("07 08 73 65 74 54 69 74 6C 65 07 02 48 69"),
    "set_title_no_arguments": hex_bytes("07 08 73 65 74 54 69 74 6C 65 00"),
    "set_title_missing_arguments": hex_bytes("07 08 73 65 74 54 69 74 6C 65"),
    "set_title_empty": string_value("setTitle") + string_value(""),
    "set_title_nul": string_value("setTitle") + string_value("ab\0cd"),
    "set_title_astral": string_value("setTitle") + string_value("quill \U0001F58B"),
    "set_title_number": string_value("setTitle") + hex_bytes("03 01 00 00 00"),
    "set_title_list": string_value("setTitle") + hex_bytes("0C 01 07 01 61"),
    "set_title_map": string_value("setTitle") + hex_bytes("0D 01 07 01 61 00"),
    "set_title_ill_formed": string_value("setTitle") + hex_bytes("07 03 C3 28 FF"),
    "set_title_case": string_value("SetTitle") + string_value("x"),
    "set_title_blank": string_value("setTitle ") + string_value("x"),
    "other_method": string_value("getTitle") + hex_bytes("00"),
    "trailing_bytes": SET_TITLE_HELLO + hex_bytes("01 02 03"),
    "not_a_call_null": hex_bytes("00"),
    "not_a_call_unknown_tag": hex_bytes("0F 07 01 61"),
    "empty": b"",
}

REPLIES = {
    "success_empty": hex_bytes("00 00"),
    "success_string": hex_bytes("00 07 02 6F 6B"),
    "success_double": hex_bytes("00 06 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F"),
    "error_code_only": hex_bytes("01 07 01 45 00 00"),
    "error_with_message": hex_bytes("01 07 01 45 07 01 6D 00"),
    "error_with_details": hex_bytes("01 07 01 45 07 01 6D 03 01 00 00 00"),
    "error_null_code": hex_bytes("01 00 00 00"),
    "error_integer_message": hex_bytes("01 07 01 45 03 01 00 00 00 00"),
    "unknown_reply_tag": hex_bytes("02"),
    "empty": b"",
}


def serializer_seeds():
    return VALUES


def unpack_call_seeds():
    seeds = dict(CALLS)
    for name, value in VALUES.items():
        seeds["method_with_" + name] = string_value("m") + value
    return seeds


def unpack_reply_seeds():
    seeds = dict(REPLIES)
    for name, value in VALUES.items():
        seeds["success_" + name] = b"\x00" + value
        seeds["error_details_" + name] = hex_bytes("01 07 01 45 00") + value
    return seeds


TARGETS = {
    "serializer_fuzzer": serializer_seeds,
    "unpack_call_fuzzer": unpack_call_seeds,
    "unpack_reply_fuzzer": unpack_reply_seeds,
    "incoming_message_fuzzer": lambda: CALLS,
}


def main():
    for target, seeds in TARGETS.items():
        folder = HERE / "corpus" / target
        folder.mkdir(parents=True, exist_ok=True)
        for seed in folder.iterdir():
            if not seed.name.startswith(REGRESSION_PREFIX):
                seed.unlink()
        for name, data in sorted(seeds().items()):
            (folder / name).write_bytes(data)


if __name__ == "__main__":
    main()
