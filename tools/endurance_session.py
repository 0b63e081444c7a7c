#!/usr/bin/env python3
"""The long session of tools/endurance: the scripted application's commands, and the check of
what the run left behind (event log and standard error).

  endurance_session.py generate MESSAGES            > session.txt
  endurance_session.py check MESSAGES LOG STDERR
"""
import re
import sys

CHANNEL = "quillmere/window"
SET_TITLE = "07 08 73 65 74 54 69 74 6C 65"
LONG_TITLE = "x" * 300


def text(value):
    return " ".join(f"{byte:02X}" for byte in value.encode("utf-8"))


# One round of messages: (hex, expected reply, standard error lines it causes).
ROUND = [
    (f"{SET_TITLE} 07 09 {text('Quillmere')}", "0000", []),
    (f"{SET_TITLE} 07 00", "0000", []),
    (f"{SET_TITLE} 07 0A 51 75 69 6C 6C 20 F0 9F 96 8B", "0000", []),
    (f"{SET_TITLE} 07 05 61 62 00 63 64", "0000", []),
    (f"{SET_TITLE} 07 FE 2C 01 {text(LONG_TITLE)}", "0000", []),
    (f"{SET_TITLE} 03 2A 00 00 00", "0000", []),
    ("07 08 53 65 74 54 69 74 6C 65 07 01 78", "-", []),
    # No argument value at all: reading it fails once.
    ("07 04 70 69 6E 67", "-", ["Invalid read in StandardCodecByteStreamReader"]),
    ("00", "-", ["Invalid method call; method name is not a string.",
                 "Unable to construct method call from message on channel quillmere/window"]),
    ("0F", "-", ["Unknown type in StandardCodecSerializer::ReadValueOfType: 15",
                 "Invalid method call; method name is not a string.",
                 "Unable to construct method call from message on channel quillmere/window"]),
]
WARM_UP_ROUNDS = 1000
SAMPLES = 10
# Growth allowed between the first sample after the warm-up and the last.
PRIVATE_GROWTH = 2 << 20
HEAP_GROWTH = 256 << 10


def rounds_per_sample(messages):
    return max(1, -(-messages // (len(ROUND) * SAMPLES)))


def generate(messages):
    lines = ["repeat %d" % WARM_UP_ROUNDS]
    lines += ["send %s %s" % (CHANNEL, hex_) for hex_, _, _ in ROUND]
    lines += ["end", "stats", "title", "repeat %d" % SAMPLES,
              "repeat %d" % rounds_per_sample(messages)]
    lines += ["send %s %s" % (CHANNEL, hex_) for hex_, _, _ in ROUND]
    lines += ["end", "stats", "title", "end", "close"]
    print("\n".join(lines))


def fail(message):
    print("endurance: " + message)
    sys.exit(1)


def check(messages, log_path, error_path):
    rounds = WARM_UP_ROUNDS + SAMPLES * rounds_per_sample(messages)
    replies = {}
    stats = []
    titles = set()
    for line in open(log_path, encoding="utf-8", errors="replace"):
        line = line.rstrip("\n")
        if line.startswith("frame "):
            continue
        if line.startswith("reply "):
            replies[line] = replies.get(line, 0) + 1
        elif line.startswith("stats "):
            fields = line.split()[1:]
            stats.append({fields[i]: int(fields[i + 1]) for i in range(0, len(fields), 2)})
        elif line.startswith("title "):
            titles.add(line)
        else:
            fail("unexpected event: " + line[:200])
    expected = {}
    for _, reply, _ in ROUND:
        key = "reply %s %s" % (CHANNEL, reply)
        expected[key] = expected.get(key, 0) + rounds
    if replies != expected:
        fail("replies %s, expected %s" % (replies, expected))
    if titles != {"title " + LONG_TITLE}:
        fail("titles read back: %s" % sorted(t[:40] for t in titles))
    errors = {}
    for line in open(error_path, encoding="utf-8", errors="replace"):
        line = line.rstrip("\r\n")
        errors[line] = errors.get(line, 0) + 1
    expected_errors = {}
    for _, _, lines in ROUND:
        for line in lines:
            expected_errors[line] = expected_errors.get(line, 0) + rounds
    if errors != expected_errors:
        fail("standard error %s, expected %s" % (errors, expected_errors))
    if len(stats) != SAMPLES + 1:
        fail("%d stats samples, expected %d" % (len(stats), SAMPLES + 1))

    first, last = stats[0], stats[-1]
    measured = len(ROUND) * SAMPLES * rounds_per_sample(messages)
    per_message = (last["ms"] - first["ms"]) * 1000.0 / measured
    print("| sample | messages | private bytes | heap bytes | handles | windows | USER | GDI | s |")
    print("|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for index, sample in enumerate(stats):
        answered = len(ROUND) * (WARM_UP_ROUNDS + index * rounds_per_sample(messages))
        print("| %d | %d | %d | %d | %d | %d | %d | %d | %.1f |" % (
            index, answered, sample["private"], sample["heap"], sample["handles"],
            sample["windows"], sample["user"], sample["gdi"], sample["ms"] / 1000.0))
    print("%d messages answered, all replies and titles as expected; %.1f us per message "
          "after the warm-up" % (len(ROUND) * rounds, per_message))
    growth = {name: last[name] - first[name] for name in ("private", "heap", "handles", "windows",
                                                          "user", "gdi")}
    print("growth after the warm-up: %s" % growth)
    if growth["private"] > PRIVATE_GROWTH or growth["heap"] > HEAP_GROWTH:
        fail("memory grew beyond %d private / %d heap bytes" % (PRIVATE_GROWTH, HEAP_GROWTH))
    if growth["handles"] > 0 or growth["windows"] > 0 or growth["user"] > 0 or growth["gdi"] > 0:
        fail("handles or window objects grew")


def main():
    if len(sys.argv) >= 3 and sys.argv[1] == "generate":
        generate(int(sys.argv[2]))
    elif len(sys.argv) == 5 and sys.argv[1] == "check":
        check(int(sys.argv[2]), sys.argv[3], sys.argv[4])
    else:
        sys.exit(__doc__)


main()
