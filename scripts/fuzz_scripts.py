#!/usr/bin/env python3
"""Installs and removes mutated installation scripts and unload logs.

Each round copies the sample card's Dravex product into a fresh device,
mutates its script (and in some rounds the answer rules and the device's
device.ini) (tokens swapped for hostile ones: "..", long names,
quotes, stray keywords, changed bytes), installs it unattended, mutates the
unload logs the installation left, and removes it again. A round fails when
the program crashes or hangs, ends with an exit code other than 0 to 3,
prints a sanitizer report, or writes anything outside its device and card.
Failing inputs are kept under OUT/failures/.

    python3 scripts/fuzz_scripts.py [--bin build-asan/bin] [--seconds 300]
                                    [--seed N] [--out /tmp/cesetup-fuzz]

Build with -fsanitize=address,undefined for the sanitizer reports to show.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CARD = os.path.join(ROOT, "samples", "card")
SCRIPT = "DravexStd.load"
ANSWERS = "\n".join([
    "page 105: click Continue",
    "page 107: click Continue",
    "page 106: click Continue",
    "page 104: click Continue",
    "page 108: click Remove",
    "message *: answer OK",
]) + "\n"
# What the device folder holds (settings, registry, store, the change counter
# and the shared table of open files): anything else was written by a path
# that left the store.
DEVICE_FILES = {"device.ini", "registry.db", "registry.db-wal", "registry.db-shm", "registry.lock", "store", "changes",
                "open-files"}
WORDS = [
    "..", "..\\..", "\\..\\..\\etc", "%P", "%P%P%P", '"', "'", "\\\\", "/", "A" * 300, "B" * 40,
    "\\Windows", "\\Storage Card", ".", "HKEY_LOCAL_MACHINE", "HKEY_BOGUS", "Software\\..\\x", "x",
    "0", "-1", "4294967296", "Dravex.exe", "none.txt", "*", "?", "\t", "", "regKeyCreate",
    "regString", "regInt", "mkdir", "copy", "copyShared", "createShortcut", "remoteExec",
    "ExecOnUnload", "exit",
]


def mutate(lines, rng):
    lines = list(lines) or [""]
    for _ in range(rng.randint(1, 3)):
        i = rng.randrange(len(lines))
        op = rng.random()
        if op < 0.3:
            tokens = lines[i].split(" ")
            tokens[rng.randrange(len(tokens))] = rng.choice(WORDS)
            lines[i] = " ".join(tokens)
        elif op < 0.5:
            lines.insert(i, " ".join(rng.choice(WORDS) for _ in range(rng.randint(1, 12))))
        elif op < 0.6 and len(lines) > 1:
            del lines[i]
        elif op < 0.7:
            lines[i] += rng.choice(WORDS) * rng.randint(1, 30)
        elif op < 0.8:
            raw = bytearray(lines[i].encode("latin1"))
            if raw:
                raw[rng.randrange(len(raw))] = rng.randrange(1, 256)
            lines[i] = raw.decode("latin1")
        else:
            lines[i] = lines[i].replace(" ", rng.choice(["\t", "  "]))
    return lines


def read_lines(path):
    with open(path, "rb") as f:
        return f.read().decode("latin1").split("\r\n")


def write_lines(path, lines):
    with open(path, "wb") as f:
        f.write("\r\n".join(lines).encode("latin1"))


INI = ["[device]", "os_version = 4.20", "storage_kb = 65536", "screen = 240x320", "running =",
       "fonts = Tahoma, Symbol", "program_kb = 64"]


def one_round(args, rng, work):
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(os.path.join(work, "sentinel"))
    card = os.path.join(work, "card")
    shutil.copytree(CARD, card, ignore=shutil.ignore_patterns("MiskaWce", "GlyphorWce"))
    write_lines(os.path.join(card, SCRIPT), mutate(read_lines(os.path.join(CARD, SCRIPT)), rng))
    # One round in four also mutates the answer rules, one in four device.ini;
    # a refusal (exit 2) is a correct answer to those.
    answers = ANSWERS.splitlines()
    if rng.random() < 0.25:
        answers = mutate(answers, rng)
    with open(os.path.join(work, "answers"), "wb") as f:
        f.write("\n".join(answers).encode("latin1") + b"\n")
    device = os.path.join(work, "device")
    subprocess.run([os.path.join(args.bin, "cedevice"), "init", device], capture_output=True, check=True)
    if rng.random() < 0.25:
        write_lines(os.path.join(device, "device.ini"), mutate(INI, rng))
    for step in ("install", "remove"):
        if step == "remove":
            for folder, _, files in os.walk(os.path.join(device, "store")):
                for name in files:
                    if name.lower().endswith(".unload"):
                        log = os.path.join(folder, name)
                        write_lines(log, mutate(read_lines(log), rng))
        try:
            run = subprocess.run(
                [os.path.join(args.bin, "cesetup"), "--device", device, "--card", card, "--ui", "none",
                 "--answers", os.path.join(work, "answers")],
                capture_output=True, timeout=60)
            code, err = run.returncode, run.stderr.decode("latin1")
        except subprocess.TimeoutExpired:
            code, err = "hang", ""
        left = sorted(os.listdir(work))
        strays = [n for n in os.listdir(device) if n not in DEVICE_FILES]
        if (code not in (0, 1, 2, 3) or "Sanitizer" in err or "runtime error" in err
                or left != ["answers", "card", "device", "sentinel"] or strays
                or os.listdir(os.path.join(work, "sentinel"))):
            return "%s: exit %s, folder holds %s, device folder also %s\n%s" % (step, code, left, strays, err)
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", default=os.path.join(ROOT, "build-asan", "bin"))
    parser.add_argument("--seconds", type=float, default=300)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--out", default="/tmp/cesetup-fuzz")
    args = parser.parse_args()
    if not os.access(os.path.join(args.bin, "cesetup"), os.X_OK):
        sys.exit("fuzz_scripts: no cesetup in %s (build it first, or name it with --bin)" % args.bin)
    rng = random.Random(args.seed)
    work = os.path.join(args.out, "round")
    end = time.time() + args.seconds
    rounds = failures = 0
    while time.time() < end:
        problem = one_round(args, rng, work)
        rounds += 1
        if problem:
            failures += 1
            kept = os.path.join(args.out, "failures", str(failures))
            shutil.rmtree(kept, ignore_errors=True)
            shutil.copytree(work, kept, symlinks=True)
            with open(os.path.join(kept, "problem.txt"), "w") as f:
                f.write(problem)
            print("round %d failed: %s" % (rounds, problem.splitlines()[0]))
    shutil.rmtree(work, ignore_errors=True)
    print("%d rounds, %d failed%s" % (rounds, failures,
                                       "" if not failures else "; inputs kept in " + args.out + "/failures"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
