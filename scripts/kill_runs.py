#!/usr/bin/env python3
"""Kills cesetup at random moments of installations and removals and checks
that the next runs always recover.

For each card (the sample card, and a generated card of one product with
--files files) a reference device is made: a fresh installation, then a
removal. Then, for every kill, a fresh device (with the card installed
first when a removal is to be killed) runs cesetup, which is killed with
SIGKILL after a random delay within the measured length of such a run.
After each kill:

  - the registry must open (cedevice reg export, exit 0);
  - a recovery run (Remove on every maintenance page, Skip on every welcome
    page) must leave a device equal to the reference, by file contents and
    registry export, with no install record left (no product that cannot be
    removed);
  - a further installation and removal must leave it equal again.

    python3 scripts/kill_runs.py [--bin build/bin] [--installs 50]
                                 [--removals 30] [--files 2000] [--seed N]

Prints one line per kill and the counts at the end; exit 1 when any kill
was not recovered (its device is kept under the output folder).
"""
import argparse
import hashlib
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SAMPLE = os.path.join(ROOT, "samples", "card")

INSTALL = [
    "page 105: click Continue", "page 107: click Continue",
    "page 106: check \"PDA Storage Memory\"; click Continue", "page 104: click Continue",
    "page 112: select 1014 Russian; click Install", "message *: answer OK",
]
REMOVE = ["page 108: click Remove", "message *: answer OK"]
RECOVER = ["page 108: click Remove", "page 105: click Skip", "message *: answer OK"]


def make_big_card(folder, files):
    os.makedirs(folder)
    body = ["regKeyCreate HKEY_LOCAL_MACHINE Software\\Bulk",
            "regString HKEY_LOCAL_MACHINE Software\\Bulk x Folder %P"]
    rng = random.Random(files)
    for i in range(files):
        name = "f%04d.dat" % i
        sub = "d%02d" % (i % 20)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(bytes(rng.randrange(256) for _ in range(64 + i % 200)))
        body.append("%s . %s %s" % ("copyShared" if i % 7 == 0 else "copy", sub, name))
    with open(os.path.join(folder, "Bulk.exe.ARM"), "wb") as f:
        f.write(b"MZ" + bytes(3000))
    body += ["copyShared . . Bulk.exe", "copyShared . \\Windows Bulk.exe",
             "createShortcut '\\Windows\\Start Menu' 'Bulk.lnk' . Bulk.exe", "exit"]
    header = ["// 'Pocket Dravex 3.1 Bulk'", "// HKEY_LOCAL_MACHINE Software\\Bulk", "// Bulk",
              "// Setup.bmp=Setup.bmp", "// SelectAppLocation=Yes", "// 'Done.'"]
    with open(os.path.join(folder, "DravexBulk.load"), "wb") as f:
        f.write("\r\n".join(header + body).encode("latin1") + b"\r\n")


def cesetup(args, device, card, rules, timeout=600):
    cmd = [args.cesetup, "--device", device, "--card", card, "--ui", "none"]
    for r in rules:
        cmd += ["--answer", r]
    return subprocess.run(cmd, capture_output=True, timeout=timeout)


def state(args, device):
    """Files by content and the registry export; None when the registry does not open."""
    reg = subprocess.run([args.cedevice, "reg", "export", device], capture_output=True)
    if reg.returncode != 0:
        return None, reg.stderr.decode(errors="replace").strip()
    files = []
    store = os.path.join(device, "store")
    for base, dirs, names in os.walk(store):
        dirs.sort()
        rel = os.path.relpath(base, store)
        files.append("D " + rel)
        for n in sorted(names):
            with open(os.path.join(base, n), "rb") as f:
                files.append("F %s %s" % (os.path.join(rel, n), hashlib.sha256(f.read()).hexdigest()))
    return "\n".join(files) + "\n" + reg.stdout.decode("latin1"), ""


# The setup's own keys, made by its first installation and never deleted;
# a run killed before it made them leaves none.
SETUP_KEYS = ["Software\\Apps\\Veltrona Parvell", "Software\\Apps\\Shared", "Software\\Apps", "Software"]


def without_empty_setup_keys(text):
    for key in SETUP_KEYS:
        text = text.replace("[HKEY_LOCAL_MACHINE\\%s]\n\n" % key, "", 1)
    return text


def files_and_registry(text):
    """Without the folder lines: a run killed before a product made its
    shortcut folder leaves none, where an installation and removal leave it
    (empty); the further installation and removal compare folders too."""
    return "\n".join(l for l in without_empty_setup_keys(text).splitlines() if not l.startswith("D "))


def records_left(text):
    return [l for l in text.splitlines() if l.startswith("[HKEY_LOCAL_MACHINE\\Software\\Apps\\Veltrona Parvell\\")]


def timed(args, device, card, rules):
    start = time.monotonic()
    r = cesetup(args, device, card, rules)
    return time.monotonic() - start, r


def kill_at(args, device, card, rules, delay):
    cmd = [args.cesetup, "--device", device, "--card", card, "--ui", "none"]
    for r in rules:
        cmd += ["--answer", r]
    p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(delay)
    finished = p.poll() is not None
    if not finished:
        p.send_signal(signal.SIGKILL)
    p.wait()
    return not finished


def run_card(args, label, card, work, rng, counts):
    ref = os.path.join(work, label + "-reference")
    t_install, r = timed(args, ref, card, INSTALL)
    if r.returncode != 0:
        sys.exit("%s: reference installation failed: %s" % (label, r.stderr.decode(errors="replace")))
    installed, _ = state(args, ref)
    t_remove, r = timed(args, ref, card, REMOVE)
    if r.returncode != 0:
        sys.exit("%s: reference removal failed: %s" % (label, r.stderr.decode(errors="replace")))
    reference, _ = state(args, ref)
    print("%s: installation %.2f s, removal %.2f s" % (label, t_install, t_remove), flush=True)

    plan = [("install", n) for n in range(args.installs)] + [("remove", n) for n in range(args.removals)]
    for kind, n in plan:
        device = os.path.join(work, "%s-%s-%d" % (label, kind, n))
        # A run that ended before its kill is not counted: the device is
        # made afresh and the kill tried again at an earlier moment.
        length = t_remove if kind == "remove" else t_install
        for attempt in range(5):
            shutil.rmtree(device, ignore_errors=True)
            if kind == "remove":
                cesetup(args, device, card, INSTALL)
            delay = rng.uniform(0, length)
            killed = kill_at(args, device, card, REMOVE if kind == "remove" else INSTALL, delay)
            if killed:
                break
            length = delay
        problems = []
        after, why = state(args, device)
        if after is None and os.path.exists(os.path.join(device, "device.ini")):
            problems.append("registry does not open after the kill: " + why)
        else:
            r = cesetup(args, device, card, RECOVER)
            if r.returncode not in (0, 1):
                problems.append("recovery run exit %d: %s" % (r.returncode, r.stderr.decode(errors="replace")))
            now, why = state(args, device)
            if now is None or files_and_registry(now) != files_and_registry(reference):
                problems.append("after recovery the device differs from the reference")
            if now and records_left(now):
                problems.append("install records left: %s" % records_left(now))
            cesetup(args, device, card, INSTALL)
            cesetup(args, device, card, REMOVE)
            again, _ = state(args, device)
            if again != reference:
                problems.append("after a further installation and removal the device differs")
        counts[kind] += 1
        if problems:
            counts["failed"] += 1
            print("%s %s #%d killed at %.3f s: FAILED: %s (device kept at %s)" %
                  (label, kind, n, delay, "; ".join(problems), device), flush=True)
        else:
            if not killed:
                counts["finished"] += 1
            print("%s %s #%d killed at %.3f s%s: recovered" %
                  (label, kind, n, delay, "" if killed else " (had already ended)"), flush=True)
            shutil.rmtree(device, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--bin", default=os.path.join(ROOT, "build", "bin"))
    ap.add_argument("--installs", type=int, default=50)
    ap.add_argument("--removals", type=int, default=30)
    ap.add_argument("--files", type=int, default=2000)
    ap.add_argument("--seed", type=int, default=None)
    ap.add_argument("--out", default=None)
    ap.add_argument("--cards", default="sample,big")
    args = ap.parse_args()
    args.cesetup = os.path.join(args.bin, "cesetup")
    args.cedevice = os.path.join(args.bin, "cedevice")
    seed = args.seed if args.seed is not None else int(time.time())
    print("seed %d" % seed, flush=True)
    rng = random.Random(seed)
    work = args.out or tempfile.mkdtemp(prefix="cesetup-kill-")
    os.makedirs(work, exist_ok=True)
    counts = {"install": 0, "remove": 0, "failed": 0, "finished": 0}
    cards = args.cards.split(",")
    if "sample" in cards:
        # A copy: a killed run may leave its expanded language script there.
        sample = os.path.join(work, "samplecard")
        if not os.path.exists(sample):
            shutil.copytree(SAMPLE, sample)
        run_card(args, "sample", sample, work, rng, counts)
    if "big" in cards:
        big = os.path.join(work, "bigcard")
        if not os.path.exists(big):
            make_big_card(big, args.files)
        run_card(args, "big", big, work, rng, counts)
    print("kills: %d during installations, %d during removals; %d not recovered; %d runs had ended before "
          "their kill" % (counts["install"], counts["remove"], counts["failed"], counts["finished"]))
    return 1 if counts["failed"] else 0


if __name__ == "__main__":
    sys.exit(main())
