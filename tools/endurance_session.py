#!/usr/bin/env python3
"""The long session of tools/endurance: the scripted application's commands, and the check of
what the run left behind (event log and standard error).

  endurance_session.py generate MESSAGES            > session.txt
  endurance_session.py check MESSAGES LOG STDERR
"""
import sys

CHANNEL = "quillmere/window"
SET_TITLE = "07 08 73 65 74 54 69 74 6C 65"
LONG_TITLE = "x" * 300


def text(value):
    return " ".join(f"{byte:02X}" for byte in value.encode("utf-8"))


# One round of messages: (hex, expected reply, standard error lines it causes, the title after
# it). Every round leaves the long title, which the messages after it keep.
ROUND = [
    (f"{SET_TITLE} 07 09 {text('Quillmere')}", "0000", [], "Quillmere"),
    (f"{SET_TITLE} 07 00", "0000", [], ""),
    (f"{SET_TITLE} 07 0A 51 75 69 6C 6C 20 F0 9F 96 8B", "0000", [], "Quill \U0001F58B"),
    # The title ends at the NUL.
    (f"{SET_TITLE} 07 05 61 62 00 63 64", "0000", [], "ab"),
    (f"{SET_TITLE} 07 FE 2C 01 {text(LONG_TITLE)}", "0000", [], LONG_TITLE),
    # From here on the title stays as it is.
    (f"{SET_TITLE} 03 2A 00 00 00", "0000", [], LONG_TITLE),
    ("07 08 53 65 74 54 69 74 6C 65 07 01 78", "-", [], LONG_TITLE),
    # No argument value at all: reading it fails once.
    ("07 04 70 69 6E 67", "-", ["Invalid read in StandardCodecByteStreamReader"], LONG_TITLE),
    ("00", "-", ["Invalid method call; method name is not a string.",
                 "Unable to construct method call from message on channel quillmere/window"],
     LONG_TITLE),
    ("0F", "-", ["Unknown type in StandardCodecSerializer::ReadValueOfType: 15",
                 "Invalid method call; method name is not a string.",
                 "Unable to construct method call from message on channel quillmere/window"],
     LONG_TITLE),
]
WARM_UP_ROUNDS = 1000
SAMPLES = 10
# Growth allowed between the first sample after the warm-up and the last.
PRIVATE_GROWTH = 2 << 20
HEAP_GROWTH = 256 << 10
# Stands for a stats line, whose figures vary.
STATS = "stats"


def rounds_per_sample(messages):
    return max(1, -(-messages // (len(ROUND) * SAMPLES)))


def sends():
    return ["send %s %s" % (CHANNEL, hex_) for hex_, _, _, _ in ROUND]


def sends_with_titles():
    return [line for send in sends() for line in (send, "title")]


# Before each stats sample a round reads the title back after every message.
def generate(messages):
    lines = ["repeat %d" % WARM_UP_ROUNDS] + sends() + ["end"]
    lines += sends_with_titles() + ["stats", "repeat %d" % SAMPLES]
    lines += ["repeat %d" % rounds_per_sample(messages)] + sends() + ["end"]
    lines += sends_with_titles() + ["stats", "end", "close"]
    print("\n".join(lines))


# The event lines that generate's script must leave, in order, frames left out.
def expected_events(messages):
    replies = ["reply %s %s" % (CHANNEL, reply) for _, reply, _, _ in ROUND]
    with_titles = [line for (_, _, _, title), reply in zip(ROUND, replies)
                   for line in (reply, "title " + title)]
    for _ in range(WARM_UP_ROUNDS):
        yield from replies
    yield from with_titles
    yield STATS
    for _ in range(SAMPLES):
        for _ in range(rounds_per_sample(messages)):
            yield from replies
        yield from with_titles
        yield STATS


def rounds(messages):
    return WARM_UP_ROUNDS + SAMPLES * rounds_per_sample(messages) + SAMPLES + 1


def fail(message):
    print("endurance: " + message)
    sys.exit(1)


def read_events(log_path):
    for line in open(log_path, encoding="utf-8", errors="replace"):
        line = line.rstrip("\n")
        if not line.startswith("frame "):
            yield line


# Compares the log with the expected events message by message; returns the stats samples.
def check_events(messages, log_path):
    stats = []
    events = read_events(log_path)
    for index, expected in enumerate(expected_events(messages)):
        line = next(events, None)
        if line is None:
            fail("event %d missing: expected %s" % (index, expected[:200]))
        if expected == STATS and line.startswith("stats "):
            fields = line.split()[1:]
            stats.append({fields[i]: int(fields[i + 1]) for i in range(0, len(fields), 2)})
        elif line != expected:
            fail("event %d is %s, expected %s" % (index, line[:200], expected[:200]))
    extra = next(events, None)
    if extra is not None:
        fail("unexpected event after the last: " + extra[:200])
    return stats


def check(messages, log_path, error_path):
    stats = check_events(messages, log_path)
    errors = {}
    for line in open(error_path, encoding="utf-8", errors="replace"):
        line = line.rstrip("\r\n")
        errors[line] = errors.get(line, 0) + 1
    expected_errors = {}
    for _, _, lines, _ in ROUND:
        for line in lines:
            expected_errors[line] = expected_errors.get(line, 0) + rounds(messages)
    if errors != expected_errors:
        fail("standard error %s, expected %s" % (errors, expected_errors))

    first, last = stats[0], stats[-1]
    per_sample = len(ROUND) * (rounds_per_sample(messages) + 1)
    per_message = (last["ms"] - first["ms"]) * 1000.0 / (SAMPLES * per_sample)
    print("| sample | messages | private bytes | heap bytes | handles | windows | USER | GDI | s |")
    print("|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for index, sample in enumerate(stats):
        answered = len(ROUND) * (WARM_UP_ROUNDS + 1) + index * per_sample
        print("| %d | %d | %d | %d | %d | %d | %d | %d | %.1f |" % (
            index, answered, sample["private"], sample["heap"], sample["handles"],
            sample["windows"], sample["user"], sample["gdi"], sample["ms"] / 1000.0))
    print("%d messages answered, all replies and titles as expected in order; %.1f us per "
          "message after the warm-up" % (len(ROUND) * rounds(messages), per_message))
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
