#!/usr/bin/env python3
"""The launch-hang watcher: finds every process whose environment names the Wine prefix under
watch (whatever its command line: a launch that hangs in Wine's start-up may not yet carry the
program's name), that is older than the age limit and is neither one of Wine's services nor a
driver of the run. For each such process, once, it records the kernel state of every thread
(state, wchan, system call, kernel stack), Wine's process list, the backtrace of every thread
of each Windows process of that program's name, and a winedbg "bt all" (one for all the
processes found in the same pass).

    watch.py --prefix PREFIX --out DIR [--drivers FILE] [--age SECONDS] [--interval SECONDS]

Runs until DIR/stop exists. Each record is DIR/hang-<unix pid>.txt, which names the
DIR/winedbg-<time>.txt of its pass; DIR/watch.log lists them.
"""

import argparse
import concurrent.futures
import os
import subprocess
import threading
import time

# Wine's own long-lived processes in a prefix; they are no launch.
WINE_SERVICES = {
    "wineserver", "wineserver64", "services.exe", "winedevice.exe", "plugplay.exe",
    "explorer.exe", "rpcss.exe", "svchost.exe", "winedbg.exe", "conhost.exe", "start.exe",
    "wineboot.exe", "rundll32.exe", "tabtip.exe",
}
WINE = "/usr/lib/wine/wine64"
WINEDBG_LIMIT_SECONDS = 60


def read_text(path):
    try:
        with open(path, "rb") as file:
            return file.read().decode("utf-8", "replace")
    except OSError as error:
        return f"({error.strerror})"


def environment_names_prefix(pid, prefix):
    try:
        with open(f"/proc/{pid}/environ", "rb") as file:
            entries = file.read().split(b"\0")
    except OSError:
        return False
    wanted = ("WINEPREFIX=" + prefix).encode()
    return wanted in entries


def program_name(pid):
    command = read_text(f"/proc/{pid}/cmdline").split("\0")[0].strip()
    return command.replace("\\", "/").rsplit("/", 1)[-1].lower()


def age_seconds(pid):
    fields = read_text(f"/proc/{pid}/stat").rsplit(")", 1)[-1].split()
    if len(fields) < 20:
        return 0.0
    started = int(fields[19]) / os.sysconf("SC_CLK_TCK")
    uptime = float(read_text("/proc/uptime").split()[0])
    return uptime - started


def parent(pid):
    for line in read_text(f"/proc/{pid}/status").splitlines():
        if line.startswith("PPid:"):
            return int(line.split()[1])
    return 0


def read_drivers(path):
    if not path or not os.path.exists(path):
        return set()
    with open(path) as file:
        return {int(line) for line in file if line.strip().isdigit()}


def thread_states(pid):
    lines = []
    try:
        tids = sorted(os.listdir(f"/proc/{pid}/task"), key=int)
    except OSError:
        return ["(the process is gone)"]
    for tid in tids:
        task = f"/proc/{pid}/task/{tid}"
        stat = read_text(f"{task}/stat")
        state = stat.rsplit(")", 1)[-1].split()[0] if ")" in stat else "?"
        lines.append(f"thread {tid} ({read_text(task + '/comm').strip()}) state {state} "
                     f"wchan {read_text(task + '/wchan').strip()}")
        lines.append(f"  syscall {read_text(task + '/syscall').strip()}")
        for frame in read_text(f"{task}/stack").splitlines():
            lines.append(f"  {frame}")
    return lines


def run_winedbg(prefix, arguments, commands=None):
    environment = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")
    try:
        result = subprocess.run([WINE, "winedbg"] + arguments, env=environment,
                                input=(commands or "").encode(), capture_output=True,
                                timeout=WINEDBG_LIMIT_SECONDS)
        return result.stdout.decode("utf-8", "replace") + result.stderr.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return f"(winedbg did not finish within {WINEDBG_LIMIT_SECONDS} s)"


def winedbg(prefix, command):
    return run_winedbg(prefix, ["--command", command])


def is_id(text):
    return len(text) == 8 and all(c in "0123456789abcdef" for c in text)


def windows_threads(listing):
    """{Windows pid: (executable, [thread ids])} from winedbg's "info thread"."""
    processes = {}
    current = None
    for line in listing.splitlines():
        fields = line.split()
        if not fields or not is_id(fields[0]):
            continue
        if line[0].isspace():
            if current:
                processes[current][1].append(fields[0])
        else:
            current = fields[0]
            processes[current] = (fields[-1].lower() if len(fields) > 1 else "", [])
    return processes


def backtrace_process(prefix, wpid, name, tids):
    commands = "".join(f"bt 0x{tid}\n" for tid in tids) + "detach\nquit\n"
    return (f"-- {name}, Windows pid {wpid}, threads {' '.join(tids)}\n" +
            run_winedbg(prefix, [f"0x{wpid}"], commands))


def targeted_backtraces(prefix, names):
    """Every thread of each Windows process named like one of the hung ones, all at once: "bt
    all" walks every process of the prefix, and under load that takes longer than the driver
    lets a hung launch live."""
    targets = [(wpid, name, tids)
               for wpid, (name, tids) in windows_threads(winedbg(prefix, "info thread")).items()
               if name in names]
    with concurrent.futures.ThreadPoolExecutor(max_workers=8) as pool:
        sections = list(pool.map(lambda target: backtrace_process(prefix, *target), targets))
    return "\n".join(sections) or "(no Windows process of that name)"


def header(pid):
    return [
        f"unix pid {pid}, {age_seconds(pid):.1f} s old, at {time.strftime('%Y-%m-%d %H:%M:%S')}",
        "command line: " + read_text(f"/proc/{pid}/cmdline").replace("\0", " ").strip(),
    ]


def record(pids, prefix, out, background):
    """Records the processes found in one pass: first each one's threads, which takes
    milliseconds, then Wine's process list and the backtraces of the processes of their names,
    which take seconds, then the threads again (a thread that moved meanwhile was not stuck).
    The "bt all", which takes longer under load than a hung launch lives, runs on in the
    background so that the next hung one is not missed. Returns the files written."""
    first = {pid: header(pid) + ["", "== kernel state of every thread"] + thread_states(pid)
             for pid in pids}
    stamp = time.strftime("%H%M%S")
    wine_view = os.path.join(out, f"winedbg-{stamp}-{min(pids)}.txt")
    with open(wine_view, "w") as file:
        file.write("== Wine's process list\n" + winedbg(prefix, "info process"))
        file.write("\n== backtraces of the processes of the hung ones' names\n" +
                   targeted_backtraces(prefix, {program_name(pid) for pid in pids}))
    paths = []
    for pid in pids:
        lines = first[pid] + ["", f"== Wine's process list and backtraces: {wine_view}", "",
                              "== kernel state of every thread, after winedbg"]
        lines += thread_states(pid)
        path = os.path.join(out, f"hang-{pid}.txt")
        with open(path, "w") as file:
            file.write("\n".join(lines) + "\n")
        paths.append(path)

    def append_bt_all():
        text = winedbg(prefix, "bt all")
        with open(wine_view, "a") as file:
            file.write("\n== winedbg bt all\n" + text)

    thread = threading.Thread(target=append_bt_all)
    thread.start()
    background.append(thread)
    return paths


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--drivers", default="")
    parser.add_argument("--age", type=float, default=15.0)
    parser.add_argument("--interval", type=float, default=2.0)
    arguments = parser.parse_args()
    prefix = os.path.abspath(arguments.prefix)
    os.makedirs(arguments.out, exist_ok=True)
    stop = os.path.join(arguments.out, "stop")
    seen = set()
    background = []
    with open(os.path.join(arguments.out, "watch.log"), "a") as log:
        log.write(f"watching {prefix}, age limit {arguments.age} s\n")
        log.flush()
        while not os.path.exists(stop):
            drivers = read_drivers(arguments.drivers)
            found = []
            for entry in os.listdir("/proc"):
                if not entry.isdigit():
                    continue
                pid = int(entry)
                # The watcher's own winedbg runs are its children.
                if pid in seen or pid in drivers or os.getpid() in (pid, parent(pid)):
                    continue
                if not environment_names_prefix(pid, prefix):
                    continue
                if program_name(pid) in WINE_SERVICES or age_seconds(pid) < arguments.age:
                    continue
                seen.add(pid)
                found.append(pid)
            if found:
                names = {pid: program_name(pid) for pid in found}
                for path, pid in zip(record(found, prefix, arguments.out, background), found):
                    log.write(f"{time.strftime('%H:%M:%S')} recorded {pid} ({names[pid]}) "
                              f"in {path}\n")
                log.flush()
            time.sleep(arguments.interval)
    for thread in background:
        thread.join()


if __name__ == "__main__":
    main()
